// The thin grids' sweep kernels for any processor.
#include "transport/thin/thin_kernels.hpp"

namespace quilmar::thin {

void sweep_thin_portable(const ThinSweepData& d, LaneValues& emax, const GroupRange& r) { sweep_thin(d, emax, r); }

}  // namespace quilmar::thin

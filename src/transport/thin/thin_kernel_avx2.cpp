// The thin grids' sweep kernels for processors with AVX2: this file alone of the thin
// solver is compiled for that instruction set (see CMakeLists.txt).
#include "transport/thin/thin_kernels.hpp"

namespace quilmar::thin {

void sweep_thin_avx2(const ThinSweepData& d, LaneValues& emax, const GroupRange& r) { sweep_thin(d, emax, r); }

}  // namespace quilmar::thin

// The sweep kernels for processors with AVX2: this file alone is compiled for that
// instruction set (see CMakeLists.txt), and runs only where the processor has it.
#include "transport/wavefront/kernels.hpp"

namespace quilmar::wavefront {

// The batch by the kernels for its shape; a batch of no listed shape by the portable
// kernels.
void sweep_batch_avx2(const SweepData& d, const Batch& bt, LaneValues& emax, const ColumnRange& r) {
    const bool done = RowShapes::visit(bt.key, [&]<class S>() __attribute__((always_inline)) {
        batch_columns<S::count, typename S::roles>(d, bt, emax, r);
    });
    if (!done) sweep_batch_portable(d, bt, emax, r);
}

}  // namespace quilmar::wavefront

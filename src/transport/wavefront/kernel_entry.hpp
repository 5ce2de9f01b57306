#pragma once
// What the sweep kernels read, and their entry points. The AVX2 kernels are compiled in a
// translation unit of their own for that instruction set; only these functions, which take
// no vector by value, cross from one unit to the other.
#include "transport/wavefront/batches.hpp"
#include "transport/wavefront/zone_constants.hpp"

namespace quilmar::wavefront {

struct SweepData {
    double* cnew = nullptr;                            // field kCnew; the others at their offsets
    const int* zone_of_column = nullptr;               // [i], i = 1..nx
    const MatrixVecs (*vecs)[kComponents + 1] = nullptr;  // [zone][m]
    const double* denominators = nullptr;              // see ZoneConstants::denominators
    const GroupView* views = nullptr;                  // per group
    double flow = 0, gx = 0, gy = 0, gz = 0;
};

// One batch of a wavefront over the columns of r; emax (four lanes) takes the largest
// changes. The AVX2 entry runs the batches of a listed shape with flags fixed at compile
// time and hands any other to the portable kernels; call it only where the processor has
// AVX2.
void sweep_batch_portable(const SweepData& d, const Batch& bt, LaneValues& emax, const ColumnRange& r);
void sweep_batch_avx2(const SweepData& d, const Batch& bt, LaneValues& emax, const ColumnRange& r);

// The last component's stored amounts of group n from its bb of the last sweep, kept in
// their slots, over columns 1..nx.
void last_amounts_of_group(const SweepData& d, const Layout& layout, int n);

}  // namespace quilmar::wavefront

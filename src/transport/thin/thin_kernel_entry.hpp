#pragma once
// What the thin grids' sweep kernels read, and their entry points. As for the wavefront
// kernels, the AVX2 ones live in a translation unit of their own and only these
// functions, which take no vector by value, cross from one unit to the other.
#include "transport/thin/thin_layout.hpp"
#include "transport/wavefront/zone_constants.hpp"

namespace quilmar::thin {

using wavefront::LaneValues;
using wavefront::MatrixVecs;

struct ThinSweepData {
    double* cnew = nullptr;                    // field kCnew; the others at their offsets
    const LaneSet* sets = nullptr;             // diagonals: [c * groups + g]; tube: [t]
    const GroupFaces* faces = nullptr;         // diagonals: [g]
    const MatrixVecs* vecs = nullptr;          // diagonals: [p * (kComponents + 1) + m]; tube: [p]
    const LaneValues* denominators = nullptr;  // diagonals: [(p * groups + g) * kComponents + m - 1]; tube: [p]
    int nx = 0, lines = 1, groups = 1, steps = 0;
    std::size_t row = W;
    double flow = 0, gx = 0, gy = 0, gz = 0;
    bool tube = false, along_z = false;  // a stream tube; lines are layers (cross-section)
    bool bound = false, embed = false;   // the run works on bounding aquitards / embedded material
    bool bot = false, top = false;       // tube: its line's bounding faces
};

// The groups of lines one member of a team sweeps on every diagonal (all of them without a
// team). Member n sweeps diagonal c once member n-1 has finished it: its first line needs
// the new values of the line below, on the diagonal before, and the old ones of the line
// above it may be read by member n-1 only until then. `after`: diagonals finished by the
// member before (null for the first), `done`: this member's.
struct GroupRange {
    int first = 0, last = 0;
    const int* after = nullptr;
    int* done = nullptr;
};

// One sweep over the grid (a stream tube's always whole, a diagonal's groups r); emax (four
// lanes) takes the largest changes. Call the AVX2 entry only where the processor has AVX2.
void sweep_thin_portable(const ThinSweepData& d, LaneValues& emax, const GroupRange& r);
void sweep_thin_avx2(const ThinSweepData& d, LaneValues& emax, const GroupRange& r);

}  // namespace quilmar::thin

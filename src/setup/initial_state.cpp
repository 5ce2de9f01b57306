#include "setup/initial_state.hpp"

namespace quilmar {
namespace {

// A checked access that reads nothing: it stops the run at an index beyond the array's
// range, as reading or writing the element would.
void in_range(const double&) {}

}  // namespace

// Concentrations and stored amounts start at zero. The arrays are zeroed whole, without
// reading them (see CheckedArray::zero); the walk over the grid then makes the accesses
// the initial state is defined by, so that a grid beyond the capacities stops at the same
// index as it would if each value were set there.
void set_initial_state(Model& s) {
    const Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    s.atime = 0.0;
    for (auto* a : {&s.cnew, &s.cold}) a->zero();
    for (auto* a : {&md.ainew1, &md.aiold1, &md.ainew2, &md.aiold2}) a->zero();
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                if (dk.nz != 1) {
                    if (md.mdtop(n) == 1 && k != dk.nz) md.mdtop(n) = 0;
                    if (md.mdbot(n) == 1 && k != 1) md.mdbot(n) = 0;
                }
                for (int m = 1; m <= kComponents; ++m) {
                    in_range(s.cnew(m, i, j, k));
                    in_range(s.cnew(m, dk.nx + 1, j, k));
                    in_range(s.cnew(m, 0, j, k));
                    in_range(s.cold(m, i, j, k));
                    in_range(md.ainew1(n, m));
                    in_range(md.aiold1(n, m));
                    in_range(md.ainew2(n, m));
                    in_range(md.aiold2(n, m));
                }
            }
}

}  // namespace quilmar

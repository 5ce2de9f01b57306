#include "setup/initial_state.hpp"

namespace quilmar {
namespace {

// A checked access that reads nothing: it stops the run at an index beyond the array's
// range, as reading or writing the element would.
void in_range(const double&) {}

// Whether every index the initial state touches lies within the arrays' declared ranges:
// every cell of the grid with both boundary columns, every element and component. Then
// no access of the walk below can stop the run.
bool grid_within_capacity(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    if (dk.nx < 1 || dk.ny < 1 || dk.nz < 1) return true;  // no cell, no access
    const long nel = static_cast<long>(dk.nx) * dk.ny * dk.nz;
    const bool grid = s.cnew.covers(1, 1, kComponents) && s.cnew.covers(2, 0, dk.nx + 1L) &&
                      s.cnew.covers(3, 1, dk.ny) && s.cnew.covers(4, 1, dk.nz) &&
                      s.cold.covers(1, 1, kComponents) && s.cold.covers(2, 1, dk.nx) &&
                      s.cold.covers(3, 1, dk.ny) && s.cold.covers(4, 1, dk.nz);
    bool elements = md.mdtop.covers(1, 1, nel) && md.mdbot.covers(1, 1, nel);
    for (const auto* a : {&md.ainew1, &md.aiold1, &md.ainew2, &md.aiold2})
        elements = elements && a->covers(1, 1, nel) && a->covers(2, 1, kComponents);
    return grid && elements;
}

// The walk over the grid in element order with the accesses the initial state is defined
// by, so that a grid beyond the capacities stops at the same index as it would if each
// value were set there.
void walk_checked(Model& s) {
    const Deck& dk = s.deck;
    MatrixdModule& md = s.md;
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

}  // namespace

// Concentrations and stored amounts start at zero. The arrays are zeroed whole, without
// reading them (see CheckedArray::zero). A grid within the capacities only needs its
// bounding faces set, element by element; any other takes the checked walk, which stops
// where the first access beyond an array would.
void set_initial_state(Model& s) {
    const Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    s.atime = 0.0;
    for (auto* a : {&s.cnew, &s.cold}) a->zero();
    for (auto* a : {&md.ainew1, &md.aiold1, &md.ainew2, &md.aiold2}) a->zero();
    if (!grid_within_capacity(s)) return walk_checked(s);
    if (dk.nz == 1 || dk.nx < 1 || dk.ny < 1) return;
    // Elements run k fastest: the layer of element n is (n - 1) mod nz + 1.
    int* top = md.mdtop.data() + md.mdtop.position(1);
    int* bot = md.mdbot.data() + md.mdbot.position(1);
    const long nel = static_cast<long>(dk.nx) * dk.ny * dk.nz;
    for (long e = 0; e < nel; e += dk.nz)
        for (int k = 1; k <= dk.nz; ++k) {
            if (top[e + k - 1] == 1 && k != dk.nz) top[e + k - 1] = 0;
            if (bot[e + k - 1] == 1 && k != 1) bot[e + k - 1] = 0;
        }
}

}  // namespace quilmar

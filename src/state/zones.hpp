#pragma once
// Reaction zones along the flow. Three tests in order, a later one overriding an earlier
// one: a centre exactly on a bound belongs to the zone downstream of it, and with x1 > x2
// zone 2 is empty.
namespace quilmar {

inline int reaction_zone(double x, double x1, double x2) {
    int ix = 0;
    if (x < x1) ix = 1;
    if (x < x2 && x >= x1) ix = 2;
    if (x >= x2) ix = 3;
    return ix;
}

// Centre of cell number `index` (1-based) along an axis of cells of size h: formed as the
// cells below it times the size, plus half a size.
inline double cell_centre(int index, double h) { return (index - 1) * h + 0.5 * h; }

}  // namespace quilmar

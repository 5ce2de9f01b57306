#pragma once
// The implicit balance of one component in one cell, in the new concentration c:
//   storage (c - cold) = advection from i-1 - advection out + dispersion with the six
//   neighbours - decay + production from the parent + matrix exchange.
// Written once for the checked sweep (T = double) and the vector kernels (T = four lanes),
// which must give the same bits: terms are summed in this fixed order.
#include "state/model.hpp"

namespace quilmar::balance {

// Dispersive conductances between neighbouring cells along x, y and z, for a face with one
// neighbour (gx, gy, gz) and for both (gx2, ...).
struct Conductances {
    double gx, gy, gz, gx2, gy2, gz2;
};
inline Conductances conductances(const Deck& dk, const TransportCoefficients& tc) {
    const double porf = dk.porf;
    return Conductances{tc.ayz * porf * tc.dispx / dk.dx,
                        tc.axz * porf * tc.dispt / dk.dy,
                        tc.axy * porf * tc.dispv / dk.dz,
                        (tc.ayz + tc.ayz) * porf * tc.dispx / dk.dx,
                        (tc.axz + tc.axz) * porf * tc.dispt / dk.dy,
                        (tc.axy + tc.axy) * porf * tc.dispv / dk.dz};
}

// Advective flow through a cell's upstream face (the Darcy flux over the aquifer's share of
// the element).
inline double advective_flow(double vd, double volfrac, double ayz) { return (vd / volfrac) * ayz; }
// Storage per time step, first-order decay, and production from the parent's decay.
inline double storage_coefficient(double retardf, double porf, double volh, double dt) {
    return retardf * (porf * volh) / dt;
}
inline double decay_coefficient(double porf, double volh, double decayf) { return (porf * volh) * decayf; }
inline double production_coefficient(double yieldf, double porf, double volh, double decayf_parent) {
    return yieldf * (porf * volh) * decayf_parent;
}

// Dispersion with both neighbours along an axis.
template <class T>
inline T both_neighbours(T g, T a, T b) {
    return g * (a + b);
}

// The transport part of the numerator: storage of the old value, advection from upstream,
// the vertical and lateral dispersion terms as the grid's faces leave them, and dispersion
// along x.
template <class T>
inline T transport_numerator(T storage, T cold, T flow, T c_upstream, T c_downstream, T vertical, T lateral, T gx) {
    T anum1 = storage * cold + flow * c_upstream;
    anum1 = anum1 + vertical;
    anum1 = anum1 + lateral;
    return anum1 + gx * (c_upstream + c_downstream);
}

// Production from the parent's new concentration, added to the numerator.
template <class T>
inline T with_production(T anum1, T production, T c_parent) {
    return anum1 + production * c_parent;
}

// The transport part of the diagonal; vertical is gz at the bottom or top layer and gz2
// between, lateral gy in the first row and gy2 beyond.
inline double transport_diagonal(double flow, double storage, double decay, double vertical, double lateral,
                                 double gx2) {
    double denom1 = flow + storage + decay;
    denom1 = denom1 + vertical;
    denom1 = denom1 + lateral;
    return gx2 + denom1;
}

}  // namespace quilmar::balance

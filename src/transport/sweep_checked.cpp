#include <cmath>

#include "matrixdiffusion/matrixdsr.hpp"
#include "state/zones.hpp"
#include "transport/cell_balance.hpp"
#include "transport/sweep.hpp"

namespace quilmar {

// The balance of each component in each cell (see cell_balance.hpp), in element order, with
// the matrix exchange from the fit of this sweep.
void sweep_checked(Model& s, SweepCarry& carry) {
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    MatrixdModule& md = s.md;
    auto& cnew = s.cnew;
    auto& cold = s.cold;
    const double porf = dk.porf;
    const double dt = dk.dt;
    const balance::Conductances g = balance::conductances(dk, tc);
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                const double x = cell_centre(i, dk.dx);
                const int ix = reaction_zone(x, dk.x1, dk.x2);
                for (int m = 1; m <= kComponents; ++m) {
                    const double storage = balance::storage_coefficient(dk.retardf(m), porf, tc.volh, dt);
                    const double flow = balance::advective_flow(dk.vd, md.volfrac(n), tc.ayz);
                    const double decay = balance::decay_coefficient(porf, tc.volh, dk.decayf(m, ix, 1));
                    const double oldval = cnew(m, i, j, k);
                    if (md.mdflag(n) != 0) {
                        if (m != 1) carry.cnewtm_1 = cnew(m - 1, i, j, k);
                        const double coldt = cold(m, i, j, k);
                        matrixdsr3(md, n, m, dt, carry.cnewtm_1, coldt);
                    }
                    double vertical, vertical_diagonal;
                    if (k == 1) {
                        vertical = g.gz * cnew(m, i, j, 2);
                        vertical_diagonal = g.gz;
                    } else if (k == dk.nz) {
                        vertical = g.gz * cnew(m, i, j, dk.nz - 1);
                        vertical_diagonal = g.gz;
                    } else {
                        vertical = balance::both_neighbours(g.gz, cnew(m, i, j, k - 1), cnew(m, i, j, k + 1));
                        vertical_diagonal = g.gz2;
                    }
                    double lateral, lateral_diagonal;
                    if (j == 1) {
                        lateral = g.gy * cnew(m, i, 2, k);
                        lateral_diagonal = g.gy;
                    } else {
                        lateral = balance::both_neighbours(g.gy, cnew(m, i, j - 1, k), cnew(m, i, j + 1, k));
                        lateral_diagonal = g.gy2;
                    }
                    double anum1 = balance::transport_numerator(storage, cold(m, i, j, k), flow, cnew(m, i - 1, j, k),
                                                                cnew(m, i + 1, j, k), vertical, lateral, g.gx);
                    if (m >= 2) {
                        const double production =
                            balance::production_coefficient(dk.yieldf(m), porf, tc.volh, dk.decayf(m - 1, ix, 1));
                        anum1 = balance::with_production(anum1, production, cnew(m - 1, i, j, k));
                    }
                    const double denom1 =
                        balance::transport_diagonal(flow, storage, decay, vertical_diagonal, lateral_diagonal, g.gx2);
                    const double rtermd = matrixdsr4rhs(md, n, m);
                    const double dtermd = matrixdsr5diag(md, n, m);
                    const double anum = anum1 + rtermd;
                    const double denom = denom1 + dtermd;
                    cnew(m, i, j, k) = anum / denom;
                    const double erri = std::fabs(cnew(m, i, j, k) - oldval);
                    if (erri > s.errmax) s.errmax = erri;
                }
            }
}

}  // namespace quilmar

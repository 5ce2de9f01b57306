#include <cmath>

#include "matrixdiffusion/matrixdsr.hpp"
#include "transport/sweep.hpp"
#include "state/zones.hpp"

namespace quilmar {

// Balance of component m in cell (i,j,k), implicit in the new concentration c:
//   storage (c - cold) = advection from i-1 - advection out + dispersion with the six
//   neighbours - decay + production from the parent + matrix exchange.
// Terms are summed in a fixed order so that results are reproducible to the last bit.
void sweep_checked(Model& s, SweepCarry& carry) {
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    MatrixdModule& md = s.md;
    auto& cnew = s.cnew;
    auto& cold = s.cold;
    const double porf = dk.porf;
    const double dt = dk.dt;
    const double gx = tc.ayz * porf * tc.dispx / dk.dx;
    const double gy = tc.axz * porf * tc.dispt / dk.dy;
    const double gz = tc.axy * porf * tc.dispv / dk.dz;
    const double gx2 = (tc.ayz + tc.ayz) * porf * tc.dispx / dk.dx;
    const double gy2 = (tc.axz + tc.axz) * porf * tc.dispt / dk.dy;
    const double gz2 = (tc.axy + tc.axy) * porf * tc.dispv / dk.dz;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                const double x = cell_centre(i, dk.dx);
                const int ix = reaction_zone(x, dk.x1, dk.x2);
                for (int m = 1; m <= kComponents; ++m) {
                    const double storage = dk.retardf(m) * (porf * tc.volh) / dt;
                    const double flow = (dk.vd / md.volfrac(n)) * tc.ayz;
                    const double decay = (porf * tc.volh) * dk.decayf(m, ix, 1);
                    const double oldval = cnew(m, i, j, k);
                    if (md.mdflag(n) != 0) {
                        if (m != 1) carry.cnewtm_1 = cnew(m - 1, i, j, k);
                        const double coldt = cold(m, i, j, k);
                        matrixdsr3(md, n, m, dt, carry.cnewtm_1, coldt);
                    }
                    double anum1 = storage * cold(m, i, j, k) + flow * cnew(m, i - 1, j, k);
                    double denom1 = flow + storage + decay;
                    if (k == 1) {
                        anum1 = anum1 + gz * cnew(m, i, j, 2);
                        denom1 = denom1 + gz;
                    } else if (k == dk.nz) {
                        anum1 = anum1 + gz * cnew(m, i, j, dk.nz - 1);
                        denom1 = denom1 + gz;
                    } else {
                        anum1 = anum1 + gz * (cnew(m, i, j, k - 1) + cnew(m, i, j, k + 1));
                        denom1 = denom1 + gz2;
                    }
                    if (j == 1) {
                        anum1 = anum1 + gy * cnew(m, i, 2, k);
                        denom1 = denom1 + gy;
                    } else {
                        anum1 = anum1 + gy * (cnew(m, i, j - 1, k) + cnew(m, i, j + 1, k));
                        denom1 = denom1 + gy2;
                    }
                    anum1 = anum1 + gx * (cnew(m, i - 1, j, k) + cnew(m, i + 1, j, k));
                    if (m >= 2) {
                        const double production =
                            dk.yieldf(m) * (porf * tc.volh) * dk.decayf(m - 1, ix, 1) * cnew(m - 1, i, j, k);
                        anum1 = anum1 + production;
                    }
                    denom1 = gx2 + denom1;
                    double rtermd = 0.0;
                    double dtermd = 0.0;
                    matrixdsr4rhs(md, n, m, rtermd);
                    matrixdsr5diag(md, n, m, dtermd);
                    const double anum = anum1 + rtermd;
                    const double denom = denom1 + dtermd;
                    cnew(m, i, j, k) = anum / denom;
                    const double erri = std::fabs(cnew(m, i, j, k) - oldval);
                    if (erri > s.errmax) s.errmax = erri;
                }
            }
}

}  // namespace quilmar

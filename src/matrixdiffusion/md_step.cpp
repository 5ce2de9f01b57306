#include <cmath>

#include "matrixdiffusion/matrixdsr.hpp"

namespace quilmar {

void matrixdsr2(MatrixdModule& md, const GlobalVek& gv, const double& atime) {
    for (int n = 1; n <= gv.nelmax; ++n) {
        if (md.mdflag(n) == 0) continue;
        const double len = md.difflen(n);
        for (int m = 1; m <= gv.icomp; ++m) {
            double d = 0.5 * std::pow(md.alpha(n, m) * atime, 0.5);
            // Steady-state penetration with decay; without decay the quotient is infinite and
            // does not cap, nor does a NaN.
            const double ssdecay = std::pow(md.diff(n, m) * md.tortm(n) / md.decaym(n, m), 0.5);
            if (d > ssdecay) d = ssdecay;
            md.d(n, m) = d;
            const double d2 = d * d;
            const double d3 = d2 * d;
            // Moments of exp(-z/d) times 1, z, z^2 over 0..infinity ...
            md.delt1(n, m) = d;
            md.gam1(n, m) = d2;
            md.beta1(n, m) = 2.0 * d3;
            // ... and over 0..difflen.
            const double expterm = std::exp(-len / d);
            md.delt2(n, m) = d - d * expterm;
            md.gam2(n, m) = d2 - len * d * expterm - d2 * expterm;
            md.beta2(n, m) = 2.0 * d3 - len * len * d * expterm - 2.0 * len * d2 * expterm - 2.0 * d3 * expterm;
        }
    }
}

}  // namespace quilmar

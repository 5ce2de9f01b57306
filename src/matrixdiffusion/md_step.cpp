#include "matrixdiffusion/matrixdsr.hpp"
#include "matrixdiffusion/md_math.hpp"

namespace quilmar {

void matrixdsr2(MatrixdModule& md, const GlobalVek& gv, double atime) {
    for (int n = 1; n <= gv.nelmax; ++n) {
        if (md.mdflag(n) == 0) continue;
        for (int m = 1; m <= gv.icomp; ++m) {
            const mdmath::Moments r =
                mdmath::step_moments(md.alpha(n, m), md.diff(n, m), md.tortm(n), md.decaym(n, m), md.difflen(n), atime);
            md.d(n, m) = r.d;
            md.delt1(n, m) = r.delt1;
            md.gam1(n, m) = r.gam1;
            md.beta1(n, m) = r.beta1;
            md.delt2(n, m) = r.delt2;
            md.gam2(n, m) = r.gam2;
            md.beta2(n, m) = r.beta2;
        }
    }
}

}  // namespace quilmar

#include "matrixdiffusion/matrixdsr.hpp"
#include "matrixdiffusion/md_math.hpp"

namespace quilmar {

// The flux into a matrix across area A is A porm tortm diff (c0/d - p); with p = aa c0 + bb
// it splits into K (1/d - aa) c0 on the diagonal and K bb on the right-hand side.
// A cell with both bounding faces counts the bounding term twice.

double matrixdsr4rhs(const MatrixdModule& md, int n, int m) {
    double anum2 = 0.0;
    if (md.mdembed(n) == 1) {
        const double k2 = mdmath::k_embedded(md.amd2(n), md.porm(n), md.tortm(n), md.diff(n, m));
        anum2 = mdmath::exchange_rhs(anum2, k2, md.bb2(n, m));
    }
    if (md.mdbot(n) == 1) {
        const double k1 = mdmath::k_bounding(md.porm(n), md.amd1(n), md.tortm(n), md.diff(n, m));
        anum2 = mdmath::exchange_rhs(anum2, k1, md.bb1(n, m));
    }
    if (md.mdtop(n) == 1) {
        const double k1 = mdmath::k_bounding(md.porm(n), md.amd1(n), md.tortm(n), md.diff(n, m));
        anum2 = mdmath::exchange_rhs(anum2, k1, md.bb1(n, m));
    }
    return anum2;
}

double matrixdsr5diag(const MatrixdModule& md, int n, int m) {
    double denom2 = 0.0;
    if (md.mdembed(n) == 1) {
        const double k2 = mdmath::k_embedded(md.amd2(n), md.porm(n), md.tortm(n), md.diff(n, m));
        denom2 = mdmath::exchange_diagonal(denom2, k2, md.d(n, m), md.aa2(n, m));
    }
    if (md.mdbot(n) == 1) {
        const double k1 = mdmath::k_bounding(md.porm(n), md.amd1(n), md.tortm(n), md.diff(n, m));
        denom2 = mdmath::exchange_diagonal(denom2, k1, md.d(n, m), md.aa1(n, m));
    }
    if (md.mdtop(n) == 1) {
        const double k1 = mdmath::k_bounding(md.porm(n), md.amd1(n), md.tortm(n), md.diff(n, m));
        denom2 = mdmath::exchange_diagonal(denom2, k1, md.d(n, m), md.aa1(n, m));
    }
    return denom2;
}

}  // namespace quilmar

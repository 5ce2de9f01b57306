#include "matrixdiffusion/matrixdsr.hpp"
#include "matrixdiffusion/md_math.hpp"

namespace quilmar {
namespace {

struct Fit {
    double aa, bb;
};

// One matrix kind: ties p to the unknown cell concentration c0 by the interface condition
// and the backward-Euler balance of the stored amount.
Fit fit_profile(double delt, double gam, double beta, double aiold, double ainew_parent, bool has_parent,
                double alpha, double lambdar, double d, double dt, double cnewtm_1, double coldt, double yield,
                double lambda_parent, double retard) {
    const mdmath::FitTerms f = mdmath::fit_terms(delt, gam, beta, alpha, lambdar, d, dt);
    const double bbtop = mdmath::bb_base(aiold, coldt, f.a, alpha, dt);
    if (!has_parent) return Fit{f.aatop / f.aabot, bbtop / f.aabot};
    const double from_storage = mdmath::bb_parent_storage(yield * lambda_parent * dt, ainew_parent, retard);
    const double from_cell = mdmath::bb_parent_cell(f.a * yield * lambda_parent, cnewtm_1, 2.0 * alpha * retard);
    return Fit{f.aatop / f.aabot, mdmath::bb_daughter(bbtop, from_storage, from_cell, f.aabot)};
}

}  // namespace

void matrixdsr3(MatrixdModule& md, int n, int m, double dt, double cnewtm_1, double coldt) {
    const double alpha = md.alpha(n, m);
    const double lambdar = md.alambdar(n, m);
    const double d = md.d(n, m);
    const bool has_parent = m > 1;
    const double yield = has_parent ? md.yieldm(n, m) : 0.0;
    const double lambda_parent = has_parent ? md.decaym(n, m - 1) : 0.0;
    const double retard = has_parent ? md.retardm(n, m) : 0.0;
    const double parent1 = has_parent ? md.ainew1(n, m - 1) : 0.0;
    const double parent2 = has_parent ? md.ainew2(n, m - 1) : 0.0;

    const Fit f1 = fit_profile(md.delt1(n, m), md.gam1(n, m), md.beta1(n, m), md.aiold1(n, m), parent1, has_parent,
                               alpha, lambdar, d, dt, cnewtm_1, coldt, yield, lambda_parent, retard);
    md.aa1(n, m) = f1.aa;
    md.bb1(n, m) = f1.bb;
    const Fit f2 = fit_profile(md.delt2(n, m), md.gam2(n, m), md.beta2(n, m), md.aiold2(n, m), parent2, has_parent,
                               alpha, lambdar, d, dt, cnewtm_1, coldt, yield, lambda_parent, retard);
    md.aa2(n, m) = f2.aa;
    md.bb2(n, m) = f2.bb;
}

}  // namespace quilmar

// The matrix-diffusion routines on one element: penetration depth and profile moments,
// fitting coefficients, coupling terms and stored amounts, first on the hand-worked chain
// of values, then against the two conditions the profile must satisfy, solved here directly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "matrixdiffusion/matrixdsr.hpp"
#include "matrixdiffusion/md_math.hpp"
#include "state/model.hpp"

namespace quilmar {
namespace {

const double kE = std::exp(-1.0);

// One element, all four components alike: alpha = 1, no decay, diffusion length 1,
// porosity, tortuosity, diffusion coefficient and interface area 1, bottom face only.
void worked_element(Model& s) {
    MatrixdModule& md = s.md;
    s.gv.nelmax = 1;
    s.gv.icomp = 4;
    md.mdflag(1) = 1;
    md.mdbot(1) = 1;
    md.porm(1) = 1;
    md.tortm(1) = 1;
    md.amd1(1) = 1;
    md.difflen(1) = 1;
    for (int m = 1; m <= 4; ++m) {
        md.alpha(1, m) = 1;
        md.diff(1, m) = 1;
        md.decaym(1, m) = 0;
        md.alambdar(1, m) = 0;
        md.retardm(1, m) = 1;
    }
}

// The profile of element 1, component m in the bounding layer or the embedded material,
// formed by the profile formula from the inputs the storage update gives it: the latest
// sweep's concentrations of the cell, of its old level and of the parent.
mdmath::Profile<double> profile_of(const MatrixdModule& md, int m, double dt, bool embedded) {
    const double c = md.cn(1, m), d = md.d(1, m), alpha = md.alpha(1, m);
    const double source = m == 1 ? 0.0
                                 : mdmath::parent_source(md.yieldm(1, m) * md.decaym(1, m - 1), md.cn(1, m - 1), d,
                                                         md.retardm(1, m) * alpha);
    const double qtop1 = mdmath::qtop1(c, md.co(1, m), d, alpha * dt);
    const double q_decay = mdmath::q_decay(md.alambdar(1, m), c, d, alpha);
    if (embedded)
        return mdmath::profile(md.aa2(1, m), md.bb2(1, m), md.delt2(1, m), md.gam2(1, m), md.beta2(1, m), c, qtop1,
                               q_decay, m > 1, source, 2.0 * d, d * (2.0 * d));
    return mdmath::profile(md.aa1(1, m), md.bb1(1, m), md.delt1(1, m), md.gam1(1, m), md.beta1(1, m), c, qtop1, q_decay,
                           m > 1, source, 2.0 * d, d * (2.0 * d));
}

TEST(MatrixWorkedCase, DepthAndMoments) {
    Model s;
    worked_element(s);
    const double atime = 4.0;  // alpha * atime = 4
    matrixdsr2(s.md, s.gv, atime);
    const MatrixdModule& md = s.md;
    EXPECT_EQ(md.d(1, 1), 1.0);
    EXPECT_EQ(md.delt1(1, 1), 1.0);
    EXPECT_EQ(md.gam1(1, 1), 1.0);
    EXPECT_EQ(md.beta1(1, 1), 2.0);
    EXPECT_NEAR(md.delt2(1, 1), 1 - kE, 1e-15);
    EXPECT_NEAR(md.gam2(1, 1), 1 - 2 * kE, 1e-15);
    EXPECT_NEAR(md.beta2(1, 1), 2 - 5 * kE, 1e-15);
}

TEST(MatrixWorkedCase, FittingCouplingAndStorageChain) {
    Model s;
    worked_element(s);
    MatrixdModule& md = s.md;
    matrixdsr2(md, s.gv, 4.0);
    const int n = 1, m = 1;
    const double dt = 0.5, coldt = 0.5, unused = std::numeric_limits<double>::quiet_NaN();
    matrixdsr3(md, n, m, dt, unused, coldt);  // the first component has no parent
    EXPECT_NEAR(md.aa1(1, 1), -3.0 / 7.0, 1e-15);
    EXPECT_NEAR(md.bb1(1, 1), 2.0 / 7.0, 1e-15);
    double rtermd = -1, dtermd = -1;
    rtermd = matrixdsr4rhs(md, n, m);
    dtermd = matrixdsr5diag(md, n, m);
    EXPECT_NEAR(rtermd, 2.0 / 7.0, 1e-15);
    EXPECT_NEAR(dtermd, 10.0 / 7.0, 1e-15);
    // At c0 = 1 the loss to the matrix is 8/7 = c0/d - p with p = -1/7.
    EXPECT_NEAR(dtermd * 1.0 - rtermd, 8.0 / 7.0, 1e-15);
    md.cn(1, 1) = 1.0;
    md.co(1, 1) = 0.5;
    matrixdsr6int(md, s.gv, dt);
    const mdmath::Profile<double> pr = profile_of(md, 1, dt, false);
    EXPECT_NEAR(pr.p, -1.0 / 7.0, 1e-15);
    EXPECT_NEAR(pr.q, -1.0 / 7.0, 1e-15);
    EXPECT_EQ(md.ainew1(1, 1), pr.stored);
    EXPECT_NEAR(md.ainew1(1, 1), 4.0 / 7.0, 1e-15);
    // The step balance with a clean matrix: dt alpha (c/d - p) = 0.5 * 8/7.
    EXPECT_NEAR(md.ainew1(1, 1), dt * (1.0 - pr.p), 1e-15);
    EXPECT_EQ(md.aiold1(1, 1), 0.0);
    matrixdsr7updt(md, s.gv);
    EXPECT_EQ(md.aiold1(1, 1), md.ainew1(1, 1));
    EXPECT_EQ(md.ainew2(1, 1), 0.0);  // no embedded matrix: never touched
    EXPECT_EQ(md.aiold2(1, 1), 0.0);
}

// The two conditions on p and q for one matrix kind with moments (delt, gam, beta):
//   interface:  (c0 - c_old)/dt = alpha (2q - 2p/d + c0/d^2) - lr c0 + S
//   balance:    I - I_old = dt (alpha (c0/d - p) - lr I + P),  I = delt c0 + gam p + beta q
// with S = Y lp c_parent / R and P = Y lp I_parent / R; solved for (p, q) by Cramer's rule.
struct Conditions {
    double delt, gam, beta, alpha, lr, d, dt, c_old, i_old, s_prod, p_prod;
    void solve(double c0, double& p, double& q) const {
        const double a11 = -2 * alpha / d, a12 = 2 * alpha;
        const double r1 = (c0 - c_old) / dt - alpha * c0 / (d * d) + lr * c0 - s_prod;
        const double a21 = gam + dt * alpha + dt * lr * gam, a22 = beta + dt * lr * beta;
        const double r2 = i_old + dt * alpha * c0 / d - delt * c0 - dt * lr * delt * c0 + dt * p_prod;
        const double det = a11 * a22 - a12 * a21;
        p = (r1 * a22 - a12 * r2) / det;
        q = (a11 * r2 - a21 * r1) / det;
    }
};

// A daughter (m = 2) with decay, a finite embedded layer and both kinds of matrix.
void daughter_element(Model& s) {
    MatrixdModule& md = s.md;
    s.gv.nelmax = 1;
    s.gv.icomp = 4;
    md.mdflag(1) = 5;
    md.mdbot(1) = 1;
    md.mdembed(1) = 1;
    md.porm(1) = 0.35;
    md.tortm(1) = 0.4;
    md.difflen(1) = 0.5;
    md.amd1(1) = 6.0;
    md.amd2(1) = 20.0;
    for (int m = 1; m <= 4; ++m) {
        md.retardm(1, m) = 2.0;
        md.diff(1, m) = 1.5;
        md.alpha(1, m) = 0.3;  // 1.5 * 0.4 / 2
        md.decaym(1, m) = 0.2 + 0.3 * (m == 1);
        md.alambdar(1, m) = md.decaym(1, m) / 2.0;
        md.yieldm(1, m) = 0.8;
    }
    matrixdsr2(md, s.gv, 2.0);  // d = 0.5 sqrt(0.6), below the cap sqrt(0.6/0.2)
    md.aiold1(1, 2) = 0.05;
    md.aiold2(1, 2) = 0.04;
    md.ainew1(1, 1) = 0.3;  // the parent's latest stored amounts
    md.ainew2(1, 1) = 0.2;
}

TEST(MatrixFitting, CoefficientsSatisfyTheInterfaceConditionAndTheStepBalance) {
    Model s;
    daughter_element(s);
    MatrixdModule& md = s.md;
    const double dt = 0.25, cparent = 0.9, coldt = 0.4;
    EXPECT_NEAR(md.d(1, 2), 0.5 * std::sqrt(0.6), 1e-15);
    matrixdsr3(md, 1, 2, dt, cparent, coldt);
    const double lp = 0.5, y = 0.8, r = 2.0;
    const Conditions bounding{md.delt1(1, 2), md.gam1(1, 2), md.beta1(1, 2), 0.3, 0.1, md.d(1, 2), dt, coldt, 0.05,
                              y * lp * cparent / r, y * lp * 0.3 / r};
    const Conditions embedded{md.delt2(1, 2), md.gam2(1, 2), md.beta2(1, 2), 0.3, 0.1, md.d(1, 2), dt, coldt, 0.04,
                              y * lp * cparent / r, y * lp * 0.2 / r};
    double p0, p1, q;
    bounding.solve(0.0, p0, q);
    bounding.solve(1.0, p1, q);
    EXPECT_NEAR(md.aa1(1, 2), p1 - p0, 1e-12 * std::fabs(p1 - p0));
    EXPECT_NEAR(md.bb1(1, 2), p0, 1e-12 * std::fabs(p0));
    embedded.solve(0.0, p0, q);
    embedded.solve(1.0, p1, q);
    EXPECT_NEAR(md.aa2(1, 2), p1 - p0, 1e-12 * std::fabs(p1 - p0));
    EXPECT_NEAR(md.bb2(1, 2), p0, 1e-12 * std::fabs(p0));

    // The coupling terms are the interface fluxes A porm tortm diff (c0/d - p), implicit in c0.
    double rtermd, dtermd;
    rtermd = matrixdsr4rhs(md, 1, 2);
    dtermd = matrixdsr5diag(md, 1, 2);
    const double c0 = 0.7, d = md.d(1, 2);
    const double k = 0.35 * 0.4 * 1.5;
    const double flux = 6.0 * k * (c0 / d - (md.aa1(1, 2) * c0 + md.bb1(1, 2))) +
                        20.0 * k * (c0 / d - (md.aa2(1, 2) * c0 + md.bb2(1, 2)));
    EXPECT_NEAR(dtermd * c0 - rtermd, flux, 1e-12 * std::fabs(flux));

    // The storage update at that concentration lands on the solution of both conditions.
    md.cn(1, 1) = cparent;
    md.cn(1, 2) = c0;
    md.co(1, 2) = coldt;
    matrixdsr6int(md, s.gv, dt);
    double p, qq;
    for (const bool in_embedded : {false, true}) {
        const Conditions& kind = in_embedded ? embedded : bounding;
        const mdmath::Profile<double> pr = profile_of(md, 2, dt, in_embedded);
        kind.solve(c0, p, qq);
        EXPECT_NEAR(pr.p, p, 1e-12) << in_embedded;
        EXPECT_NEAR(pr.q, qq, 1e-12) << in_embedded;
        EXPECT_EQ(in_embedded ? md.ainew2(1, 2) : md.ainew1(1, 2), pr.stored);
        EXPECT_NEAR(pr.stored, kind.delt * c0 + kind.gam * p + kind.beta * qq, 1e-12) << in_embedded;
    }
}

TEST(MatrixStepCoefficients, CapByDecayAndElementsWithoutMatrix) {
    Model s;
    MatrixdModule& md = s.md;
    s.gv.nelmax = 3;
    s.gv.icomp = 4;
    for (int n = 1; n <= 3; ++n) {
        md.mdflag(n) = n == 3 ? 0 : 2;  // element 3 has no matrix diffusion
        md.tortm(n) = 0.5;
        md.difflen(n) = n == 2 ? 0.0 : 1e3;
        for (int m = 1; m <= 4; ++m) {
            md.alpha(n, m) = 0.1;
            md.diff(n, m) = 0.2;
            md.decaym(n, m) = m == 1 ? 0.0 : 0.4;  // steady depth sqrt(0.1/0.4) = 0.5
        }
    }
    matrixdsr2(md, s.gv, 4.0);  // uncapped depth 0.5 sqrt(0.4) = 0.316
    EXPECT_NEAR(md.d(1, 1), 0.5 * std::sqrt(0.4), 1e-15);
    EXPECT_NEAR(md.d(1, 2), 0.5 * std::sqrt(0.4), 1e-15);
    matrixdsr2(md, s.gv, 400.0);  // uncapped 3.16: without decay it grows, with decay it stops at 0.5
    EXPECT_NEAR(md.d(1, 1), 0.5 * std::sqrt(40.0), 1e-14);
    EXPECT_NEAR(md.d(1, 2), 0.5, 1e-15);
    // A long embedded layer has the moments of the semi-infinite one.
    EXPECT_EQ(md.delt2(1, 2), md.delt1(1, 2));
    EXPECT_EQ(md.gam2(1, 2), md.gam1(1, 2));
    EXPECT_EQ(md.beta2(1, 2), md.beta1(1, 2));
    // A layer of no thickness holds nothing.
    EXPECT_EQ(md.delt2(2, 1), 0.0);
    EXPECT_EQ(md.gam2(2, 1), 0.0);
    EXPECT_EQ(md.beta2(2, 1), 0.0);
    EXPECT_GT(md.delt1(2, 1), 0.0);
    // No matrix: nothing written.
    EXPECT_EQ(md.d(3, 1), 0.0);
    EXPECT_EQ(md.delt1(3, 1), 0.0);
    // A NaN steady depth does not cap.
    md.diff(1, 3) = std::numeric_limits<double>::quiet_NaN();
    matrixdsr2(md, s.gv, 400.0);
    EXPECT_NEAR(md.d(1, 3), 0.5 * std::sqrt(40.0), 1e-14);
}

TEST(MatrixCoupling, OnlyActiveFacesCountAndBothFacesOfOneLayer) {
    Model s;
    worked_element(s);
    MatrixdModule& md = s.md;
    md.d(1, 1) = 1.0;
    md.aa1(1, 1) = -3.0 / 7.0;
    md.bb1(1, 1) = 2.0 / 7.0;
    md.aa2(1, 1) = 0.25;
    md.bb2(1, 1) = 0.5;
    md.amd2(1) = 3.0;
    double r, d;
    // Both bounding faces (a one-layer grid with code 4): twice the one-face terms.
    md.mdtop(1) = 1;
    r = matrixdsr4rhs(md, 1, 1);
    d = matrixdsr5diag(md, 1, 1);
    EXPECT_NEAR(r, 4.0 / 7.0, 1e-15);
    EXPECT_NEAR(d, 20.0 / 7.0, 1e-15);
    // Code 7 in one layer: the embedded terms on top.
    md.mdembed(1) = 1;
    r = matrixdsr4rhs(md, 1, 1);
    d = matrixdsr5diag(md, 1, 1);
    EXPECT_NEAR(r, 4.0 / 7.0 + 3.0 * 0.5, 1e-15);
    EXPECT_NEAR(d, 20.0 / 7.0 + 3.0 * (1.0 - 0.25), 1e-15);
    // No active switch: exactly zero, whatever the coefficients hold.
    md.mdtop(1) = md.mdbot(1) = md.mdembed(1) = 0;
    md.aa1(1, 1) = md.bb1(1, 1) = std::numeric_limits<double>::quiet_NaN();
    md.d(1, 1) = 0.0;
    r = d = -1;
    r = matrixdsr4rhs(md, 1, 1);
    d = matrixdsr5diag(md, 1, 1);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(d, 0.0);
}

TEST(MatrixStorage, InactiveElementsAreNeverTouched) {
    Model s;
    worked_element(s);
    MatrixdModule& md = s.md;
    s.gv.nelmax = 2;
    md.mdflag(2) = 3;  // a top-only code whose face was cleared: no active switch
    md.cn(2, 1) = 5.0;
    md.ainew1(2, 1) = 0.125;
    md.aiold1(2, 1) = 0.25;
    md.d(2, 1) = 1.0;
    md.alpha(2, 1) = 1.0;
    matrixdsr6int(md, s.gv, 0.5);
    matrixdsr7updt(md, s.gv);
    EXPECT_EQ(md.ainew1(2, 1), 0.125);
    EXPECT_EQ(md.aiold1(2, 1), 0.25);
    // With nothing in the cell and a clean matrix the first component stores nothing.
    Model clean;
    worked_element(clean);
    matrixdsr2(clean.md, clean.gv, 4.0);
    matrixdsr3(clean.md, 1, 1, 0.5, 0.0, 0.0);
    EXPECT_EQ(clean.md.bb1(1, 1), 0.0);
    matrixdsr6int(clean.md, clean.gv, 0.5);
    const mdmath::Profile<double> pr = profile_of(clean.md, 1, 0.5, false);
    EXPECT_EQ(pr.p, 0.0);
    EXPECT_EQ(pr.q, 0.0);
    EXPECT_EQ(clean.md.ainew1(1, 1), 0.0);
}

}  // namespace
}  // namespace quilmar

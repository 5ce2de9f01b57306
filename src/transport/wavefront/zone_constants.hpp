#pragma once
// Per reaction zone and component, the constants of a step: every element of a zone alike
// (the solver's eligibility makes sure), so what the element arrays hold per element is
// kept once per zone.
#include <vector>

#include "matrixdiffusion/md_math.hpp"
#include "state/model.hpp"
#include "transport/wavefront/layout.hpp"

namespace quilmar::wavefront {

// Step constants of one component in one reaction zone.
struct CompZone {
    double storage = 0, decay = 0, production = 0;
    // matrix diffusion
    double alpha = 0, lambdar = 0, d = 0;
    mdmath::Moments mom{};
    mdmath::FitTerms f1{}, f2{};
    double aa1 = 0, aa2 = 0, k1 = 0, k2 = 0;
    double yield = 0, lambda_parent = 0, retard = 0;
};

// Step constants of one component in one zone for the kernels (those of the matrices used
// only with matrix diffusion), each formed by the expression of the scalar update and
// splat across the lanes once per step.
struct MatrixVecs {
    LaneValues storage, production, k1, k2;
    // bb = (old-level part + production from the parent's stored amount
    //       + production from the parent's cell concentration) / aabot
    LaneValues pre, retard, den2, pa1, pa2, aabot1, aabot2;
    // q and the stored amount
    LaneValues d, alpha, alpha_dt, lambdar, ylp, retard_alpha, two_d, d_2d;
    LaneValues aa1, aa2, delt1, gam1, beta1, delt2, gam2, beta2;
};

// Matrix properties of the elements of one reaction zone (all alike), per component where
// they differ by component.
struct ZoneProps {
    double tortm = 0, difflen = 0, porm = 0, amd1 = 0, amd2 = 0;
    double alpha[kComponents + 1] = {}, diff[kComponents + 1] = {}, decaym[kComponents + 1] = {};
    double alambdar[kComponents + 1] = {}, yieldm[kComponents + 1] = {}, retardm[kComponents + 1] = {};
};

class ZoneConstants {
public:
    // Takes the zones' matrix properties from the elements and, with release_unused,
    // releases the element arrays that only the solver would read.
    ZoneConstants(const Layout& layout, const Model& s, MatrixdModule& md, bool release_unused);

    // The constants of the step at s.atime: per zone and component the storage, decay and
    // production coefficients, the matrix moments and fitting terms for the new time, and
    // per slot the diagonal coefficient of the balance (transport terms plus the matrix
    // exchange).
    void form(const Layout& layout, const Model& s);

    bool matrix() const { return matrix_; }
    int zone(int i) const { return zone_of_column_[static_cast<std::size_t>(i)]; }
    const int* zones() const { return zone_of_column_.data(); }
    const CompZone& comp(int z, int m) const { return cz_[z][m]; }
    const MatrixVecs (*vecs() const)[kComponents + 1] { return mv_; }
    // The denominators of zone 1, component 1; zone z, component m lies
    // ((z - 1) * kComponents + m - 1) * kDenGap further.
    const double* denominators() const { return denominators_.data(); }
    // The transport conductances and the advective flow of the balance.
    double flow = 0, gx = 0, gy = 0, gz = 0, gx2 = 0, gy2 = 0, gz2 = 0;

private:
    bool matrix_ = false;                // elements take part in matrix diffusion
    std::vector<int> zone_of_column_;    // i = 1..nx
    int zone_rep_[4] = {0, 0, 0, 0};     // a representative element of each zone present
    CompZone cz_[4][kComponents + 1];    // [zone][m]
    MatrixVecs mv_[4][kComponents + 1];  // [zone][m], the same splat across the lanes
    ZoneProps props_[4];                 // [zone], taken from the zone's first element
    std::vector<double> denominators_;   // per zone and component, per slot: the full diagonal
};

}  // namespace quilmar::wavefront

#include "transport/wavefront/zone_constants.hpp"

#include "state/zones.hpp"
#include "transport/cell_balance.hpp"

namespace quilmar::wavefront {
namespace {

MatrixVecs matrix_vecs(const CompZone& q, double dt) {
    MatrixVecs k;
    k.storage = splat_values(q.storage);
    k.production = splat_values(q.production);
    k.k1 = splat_values(q.k1);
    k.k2 = splat_values(q.k2);
    k.pre = splat_values(q.yield * q.lambda_parent * dt);
    k.retard = splat_values(q.retard);
    k.den2 = splat_values(2.0 * q.alpha * q.retard);
    k.pa1 = splat_values(q.f1.a * q.yield * q.lambda_parent);
    k.pa2 = splat_values(q.f2.a * q.yield * q.lambda_parent);
    k.aabot1 = splat_values(q.f1.aabot);
    k.aabot2 = splat_values(q.f2.aabot);
    k.d = splat_values(q.d);
    k.alpha = splat_values(q.alpha);
    k.alpha_dt = splat_values(q.alpha * dt);
    k.lambdar = splat_values(q.lambdar);
    k.ylp = splat_values(q.yield * q.lambda_parent);
    k.retard_alpha = splat_values(q.retard * q.alpha);
    k.two_d = splat_values(2.0 * q.d);
    k.d_2d = splat_values(q.d * (2.0 * q.d));
    k.aa1 = splat_values(q.aa1);
    k.aa2 = splat_values(q.aa2);
    k.delt1 = splat_values(q.mom.delt1);
    k.gam1 = splat_values(q.mom.gam1);
    k.beta1 = splat_values(q.mom.beta1);
    k.delt2 = splat_values(q.mom.delt2);
    k.gam2 = splat_values(q.mom.gam2);
    k.beta2 = splat_values(q.mom.beta2);
    return k;
}

}  // namespace

// The solver keeps per zone what the element arrays hold per element, and hands the arrays
// it alone would read back to the system: for a large grid they are most of the run's
// memory. Those the result pass reads (retardation, porosity, interface areas, the faces)
// and the stored amounts stay.
ZoneConstants::ZoneConstants(const Layout& layout, const Model& s, MatrixdModule& md, bool release_unused) {
    const Deck& dk = s.deck;
    const int nx = layout.nx(), nynz = layout.nynz();
    matrix_ = md.mdflag(1) != 0;
    zone_of_column_.assign(static_cast<std::size_t>(nx + 1), 1);
    for (int i = 1; i <= nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        zone_of_column_[static_cast<std::size_t>(i)] = z;
        if (zone_rep_[z] == 0) zone_rep_[z] = (i - 1) * nynz + 1;
    }
    const double volfrac = md.volfrac(1);
    for (int z = 1; z <= 3; ++z) {
        const int n = zone_rep_[z];
        if (n == 0) continue;
        ZoneProps& p = props_[z];
        p.tortm = md.tortm(n);
        p.difflen = md.difflen(n);
        p.porm = md.porm(n);
        p.amd1 = md.amd1(n);
        p.amd2 = md.amd2(n);
        for (int m = 1; m <= kComponents; ++m) {
            p.alpha[m] = md.alpha(n, m);
            p.diff[m] = md.diff(n, m);
            p.decaym[m] = md.decaym(n, m);
            p.alambdar[m] = md.alambdar(n, m);
            p.yieldm[m] = md.yieldm(n, m);
            p.retardm[m] = md.retardm(n, m);
        }
    }
    if (release_unused) {
        for (ElementCompReal* a : {&md.kd, &md.decaym, &md.yieldm, &md.diff, &md.alpha, &md.alambdar}) a->release();
        for (ElementReal* a : {&md.volfrac, &md.difflen, &md.tortm, &md.rhob}) a->release();
    }
    denominators_.assign(3 * kComponents * kDenGap, 0.0);

    flow = balance::advective_flow(dk.vd, volfrac, s.tc.ayz);
    const balance::Conductances g = balance::conductances(dk, s.tc);
    gx = g.gx;
    gy = g.gy;
    gz = g.gz;
    gx2 = g.gx2;
    gy2 = g.gy2;
    gz2 = g.gz2;
}

void ZoneConstants::form(const Layout& layout, const Model& s) {
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    const double porf = dk.porf;
    const double dt = dk.dt;
    for (int z = 1; z <= 3; ++z) {
        const int n = zone_rep_[z];
        if (n == 0) continue;
        for (int m = 1; m <= kComponents; ++m) {
            CompZone& q = cz_[z][m];
            q.storage = balance::storage_coefficient(dk.retardf(m), porf, tc.volh, dt);
            q.decay = balance::decay_coefficient(porf, tc.volh, dk.decayf(m, z, 1));
            q.production =
                m >= 2 ? balance::production_coefficient(dk.yieldf(m), porf, tc.volh, dk.decayf(m - 1, z, 1)) : 0.0;
            if (matrix_) {
                const ZoneProps& p = props_[z];
                q.alpha = p.alpha[m];
                q.lambdar = p.alambdar[m];
                q.mom = mdmath::step_moments(p.alpha[m], p.diff[m], p.tortm, p.decaym[m], p.difflen, s.atime);
                q.d = q.mom.d;
                q.f1 = mdmath::fit_terms(q.mom.delt1, q.mom.gam1, q.mom.beta1, q.alpha, q.lambdar, q.d, dt);
                q.f2 = mdmath::fit_terms(q.mom.delt2, q.mom.gam2, q.mom.beta2, q.alpha, q.lambdar, q.d, dt);
                q.aa1 = q.f1.aatop / q.f1.aabot;
                q.aa2 = q.f2.aatop / q.f2.aabot;
                q.k1 = mdmath::k_bounding(p.porm, p.amd1, p.tortm, p.diff[m]);
                q.k2 = mdmath::k_embedded(p.amd2, p.porm, p.tortm, p.diff[m]);
                if (m >= 2) {
                    q.yield = p.yieldm[m];
                    q.lambda_parent = p.decaym[m - 1];
                    q.retard = p.retardm[m];
                }
            }
            mv_[z][m] = matrix_vecs(q, dt);
            double* den = denominators_.data() + static_cast<std::size_t>((z - 1) * kComponents + m - 1) * kDenGap;
            for (int sl = 0; sl < layout.slots(); ++sl) den[sl] = 1.0;  // idle lanes
            for (const LineGroup& g : layout.groups())
                for (int l = 0; l < W; ++l) {
                    if (!g.real[l]) continue;
                    const double denom1 =
                        balance::transport_diagonal(flow, q.storage, q.decay, (g.kbottom[l] || g.ktop[l]) ? gz : gz2,
                                                    g.jfirst[l] ? gy : gy2, gx2);
                    double dterm = 0.0;
                    if (g.embed[l]) dterm = mdmath::exchange_diagonal(dterm, q.k2, q.d, q.aa2);
                    if (g.bot[l]) dterm = mdmath::exchange_diagonal(dterm, q.k1, q.d, q.aa1);
                    if (g.top[l]) dterm = mdmath::exchange_diagonal(dterm, q.k1, q.d, q.aa1);
                    den[g.slot + l] = denom1 + dterm;
                }
        }
    }
}

}  // namespace quilmar::wavefront

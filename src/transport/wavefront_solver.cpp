#include "transport/wavefront_solver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "matrixdiffusion/md_math.hpp"
#include "results/result_pass.hpp"
#include "transport/zones.hpp"

namespace quilmar {
namespace {

// ---------------------------------------------------------------------------------------
// Lanes: four doubles side by side, with the plain IEEE operations of the scalar update
// applied lane by lane (no contraction into fused operations: the build forbids it).
constexpr int W = 4;
typedef double Vec __attribute__((vector_size(W * sizeof(double))));
typedef long long Mask __attribute__((vector_size(W * sizeof(double))));

inline Vec splat(double x) { return Vec{x, x, x, x}; }
inline Vec load(const double* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(double* p, Vec v) { std::memcpy(p, &v, sizeof v); }
inline Vec select(Mask m, Vec a, Vec b) { return (Vec)(((Mask)a & m) | ((Mask)b & ~m)); }
inline Vec abs_of(Vec v) {
    const Mask no_sign = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return (Vec)((Mask)v & no_sign);
}
inline Mask lane_mask(const bool* on) { return Mask{on[0] ? -1LL : 0, on[1] ? -1LL : 0, on[2] ? -1LL : 0, on[3] ? -1LL : 0}; }

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Zero-initialised, 64-byte aligned storage of doubles.
struct Buffer {
    double* p = nullptr;
    void allocate(std::size_t count) {
        const std::size_t bytes = ((count * sizeof(double) + 63) / 64) * 64;
        p = static_cast<double*>(std::aligned_alloc(64, bytes == 0 ? 64 : bytes));
        if (!p) throw std::bad_alloc();
        std::memset(p, 0, bytes);
    }
    ~Buffer() { std::free(p); }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Grid in wavefront order. Every x-line (j, k) is a slot. The slots of one wavefront
// s = j + k form a row ordered by j, with one ghost slot before the first line and at least
// one after the last: a ghost stands for a cell outside the grid (layer 0 or nz+1, row 0 or
// the zero row ny+1) and always holds zero. Then the neighbours k-1 and j-1 of four
// consecutive lines of row s are four consecutive slots of row s-1, and the neighbours
// k+1 and j+1 four consecutive slots of row s+1, so every neighbour comes in one vector
// load. Rows are padded so that the lanes past a row's last line (idle lanes) stay inside
// it; idle lanes compute but never store into the field. A field is stored as planes
// i = 0..nx+1 of all slots.
struct LineGroup {
    int first = 0;                      // slot of the group's first lane
    int down = 0, up = 0, south = 0, north = 0;  // first neighbour slots at k-1, k+1, j-1, j+1
    bool real[W];                       // lane holds a line of the grid
    bool kbottom[W], ktop[W], jfirst[W];  // k = 1; k = nz > 1; j = 1
    bool embed[W], bot[W], top[W];      // active matrix interfaces of the line's elements
    int elem[W];                        // element number of the line's cell in column 1
    bool any_matrix[W];
};

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

struct WavefrontSolver::Impl {
    int nx = 0, ny = 0, nz = 0, nynz = 0;
    int nslots = 0;
    std::vector<int> slot_of;  // (j-1)*nz + (k-1) -> slot
    std::vector<LineGroup> groups;
    std::vector<int> wave_first_group;  // groups of wavefront w: [wave_first_group[w], wave_first_group[w+1])
    std::vector<int> zone_of_column;    // i = 1..nx
    int zone_rep[4] = {0, 0, 0, 0};     // a representative element of each zone present
    bool matrix = false;                // elements take part in matrix diffusion
    bool has_embed = false, has_bound = false;
    double flow = 0, gx = 0, gy = 0, gz = 0, gx2 = 0, gy2 = 0, gz2 = 0;
    CompZone cz[4][kComponents + 1];    // [zone][m]

    Buffer c[kComponents + 1], o[kComponents + 1];       // cnew and cold, planes 0..nx+1
    Buffer bb1[kComponents + 1], bb2[kComponents + 1];   // bb of the latest sweep
    Buffer base1[kComponents + 1], base2[kComponents + 1];  // old-level part of bb's numerator
    Buffer ai1[kComponents + 1], ai2[kComponents + 1];      // stored amounts of the latest sweep
    Buffer denom[4][kComponents + 1];   // [zone][m], per slot: the full diagonal coefficient

    std::size_t plane_size() const { return static_cast<std::size_t>(nslots); }
    std::size_t field_size() const { return static_cast<std::size_t>(nx + 2) * plane_size(); }
    int slot(int j, int k) const { return slot_of[static_cast<std::size_t>((j - 1) * nz + (k - 1))]; }

    void build_layout(const Model& s);
    void step_constants(const Model& s);
    void sweep_group(const LineGroup& g, const Model& s, Vec& emax);
    void matrix_group(const LineGroup& g, Model& s);
};

bool WavefrontSolver::eligible(const Model& s, std::string* why) {
    auto no = [&](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    if (dk.nx < 1 || dk.ny < 1 || dk.nz < 1) return no("empty grid");
    // The zero row ny+1 must lie inside the grid arrays; otherwise the checked sweep stops
    // the run at the exact access that leaves them.
    if (dk.ny + 1 > kMaxY || dk.nz > kMaxZ || dk.nx + 1 > kMaxX) return no("grid at the array limits");
    if (s.gv.nelmax != dk.nx * dk.ny * dk.nz || s.gv.icomp != kComponents) return no("element count");
    const int nynz = dk.ny * dk.nz;
    const int n1 = 1;
    std::vector<int> zone_rep(4, 0);
    for (int i = 1; i <= dk.nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        if (z < 1 || z > 3) return no("zone");
        if (zone_rep[static_cast<std::size_t>(z)] == 0) zone_rep[static_cast<std::size_t>(z)] = (i - 1) * nynz + 1;
        const int rep = zone_rep[static_cast<std::size_t>(z)];
        for (int jk = 1; jk <= nynz; ++jk) {
            const int n = (i - 1) * nynz + jk;
            if (md.mdflag(n) != md.mdflag(n1) || md.mdembed(n) != md.mdembed(n1)) return no("matrix code varies");
            if (md.mdtop(n) != md.mdtop(jk) || md.mdbot(n) != md.mdbot(jk)) return no("faces vary along x");
            if (!same_bits(md.volfrac(n), md.volfrac(n1)) || !same_bits(md.difflen(n), md.difflen(n1)) ||
                !same_bits(md.porm(n), md.porm(n1)) || !same_bits(md.tortm(n), md.tortm(n1)) ||
                !same_bits(md.amd1(n), md.amd1(n1)) || !same_bits(md.amd2(n), md.amd2(n1)))
                return no("element properties vary");
            for (int m = 1; m <= kComponents; ++m) {
                if (!same_bits(md.retardm(n, m), md.retardm(n1, m)) || !same_bits(md.yieldm(n, m), md.yieldm(n1, m)) ||
                    !same_bits(md.diff(n, m), md.diff(n1, m)) || !same_bits(md.alpha(n, m), md.alpha(n1, m)))
                    return no("component properties vary");
                if (!same_bits(md.decaym(n, m), md.decaym(rep, m)) ||
                    !same_bits(md.alambdar(n, m), md.alambdar(rep, m)))
                    return no("matrix decay varies within a zone");
            }
        }
    }
    return true;
}

WavefrontSolver::WavefrontSolver(const Model& s) : impl_(std::make_unique<Impl>()) { impl_->build_layout(s); }
WavefrontSolver::~WavefrontSolver() = default;

void WavefrontSolver::Impl::build_layout(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    nx = dk.nx;
    ny = dk.ny;
    nz = dk.nz;
    nynz = ny * nz;
    slot_of.assign(static_cast<std::size_t>(nynz), -1);

    // Rows of wavefronts s = 1 .. ny+nz+1; rows 1 and ny+nz+1 hold only ghosts.
    const int nrows = ny + nz + 1;
    std::vector<int> lo(static_cast<std::size_t>(nrows + 2), 1), hi(static_cast<std::size_t>(nrows + 2), 0),
        start(static_cast<std::size_t>(nrows + 2), 0);
    int next = 0;
    for (int w = 1; w <= nrows; ++w) {
        lo[static_cast<std::size_t>(w)] = std::max(1, w - nz);
        hi[static_cast<std::size_t>(w)] = std::min(ny, w - 1);
        const int count = std::max(0, hi[static_cast<std::size_t>(w)] - lo[static_cast<std::size_t>(w)] + 1);
        start[static_cast<std::size_t>(w)] = next;
        next += ((count + 2 + W - 1) / W) * W + W;
    }
    nslots = next;
    auto pos = [&](int w, int j) {
        return start[static_cast<std::size_t>(w)] + (j - lo[static_cast<std::size_t>(w)] + 1);
    };
    for (int j = 1; j <= ny; ++j)
        for (int k = 1; k <= nz; ++k) slot_of[static_cast<std::size_t>((j - 1) * nz + (k - 1))] = pos(j + k, j);

    matrix = md.mdflag(1) != 0;
    for (int w = 2; w <= ny + nz; ++w) {
        wave_first_group.push_back(static_cast<int>(groups.size()));
        for (int j0 = lo[static_cast<std::size_t>(w)]; j0 <= hi[static_cast<std::size_t>(w)]; j0 += W) {
            LineGroup g{};
            g.first = pos(w, j0);
            g.down = pos(w - 1, j0);
            g.south = pos(w - 1, j0 - 1);
            g.up = pos(w + 1, j0);
            g.north = pos(w + 1, j0 + 1);
            for (int l = 0; l < W; ++l) {
                const int j = j0 + l, k = w - j;
                g.real[l] = j <= hi[static_cast<std::size_t>(w)];
                g.elem[l] = 1;
                if (!g.real[l]) continue;
                g.kbottom[l] = k == 1;
                g.ktop[l] = k == nz && nz > 1;
                g.jfirst[l] = j == 1;
                const int n = (j - 1) * nz + k;
                g.elem[l] = n;
                g.embed[l] = md.mdembed(n) == 1;
                g.bot[l] = md.mdbot(n) == 1;
                g.top[l] = md.mdtop(n) == 1;
                g.any_matrix[l] = g.embed[l] || g.bot[l] || g.top[l];
                has_embed = has_embed || g.embed[l];
                has_bound = has_bound || g.bot[l] || g.top[l];
            }
            groups.push_back(g);
        }
    }
    wave_first_group.push_back(static_cast<int>(groups.size()));

    zone_of_column.assign(static_cast<std::size_t>(nx + 1), 1);
    for (int i = 1; i <= nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        zone_of_column[static_cast<std::size_t>(i)] = z;
        if (zone_rep[z] == 0) zone_rep[z] = (i - 1) * nynz + 1;
    }

    for (int m = 1; m <= kComponents; ++m) {
        c[m].allocate(field_size());
        o[m].allocate(field_size());
        if (matrix && has_bound) {
            bb1[m].allocate(field_size());
            base1[m].allocate(field_size());
            ai1[m].allocate(field_size());
        }
        if (matrix && has_embed) {
            bb2[m].allocate(field_size());
            base2[m].allocate(field_size());
            ai2[m].allocate(field_size());
        }
        for (int z = 1; z <= 3; ++z)
            if (zone_rep[z] != 0) denom[z][m].allocate(plane_size());
    }
    // The field starts as the model holds it (zero after the initial state).
    for (int m = 1; m <= kComponents; ++m)
        for (int i = 0; i <= nx + 1; ++i)
            for (int j = 1; j <= ny; ++j)
                for (int k = 1; k <= nz; ++k) {
                    const std::size_t at = static_cast<std::size_t>(i) * plane_size() + static_cast<std::size_t>(slot(j, k));
                    c[m].p[at] = s.cnew(m, i, j, k);
                    if (i < 1 || i > nx) continue;
                    o[m].p[at] = s.cold(m, i, j, k);
                    const int n = (i - 1) * nynz + (j - 1) * nz + k;
                    if (ai1[m].p) ai1[m].p[at] = md.ainew1(n, m);
                    if (ai2[m].p) ai2[m].p[at] = md.ainew2(n, m);
                }

    const TransportCoefficients& tc = s.tc;
    const double porf = dk.porf;
    flow = (dk.vd / md.volfrac(1)) * tc.ayz;
    gx = tc.ayz * porf * tc.dispx / dk.dx;
    gy = tc.axz * porf * tc.dispt / dk.dy;
    gz = tc.axy * porf * tc.dispv / dk.dz;
    gx2 = (tc.ayz + tc.ayz) * porf * tc.dispx / dk.dx;
    gy2 = (tc.axz + tc.axz) * porf * tc.dispt / dk.dy;
    gz2 = (tc.axy + tc.axy) * porf * tc.dispv / dk.dz;
}

// Constants of the step: per zone and component the storage, decay and production
// coefficients, the matrix moments and fitting terms for the new time, and per slot the
// diagonal coefficient of the balance (transport terms plus the matrix exchange).
void WavefrontSolver::Impl::step_constants(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    const TransportCoefficients& tc = s.tc;
    const double porf = dk.porf;
    const double dt = dk.dt;
    for (int z = 1; z <= 3; ++z) {
        const int n = zone_rep[z];
        if (n == 0) continue;
        for (int m = 1; m <= kComponents; ++m) {
            CompZone& q = cz[z][m];
            q.storage = dk.retardf(m) * (porf * tc.volh) / dt;
            q.decay = (porf * tc.volh) * dk.decayf(m, z, 1);
            q.production = m >= 2 ? dk.yieldf(m) * (porf * tc.volh) * dk.decayf(m - 1, z, 1) : 0.0;
            if (matrix) {
                q.alpha = md.alpha(n, m);
                q.lambdar = md.alambdar(n, m);
                q.mom = mdmath::step_moments(md.alpha(n, m), md.diff(n, m), md.tortm(n), md.decaym(n, m),
                                             md.difflen(n), s.atime);
                q.d = q.mom.d;
                q.f1 = mdmath::fit_terms(q.mom.delt1, q.mom.gam1, q.mom.beta1, q.alpha, q.lambdar, q.d, dt);
                q.f2 = mdmath::fit_terms(q.mom.delt2, q.mom.gam2, q.mom.beta2, q.alpha, q.lambdar, q.d, dt);
                q.aa1 = q.f1.aatop / q.f1.aabot;
                q.aa2 = q.f2.aatop / q.f2.aabot;
                q.k1 = mdmath::k_bounding(md.porm(n), md.amd1(n), md.tortm(n), md.diff(n, m));
                q.k2 = mdmath::k_embedded(md.amd2(n), md.porm(n), md.tortm(n), md.diff(n, m));
                if (m >= 2) {
                    q.yield = md.yieldm(n, m);
                    q.lambda_parent = md.decaym(n, m - 1);
                    q.retard = md.retardm(n, m);
                }
            }
            double* den = denom[z][m].p;
            for (int sl = 0; sl < nslots; ++sl) den[sl] = 1.0;  // idle lanes
            for (const LineGroup& g : groups)
                for (int l = 0; l < W; ++l) {
                    if (!g.real[l]) continue;
                    double denom1 = flow + q.storage + q.decay;
                    denom1 = denom1 + ((g.kbottom[l] || g.ktop[l]) ? gz : gz2);
                    denom1 = denom1 + (g.jfirst[l] ? gy : gy2);
                    denom1 = gx2 + denom1;
                    double dterm = 0.0;
                    if (g.embed[l]) dterm = dterm + q.k2 / q.d - q.k2 * q.aa2;
                    if (g.bot[l]) dterm = dterm + q.k1 / q.d - q.k1 * q.aa1;
                    if (g.top[l]) dterm = dterm + q.k1 / q.d - q.k1 * q.aa1;
                    den[g.first + l] = denom1 + dterm;
                }
        }
    }
}

void WavefrontSolver::begin_step(Model& s) {
    Impl& im = *impl_;
    // The source plane of this step.
    for (int m = 1; m <= kComponents; ++m)
        for (int j = 1; j <= im.ny; ++j)
            for (int k = 1; k <= im.nz; ++k) im.c[m].p[im.slot(j, k)] = s.cnew(m, 0, j, k);
    im.step_constants(s);
    if (!im.matrix) return;
    // Old-level part of bb: the stored amount at the end of the last step and the old cell
    // concentration. For the first component bb is complete with it and fixed for the step.
    const MatrixdModule& md = s.md;
    const double dt = s.deck.dt;
    const double* aiold1 = md.aiold1.data();
    const double* aiold2 = md.aiold2.data();
    for (int i = 1; i <= im.nx; ++i) {
        const int z = im.zone_of_column[static_cast<std::size_t>(i)];
        const std::size_t row = static_cast<std::size_t>(i) * im.plane_size();
        for (const LineGroup& g : im.groups)
            for (int l = 0; l < W; ++l) {
                if (!g.real[l]) continue;
                const int n = (i - 1) * im.nynz + g.elem[l];
                const std::size_t at = row + static_cast<std::size_t>(g.first + l);
                for (int m = 1; m <= kComponents; ++m) {
                    const CompZone& q = im.cz[z][m];
                    const double coldt = im.o[m].p[at];
                    const std::ptrdiff_t e = md.aiold1.position(n, m);
                    if (im.has_bound) {
                        im.base1[m].p[at] = mdmath::bb_base(aiold1[e], coldt, q.f1.a, q.alpha, dt);
                        if (m == 1) im.bb1[m].p[at] = im.base1[m].p[at] / q.f1.aabot;
                    }
                    if (im.has_embed) {
                        im.base2[m].p[at] = mdmath::bb_base(aiold2[e], coldt, q.f2.a, q.alpha, dt);
                        if (m == 1) im.bb2[m].p[at] = im.base2[m].p[at] / q.f2.aabot;
                    }
                }
            }
    }
}

// One group of lines over the whole length of the grid.
__attribute__((target_clones("avx2", "default")))
void WavefrontSolver::Impl::sweep_group(const LineGroup& g, const Model& s, Vec& emax) {
    const Mask kbottom = lane_mask(g.kbottom), ktop = lane_mask(g.ktop), jfirst = lane_mask(g.jfirst);
    const Mask embed = lane_mask(g.embed), bot = lane_mask(g.bot), top = lane_mask(g.top);
    const Mask real = lane_mask(g.real);
    const Vec vflow = splat(flow), vgx = splat(gx), vgy = splat(gy), vgz = splat(gz);
    const std::size_t ps = plane_size();
    const double dt = s.deck.dt;
    for (int i = 1; i <= nx; ++i) {
        const int z = zone_of_column[static_cast<std::size_t>(i)];
        const std::size_t row = static_cast<std::size_t>(i) * ps;
        const std::size_t at = row + static_cast<std::size_t>(g.first);
        Vec parent = splat(0.0);
        for (int m = 1; m <= kComponents; ++m) {
            const CompZone& q = cz[z][m];
            double* cm = c[m].p;
            const Vec old = load(cm + at);
            const Vec cold = load(o[m].p + at);
            const Vec cw = load(cm + at - ps);
            const Vec ce = load(cm + at + ps);
            const Vec cd = load(cm + row + g.down), cu = load(cm + row + g.up);
            const Vec cs = load(cm + row + g.south), cn = load(cm + row + g.north);
            Vec anum1 = splat(q.storage) * cold + vflow * cw;
            anum1 = anum1 + select(kbottom, vgz * cu, select(ktop, vgz * cd, vgz * (cd + cu)));
            anum1 = anum1 + select(jfirst, vgy * cn, vgy * (cs + cn));
            anum1 = anum1 + vgx * (cw + ce);
            if (m >= 2) anum1 = anum1 + splat(q.production) * parent;
            Vec rterm = splat(0.0);
            if (matrix) {
                Vec vbb1 = splat(0.0), vbb2 = splat(0.0);
                if (m == 1) {
                    if (has_bound) vbb1 = load(bb1[m].p + at);
                    if (has_embed) vbb2 = load(bb2[m].p + at);
                } else {
                    // bb = (old-level part + production from the parent's stored amount
                    //       + production from the parent's cell concentration) / aabot
                    const Vec pre1 = splat(q.yield * q.lambda_parent * dt);
                    const Vec vretard = splat(q.retard);
                    const Vec den2 = splat(2.0 * q.alpha * q.retard);
                    if (has_bound) {
                        const Vec ai = load(ai1[m - 1].p + at);
                        const Vec t1 = pre1 * ai / vretard;
                        const Vec t2 = splat(q.f1.a * q.yield * q.lambda_parent) * parent / den2;
                        vbb1 = (load(base1[m].p + at) + t1 + t2) / splat(q.f1.aabot);
                        store(bb1[m].p + at, vbb1);
                    }
                    if (has_embed) {
                        const Vec ai = load(ai2[m - 1].p + at);
                        const Vec t1 = pre1 * ai / vretard;
                        const Vec t2 = splat(q.f2.a * q.yield * q.lambda_parent) * parent / den2;
                        vbb2 = (load(base2[m].p + at) + t1 + t2) / splat(q.f2.aabot);
                        store(bb2[m].p + at, vbb2);
                    }
                }
                if (has_embed) rterm = select(embed, rterm + splat(q.k2) * vbb2, rterm);
                if (has_bound) {
                    rterm = select(bot, rterm + splat(q.k1) * vbb1, rterm);
                    rterm = select(top, rterm + splat(q.k1) * vbb1, rterm);
                }
            }
            const Vec anum = anum1 + rterm;
            const Vec cnew = anum / load(denom[z][m].p + g.first);
            store(cm + at, select(real, cnew, old));
            const Vec erri = select(real, abs_of(cnew - old), splat(0.0));
            emax = select(erri > emax, erri, emax);
            parent = cnew;
        }
    }
}

void WavefrontSolver::sweep(Model& s) {
    Impl& im = *impl_;
    Vec emax = splat(0.0);
    for (const LineGroup& g : im.groups) im.sweep_group(g, s, emax);
    for (int l = 0; l < W; ++l)
        if (emax[l] > s.errmax) s.errmax = emax[l];
}

// Profiles and stored amounts of the matrices of one group of lines.
__attribute__((target_clones("avx2", "default")))
void WavefrontSolver::Impl::matrix_group(const LineGroup& g, Model& s) {
    const std::size_t ps = plane_size();
    const double dt = s.deck.dt;
    for (int i = 1; i <= nx; ++i) {
        const int z = zone_of_column[static_cast<std::size_t>(i)];
        const std::size_t at = static_cast<std::size_t>(i) * ps + static_cast<std::size_t>(g.first);
        Vec parent = splat(0.0);
        for (int m = 1; m <= kComponents; ++m) {
            const CompZone& q = cz[z][m];
            const Vec cv = load(c[m].p + at);
            const Vec co = load(o[m].p + at);
            const Vec d = splat(q.d);
            const Vec alpha = splat(q.alpha);
            const Vec qtop1 = (cv - co) * d * d / splat(q.alpha * dt) - cv;
            const Vec common = splat(q.lambdar) * cv * d * d / alpha;
            Vec source = splat(0.0);
            if (m >= 2) source = splat(q.yield * q.lambda_parent) * parent * d * d / splat(q.retard * q.alpha);
            const Vec twod = splat(2.0 * q.d);
            const Vec dd2 = splat(q.d * (2.0 * q.d));
            if (has_embed) {
                const Vec p = splat(q.aa2) * cv + load(bb2[m].p + at);
                Vec qtop2 = twod * p + common;
                if (m >= 2) qtop2 = qtop2 - source;
                const Vec qq = (qtop1 + qtop2) / dd2;
                const Vec ai = splat(q.mom.delt2) * cv + splat(q.mom.gam2) * p + splat(q.mom.beta2) * qq;
                store(ai2[m].p + at, ai);
            }
            if (has_bound) {
                const Vec p = splat(q.aa1) * cv + load(bb1[m].p + at);
                Vec qtop2 = twod * p + common;
                if (m >= 2) qtop2 = qtop2 - source;
                const Vec qq = (qtop1 + qtop2) / dd2;
                const Vec ai = splat(q.mom.delt1) * cv + splat(q.mom.gam1) * p + splat(q.mom.beta1) * qq;
                store(ai1[m].p + at, ai);
            }
            parent = cv;
        }
    }
}

void WavefrontSolver::update_matrix(Model& s) {
    Impl& im = *impl_;
    if (!im.matrix || (!im.has_embed && !im.has_bound)) return;
    for (const LineGroup& g : im.groups) im.matrix_group(g, s);
}

void WavefrontSolver::end_iterations(Model& s) {
    Impl& im = *impl_;
    if (!im.matrix) return;
    // The module's stored amounts of the converged step, for the elements with the matrix.
    double* ainew1 = s.md.ainew1.data();
    double* ainew2 = s.md.ainew2.data();
    for (int i = 1; i <= im.nx; ++i) {
        const std::size_t row = static_cast<std::size_t>(i) * im.plane_size();
        for (const LineGroup& g : im.groups)
            for (int l = 0; l < W; ++l) {
                if (!g.real[l]) continue;
                const std::size_t at = row + static_cast<std::size_t>(g.first + l);
                const std::ptrdiff_t e = s.md.ainew1.position((i - 1) * im.nynz + g.elem[l], 1);
                for (int m = 1; m <= kComponents; ++m) {
                    if (g.embed[l]) ainew2[e + m - 1] = im.ai2[m].p[at];
                    if (g.bot[l] || g.top[l]) ainew1[e + m - 1] = im.ai1[m].p[at];
                }
            }
    }
}

void WavefrontSolver::handover_and_results(Model& s, ResultFiles& files) {
    Impl& im = *impl_;
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    const std::size_t ps = im.plane_size();
    // Handover in the solver's field: cold takes the converged values, cnew drops what is
    // negligible (negatives included).
    for (int m = 1; m <= kComponents; ++m) {
        double* cm = im.c[m].p;
        double* om = im.o[m].p;
        for (std::size_t at = ps; at < (static_cast<std::size_t>(im.nx) + 1) * ps; ++at) {
            om[at] = cm[at];
            if (cm[at] < kNegligible) cm[at] = 0.0;
        }
    }
    // The model's grid takes the handed-over state, in its storage order.
    double* cnew = s.cnew.data();
    double* cold = s.cold.data();
    for (int k = 1; k <= im.nz; ++k)
        for (int j = 1; j <= im.ny; ++j) {
            const std::size_t sl = static_cast<std::size_t>(im.slot(j, k));
            for (int i = 1; i <= im.nx; ++i) {
                const std::size_t at = static_cast<std::size_t>(i) * ps + sl;
                for (int m = 1; m <= kComponents; ++m) {
                    cnew[s.cnew.position(m, i, j, k)] = im.c[m].p[at];
                    cold[s.cold.position(m, i, j, k)] = im.o[m].p[at];
                }
            }
        }

    // Sums and lines in element order.
    const double volh = s.tc.volh;
    const bool snapshot = s.nprint == dk.npt;
    const int* mdtop = md.mdtop.data();
    const int* mdbot = md.mdbot.data();
    const int* mdembed = md.mdembed.data();
    const double* porm = md.porm.data();
    const double* amd1 = md.amd1.data();
    const double* amd2 = md.amd2.data();
    const double* retardm = md.retardm.data();
    const double* ainew1 = md.ainew1.data();
    const double* ainew2 = md.ainew2.data();
    double hi_coef[kComponents + 1];
    for (int m = 1; m <= kComponents; ++m) hi_coef[m] = dk.retardf(m) * (dk.porf * volh);
    std::string line;
    int n = 0;
    for (int i = 1; i <= im.nx; ++i) {
        double discharge[kComponents + 1] = {};
        const double x = cell_centre(i, dk.dx);
        for (int j = 1; j <= im.ny; ++j)
            for (int k = 1; k <= im.nz; ++k) {
                ++n;
                const std::size_t at = static_cast<std::size_t>(i) * ps + static_cast<std::size_t>(im.slot(j, k));
                double cc[kComponents + 1] = {};
                for (int m = 1; m <= kComponents; ++m) cc[m] = im.c[m].p[at];
                for (int m = 1; m <= kComponents; ++m)
                    discharge[m] = discharge[m] + 2.0 * dk.vd * dk.dz * dk.dy * cc[m];
                const std::ptrdiff_t e1 = md.porm.position(n);
                for (int m = 1; m <= kComponents; ++m) {
                    const std::ptrdiff_t e = md.retardm.position(n, m);
                    double lo = matrix_mass_value(mdtop[e1] == 1, mdbot[e1] == 1, mdembed[e1] == 1, porm[e1], amd1[e1],
                                                  amd2[e1], retardm[e], ainew1[e], ainew2[e]);
                    double hi = hi_coef[m] * cc[m];
                    if (lo < kNegligible) lo = 0.0;
                    if (hi < kNegligible) hi = 0.0;
                    s.mass.lo[m] = s.mass.lo[m] + lo;
                    s.mass.hi[m] = s.mass.hi[m] + hi;
                }
                if (snapshot) {
                    line.clear();
                    append_quilmar_line(line, s.atime, x, cell_centre(j, dk.dy), cell_centre(k, dk.dz), cc);
                    files.quilmar.write_line(line);
                }
            }
        line.clear();
        append_discharge_line(line, s.atime, x, discharge);
        files.discharge.write_line(line);
    }
    finish_step_results(s, files);
}

}  // namespace quilmar

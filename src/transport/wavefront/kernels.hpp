#pragma once
// The sweep kernels: the cell balance of the checked sweep, operation for operation, for
// groups of four lines side by side. Included by the kernel translation units only; every
// function here is local to the unit that includes it, and so compiled for its instruction
// set.
#include "matrixdiffusion/md_math.hpp"
#include "transport/cell_balance.hpp"
#include "transport/wavefront/kernel_entry.hpp"
#include "transport/wavefront/lanes.hpp"

namespace quilmar::wavefront {
namespace {

#define QUILMAR_INLINE __attribute__((always_inline)) inline

// The fields' distances from cnew (see FieldBlock), as constants: no call of a function
// shared with other units, even in a build without optimisation.
constexpr std::size_t kColdAt = FieldBlock::offset(FieldBlock::kCold);
constexpr std::size_t kBase1At = FieldBlock::offset(FieldBlock::kBase1);
constexpr std::size_t kBase2At = FieldBlock::offset(FieldBlock::kBase2);
constexpr std::size_t kAmount1At = FieldBlock::offset(FieldBlock::kAmount1);
constexpr std::size_t kAmount2At = FieldBlock::offset(FieldBlock::kAmount2);

// Roles of the groups of a batch (those past its last group unused), or kAnyRole: every
// flag taken from the group's view.
template <unsigned R0, unsigned R1, unsigned R2>
struct Roles {
    static constexpr unsigned of(int g) { return g == 0 ? R0 : g == 1 ? R1 : R2; }
    static constexpr bool any = ((R0 | R1 | R2) & kAnyRole) != 0;          // flags from the views
    static constexpr bool bound = !any && ((R0 | R1 | R2) & kBound) != 0;  // known to have a bounding layer
};
using AnyRoles = Roles<kAnyRole, kAnyRole, kAnyRole>;

// The flags group g of a batch works with (constant once the kernel's group loop is
// unrolled, unless taken from the view).
template <class R>
QUILMAR_INLINE GroupFlags group_flags(const GroupView& gv, int g) {
    const unsigned role = R::of(g);
    if (role == kAnyRole) return gv.f;
    GroupFlags f;
    f.embed_any = true;
    f.ktop_any = f.jfirst_any = (role & kFirst) != 0;
    f.kbottom_any = (role & kLast) != 0;
    f.all_real = (role & kLast) == 0;
    f.bound_any = f.bot_any = f.top_any = (role & kBound) != 0;
    return f;
}

// Where a group's lanes lie in the aquitard fields' rows: a group of known role is its
// row's first (at 0) or last (at W, or 0 if also the first).
template <class R>
QUILMAR_INLINE int bound_pos(const GroupView& gv, int g) {
    const unsigned role = R::of(g);
    if (role == kAnyRole) return gv.bpos;
    return (role & kFirst) != 0 ? 0 : W;
}

// A batch of NG groups with roles R0.. (kInner stands in for the roles past the last).
template <int NG, unsigned R0, unsigned R1 = kInner, unsigned R2 = kInner>
struct Shape {
    static constexpr int count = NG;
    using roles = Roles<R0, R1, R2>;
    static constexpr unsigned key = shape_key(NG, R0, R1, R2);
};

// Calls f.operator()<S>() for the shape S of the list with this key; false if none has it.
template <class... S>
struct ShapeList {
    template <class F>
    QUILMAR_INLINE static bool visit(unsigned key, F&& f) {
        return ((key == S::key && (f.template operator()<S>(), true)) || ...);
    }
};

// The shapes of the batches of a row: three groups, or two, with the row's first group
// first or its last group last or both, or one group that is the row's last (and maybe
// its first); each first and last group with or without a bounding layer.
constexpr unsigned kF = kFirst, kFB = kFirst | kBound, kL = kLast, kLB = kLast | kBound;
constexpr unsigned kFL = kFirst | kLast, kFLB = kFirst | kLast | kBound;
using RowShapes = ShapeList<
    Shape<3, kF, kInner, kL>, Shape<3, kFB, kInner, kL>, Shape<3, kF, kInner, kLB>, Shape<3, kFB, kInner, kLB>,
    Shape<3, kF, kInner, kInner>, Shape<3, kFB, kInner, kInner>, Shape<3, kInner, kInner, kL>,
    Shape<3, kInner, kInner, kLB>, Shape<3, kInner, kInner, kInner>,
    Shape<2, kF, kL>, Shape<2, kFB, kL>, Shape<2, kF, kLB>, Shape<2, kFB, kLB>,
    Shape<2, kF, kInner>, Shape<2, kFB, kInner>, Shape<2, kInner, kL>, Shape<2, kInner, kLB>,
    Shape<1, kFL>, Shape<1, kFLB>, Shape<1, kL>, Shape<1, kLB>>;

// Offset of group g of a batch in column i, component m.
QUILMAR_INLINE std::size_t at(const BatchView& b, int g, int i, int m) {
    return b.own + static_cast<std::size_t>(W * g) + static_cast<std::size_t>(i * kComponents + m - 1) * b.lw;
}
// Offset in the aquitard fields of the group at bpos in column i, component m.
QUILMAR_INLINE std::size_t bound_at(const BatchView& b, int i, int m, int bpos) {
    return b.bown + static_cast<std::size_t>((i * kComponents + m - 1) * kBoundSlots + bpos);
}
// The denominators of zone z, component 1.
QUILMAR_INLINE const double* denominators_of(const SweepData& d, int z) {
    return d.denominators + static_cast<std::size_t>((z - 1) * kComponents) * kDenGap;
}

// The transport coefficients of the balance across the lanes.
struct TransportVecs {
    Vec flow, gx, gy, gz;
};
QUILMAR_INLINE TransportVecs transport_vecs(const SweepData& d) {
    return TransportVecs{splat(d.flow), splat(d.gx), splat(d.gy), splat(d.gz)};
}

// The transport part of the balance's numerator for group g of a batch in column i and
// component m (column_component = i * kComponents + m - 1): storage of the old value,
// advection from upstream and dispersion along x, y and z. Per lane the masks pick what
// the grid's faces leave of the vertical and lateral terms (a ghost neighbour holds zero
// but is not added); a face no lane lies on is skipped (flags f), with the same result in
// every lane.
QUILMAR_INLINE Vec transport_numerator(const double* cm, const double* om, const BatchView& b, const GroupView& gv,
                                       const GroupFlags& f, int g, int column_component, Vec storage,
                                       const TransportVecs& t) {
    const std::size_t km = static_cast<std::size_t>(column_component);
    const std::size_t gw = static_cast<std::size_t>(W * g);
    const std::size_t at = b.own + gw + km * b.lw;
    const std::size_t atd = b.down + gw + km * b.ld, ats = atd - 1;
    const std::size_t atu = b.up + gw + km * b.lu, atn = atu + 1;
    const std::size_t column = kComponents * b.lw;  // from one column to the next in the own row
    const Vec cold = load(om + at);
    const Vec cw = load(cm + at - column);
    const Vec ce = load(cm + at + column);
    const Vec cd = load(cm + atd), cu = load(cm + atu);
    const Vec cs = load(cm + ats), cn = load(cm + atn);
    const Vec both_z = balance::both_neighbours(t.gz, cd, cu);
    Vec z;
    if (f.kbottom_any && f.ktop_any)
        z = select(load(gv.kbottom), t.gz * cu, select(load(gv.ktop), t.gz * cd, both_z));
    else if (f.kbottom_any)
        z = select(load(gv.kbottom), t.gz * cu, both_z);
    else if (f.ktop_any)
        z = select(load(gv.ktop), t.gz * cd, both_z);
    else
        z = both_z;
    const Vec both_y = balance::both_neighbours(t.gy, cs, cn);
    const Vec y = f.jfirst_any ? select(load(gv.jfirst), t.gy * cn, both_y) : both_y;
    return balance::transport_numerator(storage, cold, t.flow, cw, ce, z, y, t.gx);
}

// Stores only the lanes that hold a line, one double at a time: an idle lane's slot is not
// written at all.
QUILMAR_INLINE void store_lanes(const GroupView& gv, double* p, Vec v) {
    for (int l = 0; l < W; ++l)
        if (gv.real.v[l]) p[l] = v[l];
}

// Stores the group's new values (idle lanes keep theirs) and returns the changes, zero in
// idle lanes. In a shared column (see ColumnRange) idle lanes do not write.
QUILMAR_INLINE Vec store_new(const GroupView& gv, const GroupFlags& f, double* p, Vec cnew, Vec old, bool shared) {
    if (f.all_real) {
        store(p, cnew);
        return abs_of(cnew - old);
    }
    const Mask real = load(gv.real);
    if (shared)
        store_lanes(gv, p, cnew);
    else
        store(p, select(real, cnew, old));
    return select(real, abs_of(cnew - old), zeros());
}

// Stores v into the group's lanes that hold a line; an idle lane's slot, which may belong to
// the next component or column, keeps what it holds.
QUILMAR_INLINE void store_real(const GroupView& gv, const GroupFlags& f, double* p, Vec v) {
    store(p, f.all_real ? v : select(load(gv.real), v, load(p)));
}

// The parts of q's numerator that both kinds of matrix share, from the cell's new value
// cv, its old value co and the parent's new value.
struct QShared {
    Vec qtop1, common, source;
};
QUILMAR_INLINE QShared q_shared(const MatrixVecs& k, int m, Vec cv, Vec co, Vec parent) {
    const Vec d = load(k.d);
    QShared r;
    r.qtop1 = mdmath::qtop1(cv, co, d, load(k.alpha_dt));
    r.common = mdmath::q_decay(load(k.lambdar), cv, d, load(k.alpha));
    r.source = zeros();
    if (m >= 2) r.source = mdmath::parent_source(load(k.ylp), parent, d, load(k.retard_alpha));
    return r;
}

// Stored amount in one kind of matrix: p from the fit with bb, q from the interface
// condition, the amount from the moments.
QUILMAR_INLINE Vec stored_amount(const MatrixVecs& k, int m, const QShared& sh, Vec cv, Vec aa, Vec bb, Vec delt,
                                 Vec gam, Vec beta) {
    return mdmath::profile(aa, bb, delt, gam, beta, cv, sh.qtop1, sh.common, m >= 2, sh.source, load(k.two_d),
                           load(k.d_2d))
        .stored;
}

// The balance of the checked sweep with matrix diffusion, operation for operation, for NG
// groups of one wavefront side by side over the columns of r; Bound and Embed say
// whether one of their lanes has a bounding face or embedded material (for the others the
// masks drop that kind's terms, and their stored amounts of it are never read). Each
// column is followed by the update of its cells' matrix profiles and stored amounts: a
// cell's values are final once its four components are updated, and its stored amounts
// are read only by its own update in the next sweep, so this runs right after the cell,
// with the results of a pass of its own. The last component's stored amount is read by no
// update at all: its bb is kept in the amount's slot instead, and the amount is formed
// once, after the last sweep of the step.
template <int NG, bool Bound, bool Embed, class R>
QUILMAR_INLINE void matrix_columns(const SweepData& d, const BatchView& b, const GroupView* v, LaneValues& emax,
                                   const ColumnRange& r) {
    // Every field at its constant offset from cnew (see FieldBlock).
    double* const cm = d.cnew;
    const double* const om = cm + kColdAt;
    const double* const base2 = cm + kBase2At;
    // The aquitard fields in their own rows (see kBoundSlots), in the same block.
    constexpr std::size_t base1_off = kBase1At;
    constexpr std::size_t ai1_off = kAmount1At;
    double* const ai2 = cm + kAmount2At;
    const TransportVecs t = transport_vecs(d);
    // The largest change of all groups in one register: this kernel's other values already
    // fill the registers, and a maximum does not depend on the order it is taken in.
    Vec e = zeros();
    for (int i = r.first; i <= r.last; ++i) {
        const bool shared = i == r.shared;
        const int z = d.zone_of_column[i];
        const MatrixVecs* const K = d.vecs[z];
        const double* const den = denominators_of(d, z) + b.slot;
        // Column i, component 1 of the batch's row in the aquitard fields, as seen from cnew,
        // and the slots of group g's component m from there.
        double* const bc = cm + bound_at(b, i, 1, 0);
        auto bslot = [v](int m, int g) __attribute__((always_inline)) {
            return static_cast<std::size_t>((m - 1) * kBoundSlots + bound_pos<R>(v[g], g));
        };
        Vec parent[NG];
        Vec bb1[NG][kComponents + 1], bb2[NG][kComponents + 1];
#pragma GCC unroll 4
        for (int m = 1; m <= kComponents; ++m)
#pragma GCC unroll 3
            for (int g = 0; g < NG; ++g) {
                const GroupView& gv = v[g];
                const GroupFlags f = group_flags<R>(gv, g);
                const MatrixVecs& k = K[m];
                const std::size_t at = wavefront::at(b, g, i, m);
                const std::size_t bat = bslot(m, g);
                const Vec old = load(cm + at);
                Vec anum1 = transport_numerator(cm, om, b, gv, f, g, i * kComponents + m - 1, load(k.storage), t);
                if (m >= 2) anum1 = balance::with_production(anum1, load(k.production), parent[g]);
                Vec vbb1 = zeros(), vbb2 = zeros();
                if (m == 1) {
                    if (Bound && f.bound_any) vbb1 = load(bc + base1_off + bat);
                    if (Embed && f.embed_any) vbb2 = load(base2 + at);
                } else {
                    if (Bound && f.bound_any) {
                        // from the parent's stored amount and cell concentration
                        const Vec t1 = mdmath::bb_parent_storage(load(k.pre), load(bc + ai1_off + bat - kBoundSlots),
                                                                 load(k.retard));
                        const Vec t2 = mdmath::bb_parent_cell(load(k.pa1), parent[g], load(k.den2));
                        vbb1 = mdmath::bb_daughter(load(bc + base1_off + bat), t1, t2, load(k.aabot1));
                    }
                    if (Embed && f.embed_any) {
                        const Vec t1 = mdmath::bb_parent_storage(load(k.pre), load(ai2 + at - b.lw), load(k.retard));
                        const Vec t2 = mdmath::bb_parent_cell(load(k.pa2), parent[g], load(k.den2));
                        vbb2 = mdmath::bb_daughter(load(base2 + at), t1, t2, load(k.aabot2));
                    }
                }
                bb1[g][m] = vbb1;
                bb2[g][m] = vbb2;
                Vec rterm = zeros();
                if (Embed && f.embed_any) {
                    // Every element has the embedded material or none; only an idle lane lacks
                    // it, and its values are never stored.
                    if constexpr (R::any)
                        rterm = select(load(gv.embed), mdmath::exchange_rhs(rterm, load(k.k2), vbb2), rterm);
                    else
                        rterm = mdmath::exchange_rhs(rterm, load(k.k2), vbb2);
                }
                if (Bound && f.bot_any) rterm = select(load(gv.bot), mdmath::exchange_rhs(rterm, load(k.k1), vbb1), rterm);
                if (Bound && f.top_any) rterm = select(load(gv.top), mdmath::exchange_rhs(rterm, load(k.k1), vbb1), rterm);
                const Vec anum = anum1 + rterm;
                const Vec cnew = anum / load(den + static_cast<std::size_t>(m - 1) * kDenGap + W * g);
                const Vec erri = store_new(gv, f, cm + at, cnew, old, shared);
                e = select(erri > e, erri, e);
                parent[g] = cnew;
            }
#pragma GCC unroll 3
        for (int g = 0; g < NG; ++g) {
            const GroupFlags f = group_flags<R>(v[g], g);
            Vec par = zeros();
#pragma GCC unroll 4
            for (int m = 1; m < kComponents; ++m) {
                const MatrixVecs& k = K[m];
                const std::size_t at = wavefront::at(b, g, i, m);
                const Vec cv = load(cm + at);
                const QShared sh = q_shared(k, m, cv, load(om + at), par);
                if (Embed && f.embed_any)
                    store_real(v[g], f, ai2 + at,
                               stored_amount(k, m, sh, cv, load(k.aa2), bb2[g][m], load(k.delt2), load(k.gam2),
                                             load(k.beta2)));
                if (Bound && f.bound_any)
                    store(bc + ai1_off + bslot(m, g), stored_amount(k, m, sh, cv, load(k.aa1), bb1[g][m],
                                                                    load(k.delt1), load(k.gam1), load(k.beta1)));
                par = cv;
            }
            const std::size_t at = wavefront::at(b, g, i, kComponents);
            if (Embed && f.embed_any) store_real(v[g], f, ai2 + at, bb2[g][kComponents]);
            if (Bound && f.bound_any) store(bc + ai1_off + bslot(kComponents, g), bb1[g][kComponents]);
        }
    }
    const Vec prev = load(emax);
    store(emax, select(e > prev, e, prev));
}

// The balance of the checked sweep without matrix diffusion, operation for operation, for
// NG groups of one wavefront side by side over the columns of r (their chains of
// divisions are independent and overlap). The constants of a reaction zone are taken once
// per run of columns in that zone, and the largest change is kept per group in a register.
template <int NG, class R>
QUILMAR_INLINE void plain_columns(const SweepData& d, const BatchView& b, const GroupView* v, LaneValues& emax,
                                  const ColumnRange& r) {
    double* const cm = d.cnew;
    const double* const om = cm + kColdAt;
    const TransportVecs t = transport_vecs(d);
    Vec e[NG];
    for (int g = 0; g < NG; ++g) e[g] = zeros();
    for (int i = r.first; i <= r.last;) {
        const int z = d.zone_of_column[i];
        int last = i;
        while (last < r.last && d.zone_of_column[last + 1] == z) ++last;
        Vec storage[kComponents], production[kComponents], den[NG][kComponents];
        for (int m = 0; m < kComponents; ++m) {
            storage[m] = load(d.vecs[z][m + 1].storage);
            production[m] = load(d.vecs[z][m + 1].production);
            for (int g = 0; g < NG; ++g)
                den[g][m] = load(denominators_of(d, z) + static_cast<std::size_t>(m) * kDenGap + b.slot + W * g);
        }
        for (; i <= last; ++i) {
            const bool shared = i == r.shared;
            Vec parent[NG];
#pragma GCC unroll 4
            for (int m = 0; m < kComponents; ++m)
#pragma GCC unroll 3
                for (int g = 0; g < NG; ++g) {
                    const GroupView& gv = v[g];
                    const GroupFlags f = group_flags<R>(gv, g);
                    const std::size_t at = wavefront::at(b, g, i, m + 1);
                    const Vec old = load(cm + at);
                    Vec anum1 = transport_numerator(cm, om, b, gv, f, g, i * kComponents + m, storage[m], t);
                    if (m >= 1) anum1 = balance::with_production(anum1, production[m], parent[g]);
                    const Vec anum = anum1 + zeros();  // the matrix exchange term, zero here
                    const Vec cnew = anum / den[g][m];
                    const Vec erri = store_new(gv, f, cm + at, cnew, old, shared);
                    e[g] = select(erri > e[g], erri, e[g]);
                    parent[g] = cnew;
                }
        }
    }
    Vec m = load(emax);
    for (int g = 0; g < NG; ++g) m = select(e[g] > m, e[g], m);
    store(emax, m);
}

// The columns of r of up to three groups of the same wavefront side by side (their
// chains of divisions are independent and overlap), by the kernel for the kinds of matrix
// their lanes have, with the groups' roles R.
template <int NG, class R>
QUILMAR_INLINE void batch_columns(const SweepData& d, const Batch& bt, LaneValues& emax, const ColumnRange& r) {
    const BatchView& b = bt.at;
    const GroupView* v = d.views + bt.first;
    bool embed = false;
    for (int g = 0; g < NG; ++g) embed = embed || v[g].f.embed_any;
    if constexpr (!R::any) {
        // Known roles say whether a lane has a bounding layer.
        if constexpr (R::bound) {
            if (embed) return matrix_columns<NG, true, true, R>(d, b, v, emax, r);
            return matrix_columns<NG, true, false, R>(d, b, v, emax, r);
        } else {
            if (embed) return matrix_columns<NG, false, true, R>(d, b, v, emax, r);
            return plain_columns<NG, R>(d, b, v, emax, r);
        }
    } else {
        bool bound = false;
        for (int g = 0; g < NG; ++g) bound = bound || v[g].f.bound_any;
        if (bound && embed) return matrix_columns<NG, true, true, R>(d, b, v, emax, r);
        if (bound) return matrix_columns<NG, true, false, R>(d, b, v, emax, r);
        if (embed) return matrix_columns<NG, false, true, R>(d, b, v, emax, r);
        plain_columns<NG, R>(d, b, v, emax, r);
    }
}

#undef QUILMAR_INLINE

}  // namespace
}  // namespace quilmar::wavefront

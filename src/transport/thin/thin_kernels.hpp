#pragma once
// The sweep kernels of thin grids: the cell balance of the checked sweep, operation for
// operation, with the lanes filled by the cells of a diagonal (cross-section, plan view) or
// by the four components of a stream tube. Included by the kernel translation units only;
// every function here is local to the unit that includes it.
#include <sched.h>

#include "transport/thin/thin_kernel_entry.hpp"
#include "transport/wavefront/kernels.hpp"

namespace quilmar::thin {
namespace {

using namespace wavefront;

#define QUILMAR_INLINE __attribute__((always_inline)) inline

// The fields at their constant offsets from cnew (see FieldBlock).
struct Fields {
    double* cm;
    const double *om, *base1, *base2;
    double *ai1, *ai2;
};
QUILMAR_INLINE Fields fields_of(double* cnew) {
    return Fields{cnew, cnew + kColdAt, cnew + kBase1At, cnew + kBase2At, cnew + kAmount1At, cnew + kAmount2At};
}

// Stores v into the lanes that hold a cell; the others keep what p holds (a ghost, the
// source plane, or a place no cell uses).
template <bool AllReal>
QUILMAR_INLINE void store_cells(Mask real, double* p, Vec v) {
    if constexpr (AllReal)
        store(p, v);
    else
        store(p, select(real, v, load(p)));
}

// The change of each lane that holds a cell (zero in the others), into the largest ones.
template <bool AllReal>
QUILMAR_INLINE void take_change(Mask real, Vec cnew, Vec old, Vec& e) {
    Vec erri = abs_of(cnew - old);
    if constexpr (!AllReal) erri = select(real, erri, zeros());
    e = select(erri > e, erri, e);
}

// NG groups of four lines of one diagonal side by side (group g[n], its component 1 at
// at1[n]; their chains of divisions are independent and overlap): the four components in
// turn, then the cells' matrix profiles and stored amounts, as the wavefront kernels take a
// column. AlongZ: the lines are layers (cross-section); otherwise rows (plan view).
template <int NG, bool Bound, bool Embed, bool AlongZ, bool AllReal>
QUILMAR_INLINE void diagonal_groups(const ThinSweepData& d, const LaneSet* const* ls, const int* g,
                                    const std::size_t* at1, Vec& e) {
    const auto [cm, om, base1, base2, ai1, ai2] = fields_of(d.cnew);
    const std::size_t comp = d.row, col = W * d.row;
    const Vec flow = splat(d.flow), gx = splat(d.gx), gy = splat(d.gy), gz = splat(d.gz);
    const GroupFaces* f[NG];
    const MatrixVecs* K[NG];
    const LaneValues* den[NG];
    bool bound_any[NG];
    for (int n = 0; n < NG; ++n) {
        f[n] = d.faces + g[n];
        K[n] = d.vecs + static_cast<std::size_t>(ls[n]->pattern) * (kComponents + 1);
        den[n] = d.denominators + static_cast<std::size_t>(ls[n]->pattern * d.groups + g[n]) * kComponents;
        bound_any[n] = Bound && (f[n]->bot_any || f[n]->top_any);
    }
    Vec cn[NG][kComponents + 1], co[NG][kComponents + 1], bb1[NG][kComponents + 1], bb2[NG][kComponents + 1];
    Vec parent[NG];
#pragma GCC unroll 4
    for (int m = 1; m <= kComponents; ++m)
#pragma GCC unroll 2
        for (int n = 0; n < NG; ++n) {
            const MatrixVecs& k = K[n][m];
            const GroupFaces& fn = *f[n];
            const std::size_t at = at1[n] + static_cast<std::size_t>(m - 1) * comp;
            const Vec old = load(cm + at), cold = load(om + at);
            const Vec cw = load(cm + at - col), ce = load(cm + at + col);
            const Vec below = load(cm + at - col - 1), above = load(cm + at + col + 1);
            Vec z, y;
            if constexpr (AlongZ) {
                const Vec both_z = balance::both_neighbours(gz, below, above);
                if (fn.kbottom_any && fn.ktop_any)
                    z = select(load(fn.kbottom), gz * above, select(load(fn.ktop), gz * below, both_z));
                else if (fn.kbottom_any)
                    z = select(load(fn.kbottom), gz * above, both_z);
                else if (fn.ktop_any)
                    z = select(load(fn.ktop), gz * below, both_z);
                else
                    z = both_z;
                y = gy * zeros();  // the lateral neighbour of the only row is the zero row
            } else {
                z = gz * zeros();  // the neighbour above the only layer is outside the grid: zero
                const Vec both_y = balance::both_neighbours(gy, below, above);
                y = fn.jfirst_any ? select(load(fn.jfirst), gy * above, both_y) : both_y;
            }
            Vec anum1 = balance::transport_numerator(load(k.storage), cold, flow, cw, ce, z, y, gx);
            if (m >= 2) anum1 = balance::with_production(anum1, load(k.production), parent[n]);
            Vec vbb1 = zeros(), vbb2 = zeros();
            if (m == 1) {
                if (bound_any[n]) vbb1 = load(base1 + at);
                if (Embed) vbb2 = load(base2 + at);
            } else {
                // from the parent's stored amount of the last sweep and its new concentration
                if (bound_any[n]) {
                    const Vec t1 = mdmath::bb_parent_storage(load(k.pre), load(ai1 + at - comp), load(k.retard));
                    const Vec t2 = mdmath::bb_parent_cell(load(k.pa1), parent[n], load(k.den2));
                    vbb1 = mdmath::bb_daughter(load(base1 + at), t1, t2, load(k.aabot1));
                }
                if (Embed) {
                    const Vec t1 = mdmath::bb_parent_storage(load(k.pre), load(ai2 + at - comp), load(k.retard));
                    const Vec t2 = mdmath::bb_parent_cell(load(k.pa2), parent[n], load(k.den2));
                    vbb2 = mdmath::bb_daughter(load(base2 + at), t1, t2, load(k.aabot2));
                }
            }
            Vec rterm = zeros();
            if (Embed) rterm = mdmath::exchange_rhs(rterm, load(k.k2), vbb2);
            if (bound_any[n] && fn.bot_any)
                rterm = select(load(fn.bot), mdmath::exchange_rhs(rterm, load(k.k1), vbb1), rterm);
            if (bound_any[n] && fn.top_any)
                rterm = select(load(fn.top), mdmath::exchange_rhs(rterm, load(k.k1), vbb1), rterm);
            const Vec cnew = (anum1 + rterm) / load(den[n][m - 1]);
            const Mask real = load(ls[n]->real);
            store_cells<AllReal>(real, cm + at, cnew);
            take_change<AllReal>(real, cnew, old, e);
            cn[n][m] = cnew;
            co[n][m] = cold;
            bb1[n][m] = vbb1;
            bb2[n][m] = vbb2;
            parent[n] = cnew;
        }
    if (!Embed && !Bound) return;
    // The stored amounts; the last component keeps its bb for the amount formed after the
    // step's last sweep.
#pragma GCC unroll 2
    for (int n = 0; n < NG; ++n) {
        if (!Embed && !bound_any[n]) continue;
        const Mask real = load(ls[n]->real);
        Vec par = zeros();
#pragma GCC unroll 4
        for (int m = 1; m < kComponents; ++m) {
            const MatrixVecs& k = K[n][m];
            const std::size_t at = at1[n] + static_cast<std::size_t>(m - 1) * comp;
            const QShared sh = q_shared(k, m, cn[n][m], co[n][m], par);
            if (Embed)
                store_cells<AllReal>(real, ai2 + at,
                                     stored_amount(k, m, sh, cn[n][m], load(k.aa2), bb2[n][m], load(k.delt2),
                                                   load(k.gam2), load(k.beta2)));
            if (bound_any[n])
                store_cells<AllReal>(real, ai1 + at,
                                     stored_amount(k, m, sh, cn[n][m], load(k.aa1), bb1[n][m], load(k.delt1),
                                                   load(k.gam1), load(k.beta1)));
            par = cn[n][m];
        }
        const std::size_t at = at1[n] + static_cast<std::size_t>(kComponents - 1) * comp;
        if (Embed) store_cells<AllReal>(real, ai2 + at, bb2[n][kComponents]);
        if (bound_any[n]) store_cells<AllReal>(real, ai1 + at, bb1[n][kComponents]);
    }
}

// Waits until the member before has finished diagonal c: spins briefly, then yields.
QUILMAR_INLINE void wait_for_diagonal(const int* after, int c) {
    for (int spin = 0; __atomic_load_n(after, __ATOMIC_ACQUIRE) < c; ++spin)
        if (spin > 64) sched_yield();
}

template <bool Bound, bool Embed, bool AlongZ>
QUILMAR_INLINE void diagonals(const ThinSweepData& d, LaneValues& emax, const GroupRange& r) {
    Vec e = zeros();
    const std::size_t col = W * d.row;
    for (int c = 2; c <= d.nx + d.lines; ++c) {
        if (r.after) wait_for_diagonal(r.after, c);
        // The groups of diagonal c with a cell of the grid (ThinLayout::first_group and
        // last_group, written out: this unit calls no function shared with other units), of
        // this member's.
        int g0 = ((c - d.nx > 1 ? c - d.nx : 1) - 1) / W, g1 = ((c - 1 < d.lines ? c - 1 : d.lines) - 1) / W;
        g0 = g0 > r.first ? g0 : r.first;
        g1 = g1 < r.last ? g1 : r.last;
        const LaneSet* const sets = d.sets + static_cast<std::size_t>(c) * static_cast<std::size_t>(d.groups);
        auto at1 = [&](int g) { return static_cast<std::size_t>(c) * col + static_cast<std::size_t>(W * g + 1); };
        // Two groups at a time, each pair with its cells all in the grid or not.
        int g = g0;
        for (; g + 1 <= g1; g += 2) {
            const LaneSet* ls[2] = {sets + g, sets + g + 1};
            const int gs[2] = {g, g + 1};
            const std::size_t at[2] = {at1(g), at1(g + 1)};
            if (ls[0]->all_real && ls[1]->all_real)
                diagonal_groups<2, Bound, Embed, AlongZ, true>(d, ls, gs, at, e);
            else
                diagonal_groups<2, Bound, Embed, AlongZ, false>(d, ls, gs, at, e);
        }
        if (g <= g1) {
            const LaneSet* ls[1] = {sets + g};
            const std::size_t at[1] = {at1(g)};
            if (ls[0]->all_real)
                diagonal_groups<1, Bound, Embed, AlongZ, true>(d, ls, &g, at, e);
            else
                diagonal_groups<1, Bound, Embed, AlongZ, false>(d, ls, &g, at, e);
        }
        if (r.done) __atomic_store_n(r.done, c, __ATOMIC_RELEASE);
    }
    const Vec prev = load(emax);
    store(emax, select(e > prev, e, prev));
}

// What a stream tube's step hands to the step kLag later: its new values and the stored
// amounts of the last sweep, lane l then serving as the parent of lane l + 1.
struct TubeCarry {
    Vec cnew = zeros(), amount1 = zeros(), amount2 = zeros();
};

// Step t of a stream tube: cell t - kLag l, component l + 1 in lane l. The first lane (the
// first component) has no parent; the last one keeps its bb for the amount formed after
// the step's last sweep.
template <bool Bound, bool Embed, bool AllReal>
QUILMAR_INLINE void tube_step(const ThinSweepData& d, int t, TubeCarry& back, Mask first, Mask last, Vec& e) {
    const auto [cm, om, base1, base2, ai1, ai2] = fields_of(d.cnew);
    const LaneSet& ls = d.sets[t];
    const MatrixVecs& k = d.vecs[ls.pattern];
    const Mask real = load(ls.real);
    const std::size_t at = static_cast<std::size_t>(W * t);
    const Vec old = load(cm + at), cold = load(om + at);
    const Vec cw = load(cm + at - W), ce = load(cm + at + W);
    // The only line's neighbours above and beside it are outside the grid: zero.
    const Vec z = splat(d.gz) * zeros(), y = splat(d.gy) * zeros();
    Vec anum1 = balance::transport_numerator(load(k.storage), cold, splat(d.flow), cw, ce, z, y, splat(d.gx));
    const Vec parent = shift_up(back.cnew);
    anum1 = select(first, anum1, balance::with_production(anum1, load(k.production), parent));
    Vec vbb1 = zeros(), vbb2 = zeros();
    if (Bound) {
        const Vec b = load(base1 + at);
        const Vec t1 = mdmath::bb_parent_storage(load(k.pre), shift_up(back.amount1), load(k.retard));
        const Vec t2 = mdmath::bb_parent_cell(load(k.pa1), parent, load(k.den2));
        vbb1 = select(first, b, mdmath::bb_daughter(b, t1, t2, load(k.aabot1)));
    }
    if (Embed) {
        const Vec b = load(base2 + at);
        const Vec t1 = mdmath::bb_parent_storage(load(k.pre), shift_up(back.amount2), load(k.retard));
        const Vec t2 = mdmath::bb_parent_cell(load(k.pa2), parent, load(k.den2));
        vbb2 = select(first, b, mdmath::bb_daughter(b, t1, t2, load(k.aabot2)));
    }
    Vec rterm = zeros();
    if (Embed) rterm = mdmath::exchange_rhs(rterm, load(k.k2), vbb2);
    if (Bound && d.bot) rterm = mdmath::exchange_rhs(rterm, load(k.k1), vbb1);
    if (Bound && d.top) rterm = mdmath::exchange_rhs(rterm, load(k.k1), vbb1);
    const Vec cnew = (anum1 + rterm) / load(d.denominators[ls.pattern]);
    store_cells<AllReal>(real, cm + at, cnew);
    take_change<AllReal>(real, cnew, old, e);
    back.cnew = cnew;
    if (!Bound && !Embed) return;
    // A source of zero in the first lane leaves its q as that of a component without parent.
    QShared sh;
    sh.qtop1 = mdmath::qtop1(cnew, cold, load(k.d), load(k.alpha_dt));
    sh.common = mdmath::q_decay(load(k.lambdar), cnew, load(k.d), load(k.alpha));
    sh.source = select(first, zeros(), mdmath::parent_source(load(k.ylp), parent, load(k.d), load(k.retard_alpha)));
    if (Embed) {
        back.amount2 = load(ai2 + at);
        const Vec amount = stored_amount(k, 2, sh, cnew, load(k.aa2), vbb2, load(k.delt2), load(k.gam2), load(k.beta2));
        store_cells<AllReal>(real, ai2 + at, select(last, vbb2, amount));
    }
    if (Bound) {
        back.amount1 = load(ai1 + at);
        const Vec amount = stored_amount(k, 2, sh, cnew, load(k.aa1), vbb1, load(k.delt1), load(k.gam1), load(k.beta1));
        store_cells<AllReal>(real, ai1 + at, select(last, vbb1, amount));
    }
}

template <bool Bound, bool Embed>
QUILMAR_INLINE void tube(const ThinSweepData& d, LaneValues& emax) {
    const LaneMask first_lane{{-1, 0, 0, 0}}, last_lane{{0, 0, 0, -1}};
    const Mask first = load(first_lane), last = load(last_lane);
    static_assert(ThinLayout::kLag == 2, "the steps alternate between two carries");
    TubeCarry odd, even;  // steps t - 2 of odd and even t
    Vec e = zeros();
    for (int t = 1; t <= d.steps; t += 2) {
        if (t + 1 <= d.steps && d.sets[t].all_real && d.sets[t + 1].all_real) {
            tube_step<Bound, Embed, true>(d, t, odd, first, last, e);
            tube_step<Bound, Embed, true>(d, t + 1, even, first, last, e);
        } else {
            tube_step<Bound, Embed, false>(d, t, odd, first, last, e);
            if (t + 1 <= d.steps) tube_step<Bound, Embed, false>(d, t + 1, even, first, last, e);
        }
    }
    const Vec prev = load(emax);
    store(emax, select(e > prev, e, prev));
}

// The kernel for the kinds of matrix the run works on.
QUILMAR_INLINE void sweep_thin(const ThinSweepData& d, LaneValues& emax, const GroupRange& r) {
    if (d.tube) {
        if (d.bound && d.embed) return tube<true, true>(d, emax);
        if (d.bound) return tube<true, false>(d, emax);
        if (d.embed) return tube<false, true>(d, emax);
        return tube<false, false>(d, emax);
    }
    if (d.along_z) {
        if (d.bound && d.embed) return diagonals<true, true, true>(d, emax, r);
        if (d.bound) return diagonals<true, false, true>(d, emax, r);
        if (d.embed) return diagonals<false, true, true>(d, emax, r);
        return diagonals<false, false, true>(d, emax, r);
    }
    if (d.bound && d.embed) return diagonals<true, true, false>(d, emax, r);
    if (d.bound) return diagonals<true, false, false>(d, emax, r);
    if (d.embed) return diagonals<false, true, false>(d, emax, r);
    diagonals<false, false, false>(d, emax, r);
}

#undef QUILMAR_INLINE

}  // namespace
}  // namespace quilmar::thin

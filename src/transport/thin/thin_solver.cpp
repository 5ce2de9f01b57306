#include "transport/thin/thin_solver.hpp"

#include <algorithm>

#include "results/result_pass.hpp"

namespace quilmar {

using namespace thin;
using wavefront::FieldBlock;

ThinSolver::ThinSolver(Model& s, const SolverOptions& options, bool release_unused)
    : wave_(s),
      layout_(s),
      zones_(wave_, s, s.md, release_unused),
      lanes_(layout_, wave_),
      avx2_(__builtin_cpu_supports("avx2") && !options.portable) {
    const MatrixdModule& md = s.md;
    const int nx = layout_.nx(), lines = layout_.lines();
    nynz_ = s.deck.ny * s.deck.nz;
    fields_.map(layout_.field_len());
    c_ = fields_.field(FieldBlock::kCnew);
    o_ = fields_.field(FieldBlock::kCold);
    bool has_bound = false, has_embed = false;
    for (int q = 1; q <= lines; ++q) {
        has_bound = has_bound || layout_.line(q).bot || layout_.line(q).top;
        has_embed = has_embed || layout_.line(q).embed;
    }
    if (zones_.matrix() && has_bound) {
        base1_ = fields_.field(FieldBlock::kBase1);
        ai1_ = fields_.field(FieldBlock::kAmount1);
    }
    if (zones_.matrix() && has_embed) {
        base2_ = fields_.field(FieldBlock::kBase2);
        ai2_ = fields_.field(FieldBlock::kAmount2);
    }
    const long elements = static_cast<long>(nx) * nynz_;
    elements_covered_ = md.aiold1.covers(1, 1, elements) && md.aiold2.covers(1, 1, elements) &&
                        md.ainew1.covers(1, 1, elements) && md.ainew2.covers(1, 1, elements);
    // The field starts as the model holds it (zero after the initial state).
    for (int q = 1; q <= lines; ++q) {
        const Line& ln = layout_.line(q);
        for (int i = 0; i <= nx + 1; ++i)
            for (int m = 1; m <= kComponents; ++m) {
                const std::size_t at = layout_.at(i, m, q);
                c_[at] = s.cnew(m, i, ln.j, ln.k);
                if (i < 1 || i > nx) continue;
                o_[at] = s.cold(m, i, ln.j, ln.k);
                if (embed(q)) ai2_[at] = md.ainew2(element(i, q), m);
                if (bound(q)) ai1_[at] = md.ainew1(element(i, q), m);
            }
    }
    data_.cnew = c_;
    data_.sets = layout_.sets();
    data_.faces = layout_.all_faces();
    data_.nx = nx;
    data_.lines = lines;
    data_.groups = layout_.groups();
    data_.steps = layout_.steps();
    data_.row = layout_.row();
    data_.flow = zones_.flow;
    data_.gx = zones_.gx;
    data_.gy = zones_.gy;
    data_.gz = zones_.gz;
    data_.tube = layout_.shape() == Shape::kTube;
    data_.along_z = layout_.shape() == Shape::kSection;
    data_.bound = ai1_ != nullptr;
    data_.embed = ai2_ != nullptr;
    data_.bot = layout_.line(1).bot;
    data_.top = layout_.line(1).top;
    // A team only for large grids: its members meet once per diagonal, and on a grid of a
    // few ten thousand cells that costs what the second core gains (measured: 4000 and
    // 20000 cells as fast or slower on two threads, 98000 cells 1.6 times faster).
    constexpr int kCellsPerMember = 40000;
    const int members = data_.tube ? 1
                                   : std::min({thread_count_for(s.gv.nelmax, options), data_.groups,
                                               std::max(1, s.gv.nelmax / kCellsPerMember)});
    if (members > 1) {
        team_ = std::make_unique<ThreadTeam>(members);
        progress_.assign(static_cast<std::size_t>(members), Progress{});
        member_emax_.assign(static_cast<std::size_t>(members), wavefront::LaneValues{});
    }
}

void ThinSolver::begin_step(Model& s) {
    // The source plane of this step.
    for (int q = 1; q <= layout_.lines(); ++q)
        for (int m = 1; m <= kComponents; ++m)
            c_[layout_.at(0, m, q)] = s.cnew(m, 0, layout_.line(q).j, layout_.line(q).k);
    zones_.form(wave_, s);
    lanes_.form(layout_, zones_);
    const bool tube = layout_.shape() == Shape::kTube;
    data_.vecs = tube ? &lanes_.tube_vecs(0) : lanes_.vecs(0);
    data_.denominators = tube ? &lanes_.tube_denominators(0) : lanes_.denominators(0, 0);
    if (!zones_.matrix()) return;
    // The old-level part of bb: the stored amount at the end of the last step and the old
    // cell concentration. For the first component bb is complete with it and fixed for the
    // step.
    const MatrixdModule& md = s.md;
    const double dt = s.deck.dt;
    const std::size_t step = layout_.component_stride();
    for (int q = 1; q <= layout_.lines(); ++q) {
        const bool with1 = bound(q), with2 = embed(q);
        if (!with1 && !with2) continue;
        for (int i = 1; i <= layout_.nx(); ++i) {
            const int z = zones_.zone(i), n = element(i, q);
            const std::size_t at1 = layout_.at(i, 1, q);
            for (int m = 1; m <= kComponents; ++m) {
                const wavefront::CompZone& cz = zones_.comp(z, m);
                const std::size_t at = at1 + static_cast<std::size_t>(m - 1) * step;
                const double coldt = o_[at];
                if (with1) {
                    double base = mdmath::bb_base(element_value(md.aiold1, n, m), coldt, cz.f1.a, cz.alpha, dt);
                    if (m == 1) base = base / cz.f1.aabot;
                    base1_[at] = base;
                }
                if (with2) {
                    double base = mdmath::bb_base(element_value(md.aiold2, n, m), coldt, cz.f2.a, cz.alpha, dt);
                    if (m == 1) base = base / cz.f2.aabot;
                    base2_[at] = base;
                }
            }
        }
    }
}

void ThinSolver::sweep(Model& s) {
    auto sweep_groups = [this](wavefront::LaneValues& emax, const GroupRange& r) {
        if (avx2_)
            sweep_thin_avx2(data_, emax, r);
        else
            sweep_thin_portable(data_, emax, r);
    };
    // The largest lane, compared as the scalar sweep compares.
    auto raise = [&s](const wavefront::LaneValues& emax) {
        for (int l = 0; l < W; ++l)
            if (emax.v[l] > s.errmax) s.errmax = emax.v[l];
    };
    if (!team_) {
        wavefront::LaneValues emax{};
        sweep_groups(emax, GroupRange{0, data_.groups - 1});
        return raise(emax);
    }
    const int members = team_->size();
    for (Progress& p : progress_) p.done = 0;
    team_->run([&](int member) {
        GroupRange r;
        r.first = data_.groups * member / members;
        r.last = data_.groups * (member + 1) / members - 1;
        r.after = member > 0 ? &progress_[static_cast<std::size_t>(member) - 1].done : nullptr;
        r.done = &progress_[static_cast<std::size_t>(member)].done;
        wavefront::LaneValues emax{};
        sweep_groups(emax, r);
        member_emax_[static_cast<std::size_t>(member)] = emax;
    });
    for (const wavefront::LaneValues& emax : member_emax_) raise(emax);
}

void ThinSolver::end_iterations(Model& s) {
    if (!zones_.matrix()) return;
    MatrixdModule& md = s.md;
    constexpr int M = kComponents;
    const std::size_t step = layout_.component_stride();
    for (int q = 1; q <= layout_.lines(); ++q) {
        const bool with1 = bound(q), with2 = embed(q);
        if (!with1 && !with2) continue;
        for (int i = 1; i <= layout_.nx(); ++i) {
            // The last component's stored amounts, from its bb of the last sweep kept in
            // their places: the same formulas as the kernels', on one lane.
            const wavefront::MatrixVecs& k = zones_.vecs()[zones_.zone(i)][M];
            const std::size_t at = layout_.at(i, M, q);
            const double cv = c_[at];
            const double d = k.d.v[0];
            const double qtop1 = mdmath::qtop1(cv, o_[at], d, k.alpha_dt.v[0]);
            const double common = mdmath::q_decay(k.lambdar.v[0], cv, d, k.alpha.v[0]);
            const double source = mdmath::parent_source(k.ylp.v[0], c_[at - step], d, k.retard_alpha.v[0]);
            if (with2)
                ai2_[at] = mdmath::profile(k.aa2.v[0], ai2_[at], k.delt2.v[0], k.gam2.v[0], k.beta2.v[0], cv, qtop1,
                                           common, true, source, k.two_d.v[0], k.d_2d.v[0])
                               .stored;
            if (with1)
                ai1_[at] = mdmath::profile(k.aa1.v[0], ai1_[at], k.delt1.v[0], k.gam1.v[0], k.beta1.v[0], cv, qtop1,
                                           common, true, source, k.two_d.v[0], k.d_2d.v[0])
                               .stored;
            // The module's stored amounts take the step's values.
            const int n = element(i, q);
            for (int m = 1; m <= M; ++m) {
                const std::size_t a = at - static_cast<std::size_t>(M - m) * step;
                if (with2) element_value(md.ainew2, n, m) = ai2_[a];
                if (with1) element_value(md.ainew1, n, m) = ai1_[a];
            }
        }
    }
}

void ThinSolver::cell_values(const Model& s, int i0, int i1, double* to) const {
    for (int i = i0; i <= i1; ++i)
        for (int j = 1; j <= s.deck.ny; ++j)
            for (int k = 1; k <= s.deck.nz; ++k)
                for (int m = 1; m <= kComponents; ++m) *to++ = c_[layout_.at(i, m, line_of(j, k))];
}

bool ThinSolver::all_finite(const Model&) const {
    return wavefront::all_finite_values(c_, layout_.field_len());
}

void ThinSolver::hand_over_grid(Model& s) const {
    for (int q = 1; q <= layout_.lines(); ++q)
        for (int i = 1; i <= layout_.nx(); ++i)
            for (int m = 1; m <= kComponents; ++m) {
                const std::size_t at = layout_.at(i, m, q);
                s.cnew(m, i, layout_.line(q).j, layout_.line(q).k) = c_[at];
                s.cold(m, i, layout_.line(q).j, layout_.line(q).k) = o_[at];
            }
}

void ThinSolver::handover_and_results(Model& s, ResultFiles& files) {
    // Handover in the solver's field: cold takes the converged values, cnew drops what is
    // negligible (negatives included). Ghosts stay zero; the source plane is taken from the
    // model again at the next step.
    wavefront::hand_over_values(c_, o_, 0, layout_.field_len());
    // Of the model's grid only the well's cells are read at every step (for the well line).
    const WellCells& wc = s.well;
    const int nx = layout_.nx(), ny = s.deck.ny, nz = s.deck.nz;
    if (wc.iwell >= 1 && wc.iwell <= nx && wc.jwell >= 1 && wc.jwell <= ny)
        for (int k = std::max(1, wc.kwellbot); k <= std::min(nz, wc.kwelltop); ++k)
            for (int m = 1; m <= kComponents; ++m)
                s.cnew(m, wc.iwell, wc.jwell, k) = c_[layout_.at(wc.iwell, m, line_of(wc.jwell, k))];
    const std::size_t step = layout_.component_stride();
    auto cell_values = [&](int i, int j, int k, double* c) {
        const double* at = c_ + layout_.at(i, 1, line_of(j, k));
        for (int m = 1; m <= kComponents; ++m, at += step) c[m] = *at;
    };
    with_snapshot_lines(s, [&](auto* snapshot) { write_step_results_direct(s, files, cell_values, snapshot); });
}

}  // namespace quilmar

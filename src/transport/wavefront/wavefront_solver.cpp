#include "transport/wavefront/wavefront_solver.hpp"

#include <algorithm>
#include <cstring>

#include "results/snapshot_handoff.hpp"
#include "state/zones.hpp"
#include "transport/wavefront/uniform_elements.hpp"

namespace quilmar {

using namespace wavefront;

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

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
    // Every grid within the element capacity fits the field block; a larger one would stop in
    // the checked sweep at the capacity.
    const std::size_t slots = static_cast<std::size_t>(plan_rows(dk.ny, dk.nz).slots());
    if (!fits_field_block(static_cast<std::size_t>(dk.nx + 2) * kComponents * slots, slots,
                          bound_field_doubles(dk.nx, dk.ny, dk.nz)))
        return no("grid beyond the field block");
    // A grid whose elements are alike passes a quick scan; any other is walked element by
    // element to name what varies.
    if (elements_uniform(s)) return true;
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

WavefrontSolver::WavefrontSolver(Model& s, const SolverOptions& options, bool release_unused)
    : layout_(s),
      zones_(layout_, s, s.md, release_unused),
      batches_(layout_, zones_.matrix() && layout_.has_bound(), zones_.matrix() && layout_.has_embed()),
      pipeline_(layout_, thread_count_for(s.gv.nelmax, options),
                __builtin_cpu_supports("avx2") && !options.portable) {
    const MatrixdModule& md = s.md;
    const int nx = layout_.nx(), ny = layout_.ny(), nz = layout_.nz(), nynz = layout_.nynz();
    column_values_.assign(static_cast<std::size_t>(kGatherColumns) * nynz * kComponents, 0.0);
    fields_.map(layout_.field_len());
    c_ = fields_.field(FieldBlock::kCnew);
    o_ = fields_.field(FieldBlock::kCold);
    if (zones_.matrix() && layout_.has_bound()) {
        base1_ = fields_.field(FieldBlock::kBase1);
        ai1_ = fields_.field(FieldBlock::kAmount1);
    }
    if (zones_.matrix() && layout_.has_embed()) {
        base2_ = fields_.field(FieldBlock::kBase2);
        ai2_ = fields_.field(FieldBlock::kAmount2);
    }
    // The field starts as the model holds it (zero after the initial state). Where the grid
    // lies within the model's arrays (as on every eligible grid) they are read without a
    // range check per value.
    const bool covered = s.cnew.covers(2, 0, nx + 1) && s.cnew.covers(3, 1, ny) && s.cnew.covers(4, 1, nz) &&
                         s.cold.covers(2, 1, nx) && s.cold.covers(3, 1, ny) && s.cold.covers(4, 1, nz) &&
                         md.ainew1.covers(1, 1, static_cast<long>(nx) * nynz) &&
                         md.ainew2.covers(1, 1, static_cast<long>(nx) * nynz);
    auto read = [covered](const auto& a, auto... idx) -> double {
        return covered ? a.data()[a.position(idx...)] : a(idx...);
    };
    for (int k = 1; k <= nz; ++k)
        for (int j = 1; j <= ny; ++j)
            for (int i = 0; i <= nx + 1; ++i)
                for (int m = 1; m <= kComponents; ++m) {
                    const std::size_t at = layout_.cell_at(i, m, j, k);
                    c_[at] = read(s.cnew, m, i, j, k);
                    if (i < 1 || i > nx) continue;
                    o_[at] = read(s.cold, m, i, j, k);
                    const int n = (i - 1) * nynz + (j - 1) * nz + k;
                    if (ai2_) ai2_[at] = read(md.ainew2, n, m);
                }
    if (ai1_)
        for (int i = 1; i <= nx; ++i)
            layout_.cells_of_column(i, [&](const LineGroup& g, int l, int n) {
                if (!g.bound) return;
                for (int m = 1; m <= kComponents; ++m)
                    ai1_[layout_.bound_at(g.w, i, m, g.bpos + l)] = read(md.ainew1, n, m);
            });
    data_.cnew = c_;
    data_.zone_of_column = zones_.zones();
    data_.vecs = zones_.vecs();
    data_.denominators = zones_.denominators();
    data_.views = batches_.views().data();
    data_.flow = zones_.flow;
    data_.gx = zones_.gx;
    data_.gy = zones_.gy;
    data_.gz = zones_.gz;
}

void WavefrontSolver::begin_step(Model& s) {
    // The source plane of this step.
    for (int m = 1; m <= kComponents; ++m)
        for (int j = 1; j <= layout_.ny(); ++j)
            for (int k = 1; k <= layout_.nz(); ++k) c_[layout_.cell_at(0, m, j, k)] = s.cnew(m, 0, j, k);
    zones_.form(layout_, s);
    if (!zones_.matrix()) return;
    pipeline_.share(layout_.nx(), [&](int first, int last) {
        for (int i = first + 1; i <= last + 1; ++i) bb_base_column(s.md, s.deck.dt, i);
    });
}

// The stored amount at the end of the last step and the old cell concentration. For the
// first component bb is complete with it and fixed for the step.
void WavefrontSolver::bb_base_column(const MatrixdModule& md, double dt, int i) {
    const double* aiold1 = md.aiold1.data();
    const double* aiold2 = md.aiold2.data();
    const int z = zones_.zone(i);
    layout_.cells_of_column(i, [&](const LineGroup& g, int l, int n) {
        for (int m = 1; m <= kComponents; ++m) {
            const CompZone& q = zones_.comp(z, m);
            const std::size_t at = layout_.at(g.w, i, m, g.pos + l);
            const double coldt = o_[at];
            const std::ptrdiff_t e = md.aiold1.position(n, m);
            if (g.bound) {
                double& base = base1_[layout_.bound_at(g.w, i, m, g.bpos + l)];
                base = mdmath::bb_base(aiold1[e], coldt, q.f1.a, q.alpha, dt);
                if (m == 1) base = base / q.f1.aabot;
            }
            if (layout_.has_embed()) {
                base2_[at] = mdmath::bb_base(aiold2[e], coldt, q.f2.a, q.alpha, dt);
                if (m == 1) base2_[at] = base2_[at] / q.f2.aabot;
            }
        }
    });
}

void WavefrontSolver::sweep(Model& s) {
    const double errmax = pipeline_.sweep(data_, batches_);
    if (errmax > s.errmax) s.errmax = errmax;
}

void WavefrontSolver::end_iterations(Model& s) {
    if (!zones_.matrix()) return;
    pipeline_.share(static_cast<int>(layout_.groups().size()), [&](int first, int last) {
        for (int n = first; n <= last; ++n) last_amounts_of_group(data_, layout_, n);
    });
    pipeline_.share(layout_.nx(), [&](int first, int last) {
        for (int i = first + 1; i <= last + 1; ++i) hand_over_amounts(s.md, i);
    });
}

void WavefrontSolver::hand_over_amounts(MatrixdModule& md, int i) const {
    double* ainew1 = md.ainew1.data();
    double* ainew2 = md.ainew2.data();
    layout_.cells_of_column(i, [&](const LineGroup& g, int l, int n) {
        const std::ptrdiff_t e = md.ainew1.position(n, 1);
        for (int m = 1; m <= kComponents; ++m) {
            const std::size_t at = layout_.at(g.w, i, m, g.pos + l);
            if (g.embed[l]) ainew2[e + m - 1] = ai2_[at];
            if (g.bot[l] || g.top[l]) ainew1[e + m - 1] = ai1_[layout_.bound_at(g.w, i, m, g.bpos + l)];
        }
    });
}

void WavefrontSolver::gather_columns(int i0, int i1, double* to) const {
    // A row's stretch of these columns is contiguous in the field and is read once, by its
    // lines one after the other.
    const std::size_t nynz = static_cast<std::size_t>(layout_.nynz());
    layout_.lines_in_field_order([&](int, int, std::size_t jk) {
        const std::size_t len = layout_.line_stride(jk);
        for (int i = i0; i <= i1; ++i) {
            const double* at = c_ + layout_.line_start(jk) + static_cast<std::size_t>(i) * kComponents * len;
            double* out = to + (static_cast<std::size_t>(i - i0) * nynz + jk) * kComponents;
            for (int m = 0; m < kComponents; ++m) out[m] = at[static_cast<std::size_t>(m) * len];
        }
    });
}

void WavefrontSolver::cell_values(const Model&, int i0, int i1, double* to) const { gather_columns(i0, i1, to); }

// The whole field at once (ghosts and the source plane hold finite values too).
bool WavefrontSolver::all_finite(const Model&) const { return all_finite_values(c_, layout_.field_len()); }

void WavefrontSolver::hand_over_grid(Model& s) const {
    // The model's grid takes the solver's state. Lines are taken row by row and, within
    // a row, slot by slot, so that neighbouring lines read the same cache lines of the field
    // while each writes its own contiguous run of the model's arrays.
    double* cnew = s.cnew.data();
    double* cold = s.cold.data();
    const std::ptrdiff_t new_i = s.cnew.stride(2), new_m = s.cnew.stride(1);
    const std::ptrdiff_t old_i = s.cold.stride(2), old_m = s.cold.stride(1);
    layout_.lines_in_field_order([&](int j, int k, std::size_t jk) {
        const std::ptrdiff_t new0 = s.cnew.position(1, 0, j, k), old0 = s.cold.position(1, 0, j, k);
        const std::size_t line = layout_.line_start(jk), len = layout_.line_stride(jk);
        for (int i = 1; i <= layout_.nx(); ++i)
            for (int m = 1; m <= kComponents; ++m) {
                const std::size_t at = line + (static_cast<std::size_t>(i) * kComponents + (m - 1)) * len;
                cnew[new0 + i * new_i + (m - 1) * new_m] = c_[at];
                cold[old0 + i * old_i + (m - 1) * old_m] = o_[at];
            }
    });
}

void WavefrontSolver::handover_and_results(Model& s, ResultFiles& files) {
    // Handover in the solver's field: cold takes the converged values, cnew drops what is
    // negligible (negatives included). Ghosts stay zero; the source column is taken from the
    // model again at the next step.
    constexpr std::size_t kChunk = 4096;
    const std::size_t field_len = layout_.field_len();
    pipeline_.share(static_cast<int>((field_len + kChunk - 1) / kChunk), [&](int first, int last) {
        hand_over_values(c_, o_, static_cast<std::size_t>(first) * kChunk,
                         std::min(field_len, (static_cast<std::size_t>(last) + 1) * kChunk));
    });
    // Of the model's grid only the well's cells are read at every step (for the well line);
    // the whole grid takes the solver's state once, when the time loop ends (hand_over_grid).
    const WellCells& wc = s.well;
    const int nx = layout_.nx(), ny = layout_.ny(), nz = layout_.nz(), nynz = layout_.nynz();
    if (wc.iwell >= 1 && wc.iwell <= nx && wc.jwell >= 1 && wc.jwell <= ny)
        for (int k = std::max(1, wc.kwellbot); k <= std::min(nz, wc.kwelltop); ++k)
            for (int m = 1; m <= kComponents; ++m)
                s.cnew(m, wc.iwell, wc.jwell, k) = c_[layout_.cell_at(wc.iwell, m, wc.jwell, k)];

    // Sums and lines in element order, from the handed-over field. The pass takes the cells
    // of a column line by line, each line in another row of the field; so a few columns'
    // values at a time are first gathered row by row, in the field's order, into element
    // order.
    std::vector<double>& columns = column_values_;
    int first = 0, last = -1;  // the columns gathered
    auto cell_values = [&](int i, int j, int k, double* c) {
        if (i < first || i > last) {
            first = i;
            last = std::min(nx, i + kGatherColumns - 1);
            gather_columns(first, last, columns.data());
        }
        const std::size_t line = static_cast<std::size_t>((i - first) * nynz + (j - 1) * nz + (k - 1));
        const double* at = columns.data() + line * kComponents;
        for (int m = 1; m <= kComponents; ++m) c[m] = at[m - 1];
    };
    ThreadTeam* team = pipeline_.team();
    if (!snapshot_step(s) || !team)
        return with_snapshot_lines(s, [&](auto* snapshot) { write_step_results_direct(s, files, cell_values, snapshot); });
    // A snapshot step with a team: the second member formats the field's lines column by
    // column, the first forms the sums and writes every line in the same order as alone.
    write_step_results_formatting_aside(
        s, files, cell_values, [this](int i0, int i1, double* to) { gather_columns(i0, i1, to); },
        [team](auto&& job) { team->run(job); }, column_lines_);
}

}  // namespace quilmar

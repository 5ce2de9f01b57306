#include "transport/time_loop.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "matrixdiffusion/matrixdsr.hpp"
#include "results/mass_budget.hpp"
#include "setup/source.hpp"
#include "state/run_stop.hpp"
#include "text/console_line.hpp"
#include "transport/step_solver.hpp"

namespace quilmar {
namespace {

// Where a run spends its time, reported on stderr when QUILMAR_TIMING is on: the sweeps
// (with the grind time per cell-component update, and that of the median and the fastest
// single sweep, which a busy machine disturbs less than the mean) and the rest of the steps
// (release, handover, result lines).
class StepTimer {
public:
    using Clock = std::chrono::steady_clock;
    explicit StepTimer(const SolverOptions& options) : options_(options), on_(options.timing) {}
    Clock::time_point now() const { return on_ ? Clock::now() : Clock::time_point{}; }
    void add_sweep(Clock::time_point from) {
        if (on_) sweep_s_.push_back(std::chrono::duration<double>(Clock::now() - from).count());
    }
    void add_other(Clock::time_point from) {
        if (on_) other_s_ += std::chrono::duration<double>(Clock::now() - from).count();
    }
    void report(int cells) const {
        if (!on_ || sweep_s_.empty()) return;
        const double updates = static_cast<double>(cells) * kComponents;
        double total = 0;
        for (const double t : sweep_s_) total += t;
        std::vector<double> sorted = sweep_s_;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        // A thread count above the processors available is capped; the line says so.
        std::string cap;
        if (options_.threads_asked > options_.threads)
            cap = "; QUILMAR_THREADS=" + std::to_string(options_.threads_asked) + " capped at the " +
                  std::to_string(options_.threads) + " processors available";
        std::fprintf(stderr,
                     "quilmar_v3: timing: %zu sweeps of %d cells: %.3f s, %.2f ns per update, median sweep "
                     "%.2f ns per update, fastest sweep %.2f ns per update; rest of the steps %.3f s%s\n",
                     n, cells, total, total * 1e9 / (updates * static_cast<double>(n)), median * 1e9 / updates,
                     sorted.front() * 1e9 / updates, other_s_, cap.c_str());
    }

private:
    const SolverOptions& options_;
    bool on_;
    std::vector<double> sweep_s_;  // each sweep's time
    double other_s_ = 0;
};

[[noreturn]] void stop_not_converged(const Model& s, std::ostream& out) {
    out << ConsoleLine().text("maxit exceeded").value(s.iter).str() << '\n';
    out.flush();
    throw RunStop(kExitNotConverged, "step " + std::to_string(s.ntime) + " (time " + shortest_real(s.atime) +
                                         ") did not converge within maxit = " + std::to_string(s.deck.maxit) +
                                         " sweeps; the result files end with the step before");
}

// A step whose field holds a value that is not finite (an overflow, a division by zero):
// no sweep can make it converge to anything meaningful. Found after a sweep whose largest
// change is infinite, or once the sweeps have ended (a NaN passes every comparison of the
// largest change). Names the first such cell in element order.
[[noreturn]] void stop_not_finite(const Model& s, const StepSolver& solver, std::ostream& out, int sweeps) {
    out << ConsoleLine().text("value not finite").value(sweeps).str() << '\n';
    out.flush();
    std::string where;
    const Deck& dk = s.deck;
    std::vector<double> column(static_cast<std::size_t>(dk.ny) * static_cast<std::size_t>(dk.nz) * kComponents);
    for (int i = 1; i <= dk.nx && where.empty(); ++i) {
        solver.cell_values(s, i, i, column.data());
        for (std::size_t at = 0; at < column.size() && where.empty(); ++at)
            if (!std::isfinite(column[at])) {
                const int line = static_cast<int>(at / kComponents);
                where = " (component " + std::to_string(at % kComponents + 1) + ", cell " + std::to_string(i) + ", " +
                        std::to_string(line / dk.nz + 1) + ", " + std::to_string(line % dk.nz + 1) + ")";
            }
    }
    throw RunStop(kExitNotConverged, "step " + std::to_string(s.ntime) + " (time " + shortest_real(s.atime) +
                                         ") produced a value that is not finite" + where + " by sweep " +
                                         std::to_string(sweeps) + "; the result files end with the step before");
}

// Sweeps until the largest change of a sweep is within tol. Every sweep is followed by the
// matrix storage update, also the last one.
void iterate_step(Model& s, StepSolver& solver, std::ostream& out, StepTimer& timer) {
    s.iter = 0;
    do {
        s.errmax = 0.0;
        s.iter = s.iter + 1;
        if (s.iter > s.deck.maxit) {
            // A value that is not a number may keep the others from converging: say so.
            if (!solver.all_finite(s)) stop_not_finite(s, solver, out, s.deck.maxit);
            stop_not_converged(s, out);
        }
        const auto start = timer.now();
        solver.sweep(s);
        timer.add_sweep(start);
        if (std::isinf(s.errmax)) stop_not_finite(s, solver, out, s.iter);
    } while (s.errmax > s.deck.tol);
    if (!solver.all_finite(s)) stop_not_finite(s, solver, out, s.iter);
}

}  // namespace

void run_time_loop(Model& s, ResultFiles& files, std::ostream& out, bool continues, BudgetFile* budget_file) {
    run_time_loop(s, files, out, solver_options_from_environment(), continues, budget_file);
}

void run_time_loop(Model& s, ResultFiles& files, std::ostream& out, const SolverOptions& options, bool continues,
                   BudgetFile* budget_file) {
    std::unique_ptr<MassBudget> budget;  // before the fast solver releases the element arrays it reads
    if (budget_file) {
        std::array<bool, kComponents + 1> sourced{};
        for (int m = 1; m <= kComponents; ++m) sourced[static_cast<std::size_t>(m)] = has_source(s.deck, m);
        budget = std::make_unique<MassBudget>(s, *budget_file, sourced);
    }
    const std::unique_ptr<StepSolver> solver = make_step_solver(s, options, continues);
    StepTimer timer(options);
    s.nprint = 0;
    for (s.ntime = 1; s.ntime <= s.deck.nt; ++s.ntime) {
        auto start = timer.now();
        s.nprint = s.nprint + 1;
        s.atime = s.atime + s.deck.dt;
        s.mass.clear();
        release_source(s);
        solver->begin_step(s);
        timer.add_other(start);
        iterate_step(s, *solver, out, timer);
        start = timer.now();
        solver->end_iterations(s);
        if (budget)
            budget->close_step(s, [&solver, &s](int i0, int i1, double* to) { solver->cell_values(s, i0, i1, to); });
        out << ConsoleLine()
                   .text(" time = ")
                   .value(s.atime)
                   .text(" iterations = ")
                   .value(s.iter)
                   .text("vw-mass1(1,1,1,1)= ")
                   .value(s.md.ainew1(1, 1))
                   .text("vw-mass2= ")
                   .value(s.md.ainew2(1, 1))
                   .str()
            << '\n';
        out.flush();
        matrixdsr7updt(s.md, s.gv);
        solver->handover_and_results(s, files);
        files.flush();
        if (budget_file) budget_file->flush();
        timer.add_other(start);
    }
    if (continues) solver->hand_over_grid(s);
    timer.report(s.gv.nelmax);
}

}  // namespace quilmar

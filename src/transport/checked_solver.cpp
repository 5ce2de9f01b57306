#include "transport/checked_solver.hpp"

#include <cmath>

#include "matrixdiffusion/matrixdsr.hpp"
#include "results/result_pass.hpp"
#include "transport/thin/thin_solver.hpp"
#include "transport/wavefront/wavefront_solver.hpp"

namespace quilmar {

void CheckedSolver::begin_step(Model& s) { matrixdsr2(s.md, s.gv, s.atime); }

void CheckedSolver::sweep(Model& s) {
    sweep_checked(s, carry_);
    copy_grid_to_elements(s);
    matrixdsr6int(s.md, s.gv, s.deck.dt);
}

void CheckedSolver::handover_and_results(Model& s, ResultFiles& files) { quilmar::handover_and_results(s, files); }

void CheckedSolver::cell_values(const Model& s, int i0, int i1, double* to) const {
    const Deck& dk = s.deck;
    for (int i = i0; i <= i1; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k)
                for (int m = 1; m <= kComponents; ++m) *to++ = s.cnew(m, i, j, k);
}

bool CheckedSolver::all_finite(const Model& s) const {
    const Deck& dk = s.deck;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k)
                for (int m = 1; m <= kComponents; ++m)
                    if (!std::isfinite(s.cnew(m, i, j, k))) return false;
    return true;
}

void copy_grid_to_elements(Model& s) {
    const Deck& dk = s.deck;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                for (int m = 1; m <= kComponents; ++m) {
                    s.md.cn(n, m) = s.cnew(m, i, j, k);
                    s.md.co(n, m) = s.cold(m, i, j, k);
                }
            }
}

std::unique_ptr<StepSolver> make_step_solver(Model& s, const SolverOptions& options, bool continues) {
    if (!options.reference && WavefrontSolver::eligible(s)) {
        if (thin::thin_grid(s.deck.ny, s.deck.nz)) return std::make_unique<ThinSolver>(s, options, !continues);
        return std::make_unique<WavefrontSolver>(s, options, !continues);
    }
    return std::make_unique<CheckedSolver>();
}

}  // namespace quilmar

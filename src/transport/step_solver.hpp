#pragma once
// One step of the transport solution, as the time loop drives it. Two solvers stand behind
// it and give the same bits: the checked cell-by-cell sweep in element order, and the
// wavefront solver for grids whose elements share their properties.
#include <memory>

#include "results/result_files.hpp"
#include "state/model.hpp"
#include "state/solver_options.hpp"

namespace quilmar {

class StepSolver {
public:
    virtual ~StepSolver() = default;

    // After the clock has advanced and the source released its mass for the step: the
    // step's constant coefficients (matrix moments and fitting terms for the new time).
    virtual void begin_step(Model& s) = 0;
    // One sweep over all cells and components, each cell followed by the update of its
    // matrix profiles and stored amounts from the sweep's values; raises s.errmax.
    virtual void sweep(Model& s) = 0;
    // After the last sweep of a step: the module's stored amounts (ainew1, ainew2) take
    // the step's values for every element.
    virtual void end_iterations(Model& s) = 0;
    // End-of-step handover (cold takes the converged values, cnew drops what is negligible)
    // and the step's result lines.
    virtual void handover_and_results(Model& s, ResultFiles& files) = 0;
    // The concentrations of columns i0..i1 in element order: to[((i - i0) * ny * nz + (j - 1)
    // * nz + k - 1) * 4 + m - 1]. After end_iterations the converged values (the matrix
    // stored amounts are then in the module's ainew1 and ainew2), after handover_and_results
    // the values the handover left.
    virtual void cell_values(const Model& s, int i0, int i1, double* to) const = 0;
    // Whether every concentration of the grid is finite (no overflow, no NaN). The sweeps'
    // largest change passes over a NaN, as every comparison with it is false; so a step is
    // checked once its sweeps have ended.
    virtual bool all_finite(const Model& s) const = 0;
    // After the last step of a run that the caller continues: the model's cnew and cold take
    // the solver's state.
    virtual void hand_over_grid(Model& s) const = 0;
};

// The wavefront solver where it reproduces the checked sweep and the options allow it,
// otherwise the checked solver. A whole run (continues = false) lets the wavefront solver
// release the element arrays that only it would read.
std::unique_ptr<StepSolver> make_step_solver(Model& s, const SolverOptions& options, bool continues);

}  // namespace quilmar

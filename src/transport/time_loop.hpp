#pragma once
#include <iosfwd>

#include "results/budget_file.hpp"
#include "results/result_files.hpp"
#include "state/model.hpp"
#include "state/solver_options.hpp"

namespace quilmar {

// March through nt steps of length dt. Each step: advance the clock, source release, the
// step's matrix coefficients, sweeps until the largest change is within tol (each followed
// by the matrix storage update), progress line, matrix rotation, handover and results. A
// step that needs more than maxit sweeps ends the run.
// A whole run (continues = false) lets the fast solver release the element arrays that only
// it would read afterwards, and leaves the model's grid (cnew, cold) as it was but for the
// well's cells, since nothing reads it after the last step: the grid's pages are never
// touched. A caller that continues the same model with another call of the time loop keeps
// the arrays and gets the grid's final state. With a budget file, every converged step also
// writes its mass budget there.
void run_time_loop(Model& s, ResultFiles& files, std::ostream& out, const SolverOptions& options,
                   bool continues = false, BudgetFile* budget_file = nullptr);
// The same with the options from the environment.
void run_time_loop(Model& s, ResultFiles& files, std::ostream& out, bool continues = false,
                   BudgetFile* budget_file = nullptr);

}  // namespace quilmar

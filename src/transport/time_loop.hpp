#pragma once
#include <iosfwd>

#include "results/budget_file.hpp"
#include "results/result_files.hpp"
#include "state/model.hpp"

namespace quilmar {

// March through nt steps of length dt. Each step: advance the clock, matrix step
// coefficients, source release, sweeps until the largest change is within tol (each
// followed by the element copy and the matrix storage update), progress line, matrix
// rotation, handover and results. A step that needs more than maxit sweeps ends the run.
// A whole run (continues = false) lets the fast solver release the element arrays that only
// it would read afterwards, and leaves the model's grid (cnew, cold) as it was but for the
// well's cells, since nothing reads it after the last step: the grid's pages are never
// touched. A caller that continues the same model with another call of the time loop keeps
// the arrays and gets the grid's final state. With a budget file, every converged step also
// writes its mass budget there.
void run_time_loop(Model& s, ResultFiles& files, std::ostream& out, bool continues = false,
                   BudgetFile* budget_file = nullptr);

// Copies the grid into the per-element arrays cn and co for the matrix storage update.
void copy_grid_to_elements(Model& s);

}  // namespace quilmar

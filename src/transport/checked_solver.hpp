#pragma once
#include "transport/step_solver.hpp"
#include "transport/sweep.hpp"

namespace quilmar {

// The reference: the cell-by-cell sweep in element order with every array access checked,
// the matrix routines over the module's element arrays.
class CheckedSolver final : public StepSolver {
public:
    void begin_step(Model& s) override;
    void sweep(Model& s) override;
    void end_iterations(Model&) override {}
    void handover_and_results(Model& s, ResultFiles& files) override;
    void cell_values(const Model& s, int i0, int i1, double* to) const override;
    bool all_finite(const Model& s) const override;
    void hand_over_grid(Model&) const override {}

private:
    SweepCarry carry_;
};

// Copies the grid into the per-element arrays cn and co for the matrix storage update.
void copy_grid_to_elements(Model& s);

}  // namespace quilmar

#pragma once
// The fast path of the transport solver. It gives the same bits as the cell-by-cell sweep
// in element order, for grids whose elements share their properties (as every deck gives
// them: only the matrix decay rate varies, by reaction zone, and the bounding faces, by
// layer).
//
// Why the results are identical: a sweep over x-lines (fixed j, k; i = 1..nx) taken in
// wavefronts of constant j + k gives every cell the same new and old neighbours as the
// element order (the cells at j-1 and k-1 are new, those at j+1, k+1 and i+1 old, i-1 new).
// Lines of one wavefront are independent, so they are computed side by side in the lanes
// of a vector, each lane doing exactly the operations of the scalar update in the same
// order. Coefficients that do not change within a step (denominators, the matrix fitting
// terms aa and the old-level part of bb) are formed once per step by the same expressions.
// The largest change of a sweep is a maximum and does not depend on the order.
#include <memory>
#include <string>
#include <vector>

#include "results/result_files.hpp"
#include "state/model.hpp"

namespace quilmar {

class WavefrontSolver {
public:
    // Whether the fast path reproduces the element-order sweep for this run; if not, why.
    static bool eligible(const Model& s, std::string* why = nullptr);

    // threads: members of the team that shares the sweeps (1: no threads at all). Takes the
    // matrix properties it needs per zone and, with release_unused, releases the element
    // arrays that only it would read.
    WavefrontSolver(Model& s, int threads, bool release_unused = true);
    ~WavefrontSolver();
    WavefrontSolver(const WavefrontSolver&) = delete;
    WavefrontSolver& operator=(const WavefrontSolver&) = delete;

    // After the source release of a step: takes over the source plane and forms the step's
    // constant coefficients.
    void begin_step(Model& s);
    // One sweep over all cells and components, each cell followed by the update of its
    // matrix profiles and stored amounts from the sweep's values; raises s.errmax.
    void sweep(Model& s);
    // After the last sweep of a step: the module's stored amounts take the step's values.
    void end_iterations(Model& s);
    // The converged concentrations of columns i0..i1, before the handover rounds them, in
    // element order: to[((i - i0) * ny * nz + (j - 1) * nz + (k - 1)) * 4 + m - 1].
    void converged_columns(int i0, int i1, double* to) const;
    // End-of-step handover (cold takes the converged values, cnew drops what is negligible)
    // and the step's result lines. Of the model's grid only the well's cells are updated.
    void handover_and_results(Model& s, ResultFiles& files);
    // The model's cnew and cold take the solver's state; for the end of the time loop.
    void hand_over_grid(Model& s) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace quilmar

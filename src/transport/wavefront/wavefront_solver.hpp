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
#include <string>
#include <vector>

#include "transport/step_solver.hpp"
#include "transport/wavefront/batches.hpp"
#include "transport/wavefront/field_block.hpp"
#include "transport/wavefront/kernel_entry.hpp"
#include "transport/wavefront/layout.hpp"
#include "transport/wavefront/pipeline.hpp"
#include "transport/wavefront/zone_constants.hpp"

namespace quilmar {

class WavefrontSolver final : public StepSolver {
public:
    // Whether the fast path reproduces the element-order sweep for this run; if not, why.
    static bool eligible(const Model& s, std::string* why = nullptr);

    // Takes the matrix properties it needs per zone and, with release_unused, releases the
    // element arrays that only it would read.
    WavefrontSolver(Model& s, const SolverOptions& options, bool release_unused = true);

    void begin_step(Model& s) override;
    void sweep(Model& s) override;
    void end_iterations(Model& s) override;
    // Of the model's grid only the well's cells are updated.
    void handover_and_results(Model& s, ResultFiles& files) override;
    void cell_values(const Model& s, int i0, int i1, double* to) const override;
    bool all_finite(const Model& s) const override;
    void hand_over_grid(Model& s) const override;

private:
    // Old-level part of bb in column i.
    void bb_base_column(const MatrixdModule& md, double dt, int i);
    // The module's stored amounts of the converged step in column i.
    void hand_over_amounts(MatrixdModule& md, int i) const;
    // Columns i0..i1 of the field in element order (see StepSolver::cell_values).
    void gather_columns(int i0, int i1, double* to) const;

    wavefront::Layout layout_;
    wavefront::ZoneConstants zones_;
    wavefront::Batches batches_;
    wavefront::FieldBlock fields_;
    wavefront::SweepPipeline pipeline_;
    wavefront::SweepData data_;
    // The fields, columns 0..nx+1, in the field block (null where the run has no such matrix).
    double* c_ = nullptr;      // cnew
    double* o_ = nullptr;      // cold
    double* base1_ = nullptr;  // old-level part of bb's numerator; for component 1 bb itself
    double* base2_ = nullptr;
    double* ai1_ = nullptr;    // stored amounts of the latest sweep
    double* ai2_ = nullptr;    // (base1 and ai1 in the aquitard fields' rows: bound_at)
    static constexpr int kGatherColumns = 8;
    std::vector<double> column_values_;     // up to kGatherColumns columns for the result pass
    std::vector<std::string> column_lines_;  // the snapshot lines' ring, with a team
};

}  // namespace quilmar

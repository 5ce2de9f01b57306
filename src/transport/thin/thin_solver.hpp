#pragma once
// The fast path for thin grids: vertical cross-sections (one row), plan views (one layer)
// and stream tubes (one row, one layer). On such grids every x-line wavefront holds a
// single line, so the wavefront solver fills one lane of four; this solver fills them with
// the cells of a diagonal, or with the four components of the tube's cells (see
// thin_layout.hpp). It gives the same bits as the checked sweep in element order: every
// cell sees the same new and old neighbours and parent, and each lane does the operations
// of the scalar update in the same order. It serves the grids the wavefront solver is
// eligible for. With a team, the groups of lines of a cross-section or plan view are split
// among its members, each a diagonal behind the one before (see GroupRange); a stream tube
// sweeps on one thread.
#include <memory>
#include <vector>

#include "state/solver_options.hpp"
#include "transport/step_solver.hpp"
#include "transport/thin/lane_constants.hpp"
#include "transport/thin/thin_kernel_entry.hpp"
#include "transport/thin/thin_layout.hpp"
#include "transport/thread_team.hpp"
#include "transport/wavefront/field_block.hpp"
#include "transport/wavefront/layout.hpp"
#include "transport/wavefront/zone_constants.hpp"

namespace quilmar {

class ThinSolver final : public StepSolver {
public:
    // With release_unused, releases the element arrays that only the solver would read.
    ThinSolver(Model& s, const SolverOptions& options, bool release_unused = true);

    void begin_step(Model& s) override;
    void sweep(Model& s) override;
    void end_iterations(Model& s) override;
    // Of the model's grid only the well's cells are updated.
    void handover_and_results(Model& s, ResultFiles& files) override;
    void cell_values(const Model& s, int i0, int i1, double* to) const override;
    bool all_finite(const Model& s) const override;
    void hand_over_grid(Model& s) const override;

private:
    // The line of row j, layer k.
    int line_of(int j, int k) const { return layout_.shape() == thin::Shape::kPlan ? j : k; }
    // Element n of column i, line q.
    int element(int i, int q) const { return (i - 1) * nynz_ + layout_.line(q).elem; }
    bool bound(int q) const { return ai1_ && (layout_.line(q).bot || layout_.line(q).top); }
    bool embed(int q) const { return ai2_ && layout_.line(q).embed; }
    // Element n, component m of a module array: read directly where every element of the
    // grid lies within the arrays, otherwise by a checked access.
    template <class A>
    auto& element_value(A& a, int n, int m) const {
        return elements_covered_ ? a.data()[a.position(n, m)] : a(n, m);
    }

    wavefront::Layout wave_;  // numbers the slots of the zone constants' denominators
    thin::ThinLayout layout_;
    wavefront::ZoneConstants zones_;
    thin::LaneConstants lanes_;
    wavefront::FieldBlock fields_;
    thin::ThinSweepData data_;
    bool avx2_ = false;
    // The team (none for one member), and per member the diagonals finished in this sweep,
    // each on a cache line of its own, and the largest changes.
    std::unique_ptr<ThreadTeam> team_;
    struct alignas(64) Progress {
        int done = 0;
    };
    std::vector<Progress> progress_;
    std::vector<wavefront::LaneValues> member_emax_;
    int nynz_ = 1;
    // The element arrays of the module lie within their bounds for every element of the grid.
    bool elements_covered_ = false;
    double* c_ = nullptr;      // cnew
    double* o_ = nullptr;      // cold
    double* base1_ = nullptr;  // old-level part of bb's numerator; for component 1 bb itself
    double* base2_ = nullptr;
    double* ai1_ = nullptr;    // stored amounts of the latest sweep (null where the run has
    double* ai2_ = nullptr;    // no such matrix)
};

}  // namespace quilmar

#pragma once
// The mass budget of a step: where the mass of each component went between the end of the
// previous step and the end of this one, from the converged cell balance.
//
// Summed over all cells, the balance of component m over a step of length dt leaves only
// the terms at the domain's faces and the sources and sinks in the cells:
//   released - out_downstream - out_lateral - decayed_aquifer + produced_aquifer
//     - decayed_matrix + produced_matrix - change_aquifer - change_matrix = residual.
// The exchange between a cell and its matrix cancels: what the cell loses the matrix stores.
// Faces:
//   released        the source area of the upstream face (the cells of the source plane
//                   that the source sets for this component): the advected source water
//                   plus the dispersion between the source plane and the first column;
//   out_downstream  the last column's downstream face: advection and dispersion into the
//                   clean water beyond it;
//   out_lateral     dispersion into the clean water beyond the outer row, and back across
//                   the upstream face outside the source area. The centre plane (y = 0), the
//                   top and the base of the grid pass no flux; where an aquitard lies on the
//                   top or base, what crosses goes into the matrix and counts there.
// Decay and production act on the dissolved concentration, by the rates of the cell's zone.
// The residual is what the iteration leaves (each cell balances its neighbours' values of
// the moment it was updated, and a daughter's matrix production uses the parent's stored
// amount of the sweep before), plus rounding.
// All terms are masses over the step, doubled to the whole plume like the result files.
#include <array>
#include <functional>
#include <vector>

#include "results/budget_file.hpp"
#include "state/model.hpp"

namespace quilmar {

// Fills to[((i - i0) * ny * nz + (j - 1) * nz + (k - 1)) * kComponents + m - 1] with the
// converged, unrounded concentration of component m in cell (i, j, k), for the columns
// i0..i1.
using ColumnValues = std::function<void(int i0, int i1, double* to)>;

// The columns of the model's grid: cnew (new) or cold (old), by checked accesses.
ColumnValues model_columns(const Model& s, bool old_level = false);

class MassBudget {
public:
    // Takes the flow rates of the first and last columns (before a fast solver releases the
    // element arrays they come from) and the masses held at the start: in the aquifer from
    // cold, in the matrix from the old stored amounts. sourced[m]: component m has a source.
    MassBudget(const Model& s, BudgetFile& file, const std::array<bool, kComponents + 1>& sourced);

    // After the iterations of a step have converged, before the handover rounds the
    // concentrations: one pass over the cells (columns gives their concentrations) and the
    // matrix's stored amounts; writes the step's lines, one per component.
    void close_step(const Model& s, const ColumnValues& columns);

    // The terms of component m (1..4) of the last step closed.
    const BudgetTerms& terms(int m) const { return terms_[m]; }

private:
    // Per component: the sums of one pass over the grid.
    struct Sums {
        double zone_c[kComponents + 1][4] = {};  // aquifer concentrations by reaction zone
        double zone_w[kComponents + 1][4] = {};  // matrix water amounts by zone: porm A I
        double matrix[kComponents + 1] = {};     // matrix mass: retardm porm A I
        double down[kComponents + 1] = {};       // (flow + Gx) c of the last column
        double row[kComponents + 1] = {};        // c of the outer row
        double up_out[kComponents + 1] = {};     // c of the first column outside the source area
        double up_in[kComponents + 1] = {};      // flow c0 + Gx (c0 - c) over the source area
    };
    class MatrixReader;
    void sum_grid(const Model& s, const ColumnValues& columns, bool old_level, Sums& sums);
    void face_sums(const Model& s, int i, const double* col, Sums& sums) const;
    double aquifer_mass(const Model& s, const Sums& sums, int m) const;

    BudgetFile& file_;
    std::array<bool, kComponents + 1> sourced_;
    int nx_ = 0, ny_ = 0, nz_ = 0;
    double gx_ = 0, gy_ = 0;
    std::vector<int> zone_;            // [i]
    bool zone_present_[4] = {};        // [zone] some column lies in it
    std::vector<double> flow_first_;   // [jk] advective flow rate into the first column
    std::vector<double> flow_last_;    // [jk] and out of the last
    std::vector<char> source_cell_;    // [jk] the source plane's cell is in the source area
    std::vector<double> values_;       // a few columns' concentrations
    double held_aquifer_[kComponents + 1] = {};  // at the end of the last step closed
    double held_matrix_[kComponents + 1] = {};
    BudgetTerms terms_[kComponents + 1];
};

}  // namespace quilmar

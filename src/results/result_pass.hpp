#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "results/result_files.hpp"
#include "state/model.hpp"
#include "state/zones.hpp"

namespace quilmar {

// End-of-step handover and results: cold takes the converged cnew, values of cnew below
// 1e-20 (negatives included) become 0; then per column the discharge line, at snapshot
// steps the concentration field, and the well and plume-mass lines.
void handover_and_results(Model& s, ResultFiles& files);

// Pieces shared with the wavefront solver's result pass.

// Mass of a component in the matrices of one element: only the matrices the element has
// count (a bounding layer on each active face, embedded material if present).
inline double matrix_mass_value(bool top, bool bot, bool embed, double porm, double amd1, double amd2,
                                double retardm, double ainew1, double ainew2) {
    const double bounding = porm * amd1 * retardm * ainew1;
    const double embedded = porm * amd2 * retardm * ainew2;
    double mass;
    if (top || bot)
        mass = embed ? bounding + embedded : bounding;
    else
        mass = embed ? embedded : 0.0;
    // Both faces of a one-layer grid hold the same profile.
    if (top && bot) mass = mass + bounding;
    return mass;
}

// One line of discharge.out; discharge indexed 1..4.
void append_discharge_line(std::string& line, double atime, double x, const double* discharge);
// The parts of a Quilmar.out line: time and x, then y and z each as ", " and its field, then
// the concentrations c[1..4].
void append_quilmar_time_x(std::string& line, double atime, double x);
void append_quilmar_coordinate(std::string& line, double v);
void append_quilmar_values(std::string& line, const double* c);

// The leading fields of the concentration-field lines of one snapshot (time, x, y, z). A
// snapshot repeats the time on every line, x on every line of a column, y and z on every
// column; each is formatted once.
class SnapshotHeads {
public:
    SnapshotHeads(const Deck& dk, double atime);
    void column(double x);                               // the lines that follow are in the column at x
    void append(std::string& line, int j, int k) const;  // time, x, y and z of cell (., j, k)

private:
    double atime_;
    std::vector<std::string> y_, z_;  // [j], [k]: ", " and the coordinate's field
    std::string time_x_;              // of the current column
};

// After the cells: resets the snapshot counter, writes the well line and the plume-mass line
// (the sums doubled to the whole plume).
void finish_step_results(Model& s, ResultFiles& files);

// The matrix mass of element n, component m (before the 1e-20 clipping), by checked
// accesses.
struct CheckedMatrixMass {
    const MatrixdModule& md;
    double operator()(int n, int m) const {
        return matrix_mass_value(md.mdtop(n) == 1, md.mdbot(n) == 1, md.mdembed(n) == 1, md.porm(n), md.amd1(n),
                                 md.amd2(n), md.retardm(n, m), md.ainew1(n, m), md.ainew2(n, m));
    }
};

// The same value read straight from the arrays, for a pass whose elements 1..nmax are
// known to lie inside them (see fits). An element without a matrix holds none, and its
// arrays are not read.
class DirectMatrixMass {
public:
    explicit DirectMatrixMass(const MatrixdModule& md);
    // True if every access for elements 1..nmax and components 1..4 would pass the checks.
    static bool fits(const MatrixdModule& md, int nmax);
    double operator()(int n, int m) const {
        const std::ptrdiff_t e = e0_ + n;
        const bool top = top_[e] == 1, bot = bot_[e] == 1, embed = embed_[e] == 1;
        if (!top && !bot && !embed) return 0.0;
        const std::ptrdiff_t nm = nm0_ + n * n_stride_ + m * m_stride_;
        return matrix_mass_value(top, bot, embed, porm_[e], amd1_[e], amd2_[e], retardm_[nm], ainew1_[nm],
                                 ainew2_[nm]);
    }

private:
    const int *top_, *bot_, *embed_;
    const double *porm_, *amd1_, *amd2_;
    const double *retardm_, *ainew1_, *ainew2_;
    std::ptrdiff_t e0_, nm0_;  // positions of element 0 (and component 0)
    std::ptrdiff_t n_stride_, m_stride_;
};

// Whether this step writes the concentration field (Quilmar.out).
inline bool snapshot_step(const Model& s) { return s.nprint == s.deck.npt; }

// The concentration-field lines of a snapshot step, formatted cell by cell as the result
// pass reaches them.
class SnapshotLines {
public:
    SnapshotLines(const Deck& dk, double atime) : heads_(dk, atime) {}
    void column(LineFile&, int, double x) { heads_.column(x); }
    void cell(LineFile& quilmar, int j, int k, const double* c) {
        line_.clear();
        heads_.append(line_, j, k);
        append_quilmar_values(line_, c);
        quilmar.write_line(line_);
    }

private:
    SnapshotHeads heads_;
    std::string line_;
};

// The result pass over the cells in element order: discharge per column, the cell masses
// with their 1e-20 clipping, the snapshot lines, then the well and plume-mass lines.
// cell_values(i, j, k, c) hands over cell (i, j, k) if the caller has not yet done so and
// fills c[1..4] with its concentrations as the handover left them; matrix_mass(n, m) gives
// an element's matrix mass; snapshot (at snapshot steps only, otherwise null) writes the
// concentration-field lines: column(file, i, x) before the cells of column i, cell(file,
// j, k, c) for each of them.
template <class CellValues, class MatrixMass, class Snapshot>
void write_step_results(Model& s, ResultFiles& files, CellValues&& cell_values, const MatrixMass& matrix_mass,
                        Snapshot* snapshot) {
    const Deck& dk = s.deck;
    const double volh = s.tc.volh;
    // Factors of the sums, formed as the sums' expressions form them.
    const double flux = 2.0 * dk.vd * dk.dz * dk.dy;
    double storage[kComponents + 1] = {};
    for (int m = 1; m <= kComponents; ++m) storage[m] = dk.retardf(m) * (dk.porf * volh);
    double lo_sum[kComponents + 1] = {}, hi_sum[kComponents + 1] = {};
    for (int m = 1; m <= kComponents; ++m) {
        lo_sum[m] = s.mass.lo[m];
        hi_sum[m] = s.mass.hi[m];
    }
    std::string line;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i) {
        double discharge[kComponents + 1] = {};
        const double x = cell_centre(i, dk.dx);
        if (snapshot) snapshot->column(files.quilmar, i, x);
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                double c[kComponents + 1] = {};
                cell_values(i, j, k, c);
                for (int m = 1; m <= kComponents; ++m) discharge[m] = discharge[m] + flux * c[m];
                for (int m = 1; m <= kComponents; ++m) {
                    double lo = matrix_mass(n, m);
                    double hi = storage[m] * c[m];
                    if (lo < kNegligible) lo = 0.0;
                    if (hi < kNegligible) hi = 0.0;
                    lo_sum[m] = lo_sum[m] + lo;
                    hi_sum[m] = hi_sum[m] + hi;
                }
                if (snapshot) snapshot->cell(files.quilmar, j, k, c);
            }
        line.clear();
        append_discharge_line(line, s.atime, x, discharge);
        files.discharge.write_line(line);
    }
    for (int m = 1; m <= kComponents; ++m) {
        s.mass.lo[m] = lo_sum[m];
        s.mass.hi[m] = hi_sum[m];
    }
    finish_step_results(s, files);
}

// Calls pass(snapshot) with the lines formatted cell by cell at a snapshot step, with null
// at the other steps.
template <class Pass>
void with_snapshot_lines(const Model& s, Pass&& pass) {
    if (!snapshot_step(s)) return pass(static_cast<SnapshotLines*>(nullptr));
    SnapshotLines lines(s.deck, s.atime);
    pass(&lines);
}

// The pass with the snapshot lines formatted cell by cell.
template <class CellValues, class MatrixMass>
void write_step_results(Model& s, ResultFiles& files, CellValues&& cell_values, const MatrixMass& matrix_mass) {
    with_snapshot_lines(s, [&](auto* snapshot) { write_step_results(s, files, cell_values, matrix_mass, snapshot); });
}

// The fast path's result pass: the matrix masses read directly where the element range
// allows it, otherwise by checked accesses (which then stop the run at the first element
// outside). snapshot as above.
template <class CellValues, class Snapshot>
void write_step_results_direct(Model& s, ResultFiles& files, CellValues&& cell_values, Snapshot* snapshot) {
    const int nmax = s.deck.nx * s.deck.ny * s.deck.nz;
    if (DirectMatrixMass::fits(s.md, nmax))
        write_step_results(s, files, cell_values, DirectMatrixMass(s.md), snapshot);
    else
        write_step_results(s, files, cell_values, CheckedMatrixMass{s.md}, snapshot);
}

}  // namespace quilmar

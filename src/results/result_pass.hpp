#pragma once
#include <string>

#include "results/result_files.hpp"
#include "state/model.hpp"
#include "transport/zones.hpp"

namespace quilmar {

// End-of-step handover and results: cold takes the converged cnew, values of cnew below
// 1e-20 (negatives included) become 0; then per column the discharge line, at snapshot
// steps the concentration field, and the well and plume-mass lines.
void handover_and_results(Model& s, ResultFiles& files);

// Pieces shared with the wavefront solver's result pass.

// Mass of a component in the matrices of one element: only the matrices the element has
// count (a bounding layer on each active face, embedded material if present).
double matrix_mass_value(bool top, bool bot, bool embed, double porm, double amd1, double amd2, double retardm,
                         double ainew1, double ainew2);

// One line of Quilmar.out and of discharge.out; c and discharge indexed 1..4.
void append_quilmar_line(std::string& line, double atime, double x, double y, double z, const double* c);
void append_discharge_line(std::string& line, double atime, double x, const double* discharge);

// After the cells: resets the snapshot counter, writes the well line and the plume-mass line
// (the sums doubled to the whole plume).
void finish_step_results(Model& s, ResultFiles& files);

// The result pass over the cells in element order: discharge per column, the cell masses
// with their 1e-20 clipping, the snapshot lines, then the well and plume-mass lines.
// cell_values(i, j, k, c) hands over cell (i, j, k) if the caller has not yet done so and
// fills c[1..4] with its concentrations as the handover left them.
template <class CellValues>
void write_step_results(Model& s, ResultFiles& files, CellValues&& cell_values) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    const double volh = s.tc.volh;
    const bool snapshot = s.nprint == dk.npt;
    std::string line;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i) {
        double discharge[kComponents + 1] = {};
        const double x = cell_centre(i, dk.dx);
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                double c[kComponents + 1] = {};
                cell_values(i, j, k, c);
                for (int m = 1; m <= kComponents; ++m)
                    discharge[m] = discharge[m] + 2.0 * dk.vd * dk.dz * dk.dy * c[m];
                for (int m = 1; m <= kComponents; ++m) {
                    double lo = matrix_mass_value(md.mdtop(n) == 1, md.mdbot(n) == 1, md.mdembed(n) == 1, md.porm(n),
                                                  md.amd1(n), md.amd2(n), md.retardm(n, m), md.ainew1(n, m),
                                                  md.ainew2(n, m));
                    double hi = dk.retardf(m) * (dk.porf * volh) * c[m];
                    if (lo < kNegligible) lo = 0.0;
                    if (hi < kNegligible) hi = 0.0;
                    s.mass.lo[m] = s.mass.lo[m] + lo;
                    s.mass.hi[m] = s.mass.hi[m] + hi;
                }
                if (snapshot) {
                    line.clear();
                    append_quilmar_line(line, s.atime, x, cell_centre(j, dk.dy), cell_centre(k, dk.dz), c);
                    files.quilmar.write_line(line);
                }
            }
        line.clear();
        append_discharge_line(line, s.atime, x, discharge);
        files.discharge.write_line(line);
    }
    finish_step_results(s, files);
}

}  // namespace quilmar

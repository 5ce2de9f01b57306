#include "results/result_pass.hpp"

#include <string>

#include "results/format.hpp"
#include "transport/zones.hpp"

namespace quilmar {
namespace {

void handover_cell(Model& s, int i, int j, int k) {
    for (int m = 1; m <= kComponents; ++m) s.cold(m, i, j, k) = s.cnew(m, i, j, k);
    for (int m = 1; m <= kComponents; ++m)
        if (s.cnew(m, i, j, k) < kNegligible) s.cnew(m, i, j, k) = 0.0;
}

// Mass of component m in the matrices of element n: only the matrices the element has
// count (a bounding layer on each active face, embedded material if present).
double matrix_mass(const MatrixdModule& md, int n, int m) {
    const bool top = md.mdtop(n) == 1;
    const bool bot = md.mdbot(n) == 1;
    const double bounding = md.porm(n) * md.amd1(n) * md.retardm(n, m) * md.ainew1(n, m);
    const double embedded = md.porm(n) * md.amd2(n) * md.retardm(n, m) * md.ainew2(n, m);
    double mass;
    if (top || bot)
        mass = md.mdembed(n) == 1 ? bounding + embedded : bounding;
    else
        mass = md.mdembed(n) == 1 ? embedded : 0.0;
    if (top && bot) mass = mass + bounding;
    return mass;
}

}  // namespace

void handover_and_results(Model& s, ResultFiles& files) {
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
                handover_cell(s, i, j, k);
                for (int m = 1; m <= kComponents; ++m)
                    discharge[m] = discharge[m] + 2.0 * dk.vd * dk.dz * dk.dy * s.cnew(m, i, j, k);
                for (int m = 1; m <= kComponents; ++m) {
                    double lo = matrix_mass(md, n, m);
                    double hi = dk.retardf(m) * (dk.porf * volh) * s.cnew(m, i, j, k);
                    if (lo < kNegligible) lo = 0.0;
                    if (hi < kNegligible) hi = 0.0;
                    s.mass.lo[m] = s.mass.lo[m] + lo;
                    s.mass.hi[m] = s.mass.hi[m] + hi;
                }
                if (snapshot) {
                    line.clear();
                    append_fixed(line, s.atime, 10, 5);
                    line += ',';
                    append_fixed(line, x, 8, 3);
                    line += ", ";
                    append_fixed(line, cell_centre(j, dk.dy), 8, 3);
                    line += ", ";
                    append_fixed(line, cell_centre(k, dk.dz), 8, 3);
                    for (int m = 1; m <= kComponents; ++m) {
                        line += ", ";
                        append_exp(line, s.cnew(m, i, j, k), 12, 5);
                    }
                    files.quilmar.write_line(line);
                }
            }
        line.clear();
        append_fixed(line, s.atime, 8, 3);
        line += ", ";
        append_fixed(line, x, 8, 3);
        for (int m = 1; m <= kComponents; ++m) {
            line += ", ";
            append_exp(line, discharge[m], 12, 5);
        }
        files.discharge.write_line(line);
    }
    if (snapshot) s.nprint = 0;

    const WellCells& w = s.well;
    line.clear();
    append_fixed(line, s.atime, 10, 5);
    for (int m = 1; m <= kComponents; ++m) {
        double wsum = 0.0;
        for (int k = w.kwellbot; k <= w.kwelltop; ++k) wsum = wsum + s.cnew(m, w.iwell, w.jwell, k);
        s.wellconc(m) = wsum / (w.kwelltop - w.kwellbot + 1);
        if (s.wellconc(m) < kNegligible) s.wellconc(m) = 0.0;
        line += ", ";
        append_exp(line, s.wellconc(m), 15, 8);
    }
    files.obs_well.write_line(line);

    line.clear();
    append_fixed(line, s.atime, 8, 3);
    for (int m = 1; m <= kComponents; ++m) {
        s.mass.lo[m] = 2.0 * s.mass.lo[m];
        s.mass.hi[m] = 2.0 * s.mass.hi[m];
        line += ", ";
        append_exp(line, s.mass.lo[m], 15, 8);
        line += ", ";
        append_exp(line, s.mass.hi[m], 15, 8);
    }
    files.plume_mass.write_line(line);
}

}  // namespace quilmar

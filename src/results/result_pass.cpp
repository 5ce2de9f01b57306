#include "results/result_pass.hpp"

#include <string>

#include "text/format.hpp"
#include "state/zones.hpp"

namespace quilmar {
namespace {

void handover_cell(Model& s, int i, int j, int k) {
    for (int m = 1; m <= kComponents; ++m) s.cold(m, i, j, k) = s.cnew(m, i, j, k);
    for (int m = 1; m <= kComponents; ++m)
        if (s.cnew(m, i, j, k) < kNegligible) s.cnew(m, i, j, k) = 0.0;
}

}  // namespace

DirectMatrixMass::DirectMatrixMass(const MatrixdModule& md)
    : top_(md.mdtop.data()),
      bot_(md.mdbot.data()),
      embed_(md.mdembed.data()),
      porm_(md.porm.data()),
      amd1_(md.amd1.data()),
      amd2_(md.amd2.data()),
      retardm_(md.retardm.data()),
      ainew1_(md.ainew1.data()),
      ainew2_(md.ainew2.data()),
      e0_(md.mdtop.position(0)),
      nm0_(md.retardm.position(0, 0)),
      n_stride_(md.retardm.stride(1)),
      m_stride_(md.retardm.stride(2)) {}

bool DirectMatrixMass::fits(const MatrixdModule& md, int nmax) {
    // Every array in range, and laid out alike, so that one position serves them all.
    const auto element = [&](const auto& a) {
        return a.covers(1, 1, nmax) && a.stride(1) == 1 && a.position(0) == md.mdtop.position(0);
    };
    const auto element_comp = [&](const ElementCompReal& a) {
        return a.covers(1, 1, nmax) && a.covers(2, 1, kComponents) && a.stride(1) == md.retardm.stride(1) &&
               a.stride(2) == md.retardm.stride(2) && a.position(0, 0) == md.retardm.position(0, 0);
    };
    return element(md.mdtop) && element(md.mdbot) && element(md.mdembed) && element(md.porm) && element(md.amd1) &&
           element(md.amd2) && element_comp(md.retardm) && element_comp(md.ainew1) && element_comp(md.ainew2);
}

void append_quilmar_time_x(std::string& line, double atime, double x) {
    append_fixed(line, atime, 10, 5);
    line += ',';
    append_fixed(line, x, 8, 3);
}

void append_quilmar_coordinate(std::string& line, double v) {
    line += ", ";
    append_fixed(line, v, 8, 3);
}

void append_quilmar_values(std::string& line, const double* c) {
    for (int m = 1; m <= kComponents; ++m) {
        line += ", ";
        append_exp(line, c[m], 12, 5);
    }
}

SnapshotHeads::SnapshotHeads(const Deck& dk, double atime) : atime_(atime), y_(dk.ny + 1), z_(dk.nz + 1) {
    for (int j = 1; j <= dk.ny; ++j) append_quilmar_coordinate(y_[static_cast<std::size_t>(j)], cell_centre(j, dk.dy));
    for (int k = 1; k <= dk.nz; ++k) append_quilmar_coordinate(z_[static_cast<std::size_t>(k)], cell_centre(k, dk.dz));
}

void SnapshotHeads::column(double x) {
    time_x_.clear();
    append_quilmar_time_x(time_x_, atime_, x);
}

void SnapshotHeads::append(std::string& line, int j, int k) const {
    line += time_x_;
    line += y_[static_cast<std::size_t>(j)];
    line += z_[static_cast<std::size_t>(k)];
}

void append_discharge_line(std::string& line, double atime, double x, const double* discharge) {
    append_fixed(line, atime, 8, 3);
    line += ", ";
    append_fixed(line, x, 8, 3);
    for (int m = 1; m <= kComponents; ++m) {
        line += ", ";
        append_exp(line, discharge[m], 12, 5);
    }
}

void handover_and_results(Model& s, ResultFiles& files) {
    // The reference path keeps every access checked, so that the fast path's direct reads
    // are compared against it.
    write_step_results(
        s, files,
        [&s](int i, int j, int k, double* c) {
            handover_cell(s, i, j, k);
            for (int m = 1; m <= kComponents; ++m) c[m] = s.cnew(m, i, j, k);
        },
        CheckedMatrixMass{s.md});
}

void finish_step_results(Model& s, ResultFiles& files) {
    if (s.nprint == s.deck.npt) s.nprint = 0;
    std::string line;
    const WellCells& w = s.well;
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

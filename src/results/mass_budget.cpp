#include "results/mass_budget.hpp"

#include <algorithm>
#include <cstddef>

#include "state/zones.hpp"

namespace quilmar {
namespace {

constexpr int kChunk = 8;  // columns read at a time

}  // namespace

ColumnValues model_columns(const Model& s, bool old_level) {
    return [&s, old_level](int i0, int i1, double* to) {
        const auto& grid = old_level ? s.cold : s.cnew;
        for (int i = i0; i <= i1; ++i)
            for (int j = 1; j <= s.deck.ny; ++j)
                for (int k = 1; k <= s.deck.nz; ++k)
                    for (int m = 1; m <= kComponents; ++m) *to++ = grid(m, i, j, k);
    };
}

MassBudget::MassBudget(const Model& s, BudgetFile& file, const std::array<bool, kComponents + 1>& sourced)
    : file_(file), sourced_(sourced) {
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    nx_ = std::max(0, dk.nx);
    ny_ = std::max(0, dk.ny);
    nz_ = std::max(0, dk.nz);
    // The conductances of the cell balance, formed as the sweep forms them.
    gx_ = tc.ayz * dk.porf * tc.dispx / dk.dx;
    gy_ = tc.axz * dk.porf * tc.dispt / dk.dy;
    const int nynz = ny_ * nz_;
    zone_.assign(static_cast<std::size_t>(nx_) + 1, 0);
    for (int i = 1; i <= nx_; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        zone_[static_cast<std::size_t>(i)] = z;
        zone_present_[z] = true;
    }
    flow_first_.assign(static_cast<std::size_t>(nynz), 0.0);
    flow_last_.assign(static_cast<std::size_t>(nynz), 0.0);
    source_cell_.assign(static_cast<std::size_t>(nynz), 0);
    if (nx_ >= 1)
        for (int j = 1; j <= ny_; ++j)
            for (int k = 1; k <= nz_; ++k) {
                const int jk = (j - 1) * nz_ + (k - 1);
                // The advective flow rate follows the element's transmissive fraction.
                flow_first_[static_cast<std::size_t>(jk)] = (dk.vd / s.md.volfrac(jk + 1)) * tc.ayz;
                flow_last_[static_cast<std::size_t>(jk)] = (dk.vd / s.md.volfrac((nx_ - 1) * nynz + jk + 1)) * tc.ayz;
                source_cell_[static_cast<std::size_t>(jk)] =
                    j <= dk.lysource && k >= dk.lzsourcemin && k <= dk.lzsourcemax;
            }
    values_.assign(static_cast<std::size_t>(kChunk) * static_cast<std::size_t>(nynz) * kComponents, 0.0);
    Sums start;
    sum_grid(s, model_columns(s, true), true, start);
    for (int m = 1; m <= kComponents; ++m) {
        held_aquifer_[m] = aquifer_mass(s, start, m);
        held_matrix_[m] = start.matrix[m];
    }
}

void MassBudget::sum_grid(const Model& s, const ColumnValues& columns, bool old_level, Sums& sums) {
    const MatrixdModule& md = s.md;
    const ElementCompReal& amount1 = old_level ? md.aiold1 : md.ainew1;
    const ElementCompReal& amount2 = old_level ? md.aiold2 : md.ainew2;
    const int nynz = ny_ * nz_;
    for (int i0 = 1; i0 <= nx_; i0 += kChunk) {
        const int i1 = std::min(nx_, i0 + kChunk - 1);
        columns(i0, i1, values_.data());
        for (int i = i0; i <= i1; ++i) {
            const int z = zone_[static_cast<std::size_t>(i)];
            const double* col = values_.data() + static_cast<std::size_t>(i - i0) * nynz * kComponents;
            for (int jk = 0; jk < nynz; ++jk) {
                const double* c = col + static_cast<std::size_t>(jk) * kComponents;
                for (int m = 1; m <= kComponents; ++m) sums.zone_c[m][z] += c[m - 1];
                // The faces: the first and last columns and the outer row.
                if (!old_level) {
                    const int j = jk / nz_ + 1, k = jk % nz_ + 1;
                    for (int m = 1; m <= kComponents; ++m) {
                        const double cm = c[m - 1];
                        if (i == nx_) sums.down[m] += (flow_last_[static_cast<std::size_t>(jk)] + gx_) * cm;
                        if (j == ny_) sums.row[m] += cm;
                        if (i != 1) continue;
                        if (sourced_[static_cast<std::size_t>(m)] && source_cell_[static_cast<std::size_t>(jk)]) {
                            const double c0 = s.cnew(m, 0, j, k);
                            sums.up_in[m] += flow_first_[static_cast<std::size_t>(jk)] * c0 + gx_ * (c0 - cm);
                        } else {
                            sums.up_out[m] += cm;
                        }
                    }
                }
                // The element's matrices: a bounding layer on each active face, embedded
                // material if present, as the cell's exchange counts them.
                const int n = (i - 1) * nynz + jk + 1;
                const bool top = md.mdtop(n) == 1, bot = md.mdbot(n) == 1, embed = md.mdembed(n) == 1;
                if (!top && !bot && !embed) continue;
                for (int m = 1; m <= kComponents; ++m) {
                    double w = 0.0;
                    if (embed) w += md.porm(n) * md.amd2(n) * amount2(n, m);
                    if (bot) w += md.porm(n) * md.amd1(n) * amount1(n, m);
                    if (top) w += md.porm(n) * md.amd1(n) * amount1(n, m);
                    sums.zone_w[m][z] += w;
                    sums.matrix[m] += md.retardm(n, m) * w;
                }
            }
        }
    }
}

double MassBudget::aquifer_mass(const Model& s, const Sums& sums, int m) const {
    double c = 0.0;
    for (int z = 1; z <= 3; ++z) c += sums.zone_c[m][z];
    return s.deck.retardf(m) * (s.deck.porf * s.tc.volh) * c;
}

void MassBudget::close_step(const Model& s, const ColumnValues& columns) {
    const Deck& dk = s.deck;
    const double dt = dk.dt;
    const double pv = dk.porf * s.tc.volh;
    Sums now;
    sum_grid(s, columns, false, now);
    // Decay by the rates of each zone, in the aquifer (decayf) and in the matrix (decayms);
    // the daughter's production by its yield and the parent's rate in the same zone.
    auto by_zone = [&](const ZoneTable& rate, int m, const double (*sums)[4]) {
        double r = 0.0;
        for (int z = 1; z <= 3; ++z)
            if (zone_present_[z]) r += rate(m, z, 1) * sums[m][z];
        return r;
    };
    for (int m = 1; m <= kComponents; ++m) {
        BudgetTerms t;
        t.released = dt * now.up_in[m];
        t.out_downstream = dt * now.down[m];
        t.out_lateral = dt * (gy_ * now.row[m] + gx_ * now.up_out[m]);
        t.decayed_aquifer = dt * pv * by_zone(dk.decayf, m, now.zone_c);
        t.decayed_matrix = dt * by_zone(dk.decayms, m, now.zone_w);
        if (m >= 2) {
            t.produced_aquifer = dt * dk.yieldf(m) * pv * by_zone(dk.decayf, m - 1, now.zone_c);
            t.produced_matrix = dt * dk.yieldms(m) * by_zone(dk.decayms, m - 1, now.zone_w);
        }
        const double held_aquifer = aquifer_mass(s, now, m);
        t.change_aquifer = held_aquifer - held_aquifer_[m];
        t.change_matrix = now.matrix[m] - held_matrix_[m];
        held_aquifer_[m] = held_aquifer;
        held_matrix_[m] = now.matrix[m];
        t.residual = t.released - t.out_downstream - t.out_lateral - t.decayed_aquifer + t.produced_aquifer -
                     t.decayed_matrix + t.produced_matrix - t.change_aquifer - t.change_matrix;
        // The grid is half of a plume symmetric about y = 0.
        for (double* v : {&t.released, &t.out_downstream, &t.out_lateral, &t.decayed_aquifer, &t.produced_aquifer,
                          &t.decayed_matrix, &t.produced_matrix, &t.change_aquifer, &t.change_matrix, &t.residual})
            *v = 2.0 * *v;
        terms_[m] = t;
        file_.write(s.atime, m, t);
    }
}

}  // namespace quilmar

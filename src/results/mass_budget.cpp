#include "results/mass_budget.hpp"

#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "state/zones.hpp"

namespace quilmar {
namespace {

constexpr int kChunk = 8;  // columns read at a time

}  // namespace

// The stored amounts of the elements' matrices, read directly: every element and
// component in range is checked once, and an array out of range (or released) stops the run
// as a checked access would.
class MassBudget::MatrixReader {
public:
    MatrixReader(const MatrixdModule& md, int nmax, bool old_level)
        : top_(md.mdtop), bot_(md.mdbot), embed_(md.mdembed), porm_(md.porm), amd1_(md.amd1), amd2_(md.amd2),
          retardm_(md.retardm), amount1_(old_level ? md.aiold1 : md.ainew1),
          amount2_(old_level ? md.aiold2 : md.ainew2) {
        if (nmax < 1) return;
        for (const ElementInt* a : {&top_, &bot_, &embed_}) in_range(*a, nmax);
        for (const ElementReal* a : {&porm_, &amd1_, &amd2_}) in_range(*a, nmax);
        for (const ElementCompReal* a : {&retardm_, &amount1_, &amount2_}) in_range(*a, nmax);
    }

    // The matrices of column i's elements: a bounding layer on each active face, embedded
    // material if present, as the cell's exchange counts them.
    void add_column(int i, int nynz, int z, Sums& sums) const {
        for (int n = (i - 1) * nynz + 1; n <= i * nynz; ++n) {
            const bool top = flag(top_, n), bot = flag(bot_, n), embed = flag(embed_, n);
            if (!top && !bot && !embed) continue;
            const double porm = at(porm_, n), amd1 = at(amd1_, n), amd2 = at(amd2_, n);
            for (int m = 1; m <= kComponents; ++m) {
                double w = 0.0;
                if (embed) w += porm * amd2 * at(amount2_, n, m);
                if (bot) w += porm * amd1 * at(amount1_, n, m);
                if (top) w += porm * amd1 * at(amount1_, n, m);
                sums.zone_w[m][z] += w;
                sums.matrix[m] += at(retardm_, n, m) * w;
            }
        }
    }

private:
    template <class A>
    static void in_range(const A& a, int nmax) {
        if constexpr (std::is_same_v<A, ElementCompReal>) {
            if (!a.covers(1, 1, nmax) || !a.covers(2, 1, kComponents)) {
                (void)a(1, 1);
                (void)a(nmax, kComponents);
            }
        } else if (!a.covers(1, 1, nmax)) {
            (void)a(1);
            (void)a(nmax);
        }
    }
    static bool flag(const ElementInt& a, int n) { return a.data()[a.position(n)] == 1; }
    static double at(const ElementReal& a, int n) { return a.data()[a.position(n)]; }
    static double at(const ElementCompReal& a, int n, int m) { return a.data()[a.position(n, m)]; }

    const ElementInt &top_, &bot_, &embed_;
    const ElementReal &porm_, &amd1_, &amd2_;
    const ElementCompReal &retardm_, &amount1_, &amount2_;
};

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
    const int nynz = ny_ * nz_;
    const MatrixReader matrix(s.md, nx_ * nynz, old_level);
    for (int i0 = 1; i0 <= nx_; i0 += kChunk) {
        const int i1 = std::min(nx_, i0 + kChunk - 1);
        columns(i0, i1, values_.data());
        for (int i = i0; i <= i1; ++i) {
            const int z = zone_[static_cast<std::size_t>(i)];
            const double* col = values_.data() + static_cast<std::size_t>(i - i0) * nynz * kComponents;
            double column[kComponents] = {};
            for (int jk = 0; jk < nynz; ++jk)
                for (int m = 0; m < kComponents; ++m) column[m] += col[jk * kComponents + m];
            for (int m = 1; m <= kComponents; ++m) sums.zone_c[m][z] += column[m - 1];
            if (!old_level) face_sums(s, i, col, sums);
            matrix.add_column(i, nynz, z, sums);
        }
    }
}

// The faces of column i: the upstream face of the first, the downstream face of the last,
// and the outer row's.
void MassBudget::face_sums(const Model& s, int i, const double* col, Sums& sums) const {
    const int nynz = ny_ * nz_;
    if (nynz < 1) return;
    for (int jk = (ny_ - 1) * nz_; jk < nynz; ++jk)
        for (int m = 1; m <= kComponents; ++m) sums.row[m] += col[jk * kComponents + m - 1];
    if (i == nx_)
        for (int jk = 0; jk < nynz; ++jk)
            for (int m = 1; m <= kComponents; ++m)
                sums.down[m] += (flow_last_[static_cast<std::size_t>(jk)] + gx_) * col[jk * kComponents + m - 1];
    if (i != 1) return;
    for (int jk = 0; jk < nynz; ++jk)
        for (int m = 1; m <= kComponents; ++m) {
            const double c = col[jk * kComponents + m - 1];
            if (sourced_[static_cast<std::size_t>(m)] && source_cell_[static_cast<std::size_t>(jk)]) {
                const double c0 = s.cnew(m, 0, jk / nz_ + 1, jk % nz_ + 1);
                sums.up_in[m] += flow_first_[static_cast<std::size_t>(jk)] * c0 + gx_ * (c0 - c);
            } else {
                sums.up_out[m] += c;
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

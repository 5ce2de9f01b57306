// Mass conservation. From the result files: what the source releases equals what the
// plume and the matrix hold plus what has left through the last column. In-process, to
// the iteration tolerance: the finite-volume budget of every component in every step, with
// dispersion through every boundary, decay and the production of the daughters, as the
// program's own budget (budget.out) states it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/run_support.hpp"

namespace quilmar::testing {
namespace {

// 12 x 3 x 2 cells of 1 m; a source of two conservative components over rows 1-2 of the
// bottom layer with constant concentrations (gamma 0, a mass that cannot run out).
// Along x pure upwind advection (alphax below dx/2) and no transverse dispersion, so that
// nothing crosses the upstream face but the advected source water and nothing leaves by
// the outer side; vertical dispersion mixes the two layers. 20 steps: the plume reaches
// the last column and leaves through it.
Deck conservative_deck() {
    Deck d = DeckBuilder().constant_source(1, 5.0).constant_source(2, 2.0).source_cells(2, 1, 1).flow(1.0, 0.3)
                 .dispersion(0.4, 0.0, 0.5, 0.0).grid(12, 3, 2).cells(1.0, 1.0, 1.0).steps(0.5, 20, 100)
                 .convergence(1e-12, 500).take();
    d.retardf(1) = 2.0;
    d.retardf(2) = 1.0;
    d.xwell = 0.5;
    return d;
}

struct Budget {
    double released, in_plume, in_matrix, discharged;
};

// Released: Q csource per step (Q = vd times the whole source cross-section); held: the
// doubled sums of the last plume_mass.out line; discharged: the discharge through the last
// column over each step (backward Euler: the end-of-step concentration for the whole step).
Budget budget_of(RunResult& r, const Deck& d, int m, double csource) {
    const double q = d.vd * 2 * (d.lysource * d.dy) * ((d.lzsourcemax - d.lzsourcemin + 1) * d.dz);
    Budget b{d.nt * d.dt * q * csource, 0, 0, 0};
    const auto mass = data_rows(r.files["plume_mass.out"]);
    b.in_matrix = mass.back()[2 * m - 1];
    b.in_plume = mass.back()[2 * m];
    const auto discharge = data_rows(r.files["discharge.out"]);
    for (std::size_t row = d.nx - 1; row < discharge.size(); row += d.nx) b.discharged += d.dt * discharge[row][1 + m];
    return b;
}

TEST(MassConservation, ReleasedEqualsHeldPlusDischarged) {
    Deck d = conservative_deck();
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int m : {1, 2}) {
        const Budget b = budget_of(r, d, m, d.czero(m));
        EXPECT_EQ(b.in_matrix, 0.0);
        EXPECT_GT(b.discharged, 0.05 * b.released);  // the plume has reached the outlet
        // Discharges are written with 5 significant digits, masses with 8.
        EXPECT_NEAR(b.in_plume + b.discharged, b.released, 2e-5 * b.released) << "component " << m;
    }
}

TEST(MassConservation, MatrixTakesUpWhatThePlumeLoses) {
    // Bounding layers on both faces of a single layer (code 4), and bounding plus embedded
    // material on two layers (code 7): the exchange moves mass between cell and matrix
    // without creating or losing any.
    for (int code : {4, 7}) {
        Deck d = DeckBuilder(conservative_deck()).matrix(code, code == 4 ? 1.0 : 0.8, 0.1)
                     .matrix_material(0.4, 0.5, 0.2).grid(12, 3, code == 4 ? 1 : 2).take();
        d.retardms(1) = 3.0;
        d.retardms(2) = 1.5;
        TempDir dir;
        RunResult r = run_program(deck_text(d), dir);
        ASSERT_EQ(r.status, 0) << r.err;
        for (int m : {1, 2}) {
            const Budget b = budget_of(r, d, m, d.czero(m));
            EXPECT_GT(b.in_matrix, 0.05 * b.released) << "code " << code;
            EXPECT_NEAR(b.in_plume + b.in_matrix + b.discharged, b.released, 2e-5 * b.released)
                << "code " << code << " component " << m;
        }
    }
}

// A 3-D plume with dispersion in all three directions, three reaction zones and the whole
// chain decaying with yields, run step by step in-process.
Deck chain_deck() {
    Deck d = DeckBuilder().source(1, 4.0, 800.0).source(3, 1.0, 50.0).source_cells(2, 1, 2).flow(1.0, 0.3)
                 .dispersion(1.5, 0.3, 0.1, 0.5).zones(4.0, 9.0).grid(12, 4, 3).cells(1.0, 1.0, 1.0)
                 .convergence(1e-13, 5000).take();
    d.gamma = 0.8;
    d.rates = 0.05;
    d.diffs = 0.05;
    const double retard[] = {0, 2.0, 1.5, 1.2, 1.0};
    const double yield[] = {0, 0, 0.8, 0.7, 0.6};
    for (int m = 1; m <= 4; ++m) {
        d.retardf(m) = retard[m];
        d.yieldf(m) = yield[m];
        for (int z = 1; z <= 3; ++z) d.decayf(m, z, 1) = 0.02 * m + 0.1 * (z - 1) * (m % 2 + 1);
    }
    d.xwell = 0.5;
    return d;
}

// The columns of budget.out by name.
enum BudgetColumn {
    kTime, kComponent, kReleased, kOutDownstream, kOutLateral, kDecayedAquifer, kProducedAquifer, kDecayedMatrix,
    kProducedMatrix, kChangeAquifer, kChangeMatrix, kResidual
};

// The largest |residual| of a run against the largest term of its budget, and the sums of
// every term over the run per component ([m][column]).
struct BudgetSummary {
    double worst = 0;
    double total[5][kResidual + 1] = {};
};

BudgetSummary summarise(const std::vector<std::vector<double>>& rows) {
    BudgetSummary b;
    double scale = 0;
    for (const auto& r : rows) {
        const int m = static_cast<int>(r[kComponent]);
        for (int c = kReleased; c <= kResidual; ++c) {
            b.total[m][c] += r[c];
            if (c != kResidual) scale = std::max(scale, std::fabs(r[c]));
        }
        b.worst = std::max(b.worst, std::fabs(r[kResidual]));
    }
    b.worst /= scale;
    return b;
}

BudgetSummary budget_run(Deck& d, std::vector<std::vector<double>>* mass = nullptr) {
    TempDir dir;
    RunResult r = run_with_budget(deck_text(d), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto rows = data_rows(r.files["budget.out"]);
    EXPECT_EQ(rows.size(), 4u * d.nt);
    if (mass) *mass = data_rows(r.files["plume_mass.out"]);
    return summarise(rows);
}

// The program's budget closes in every step and component, to the tolerance, with
// dispersion through every face, decay in three zones and the chain's production.
void check_chain_budget() {
    Deck d = chain_deck();
    d.nt = 16;
    std::vector<std::vector<double>> mass;
    const BudgetSummary b = budget_run(d, &mass);
    EXPECT_LT(b.worst, 1e-11);
    // Component 2 has no source: all of it comes from the decay of component 1, and it
    // reaches the plume-mass file; component 4 likewise from 3.
    EXPECT_EQ(b.total[2][kReleased], 0.0);
    for (int m : {2, 4}) EXPECT_GT(b.total[m][kProducedAquifer], 0.0);
    EXPECT_GT(b.total[1][kOutLateral], 0.0);
    EXPECT_GT(b.total[1][kOutDownstream], 0.0);
    // What the budget says the aquifer gained is what the plume-mass file holds at the end.
    for (int m = 1; m <= 4; ++m)
        EXPECT_NEAR(b.total[m][kChangeAquifer], mass.back()[2 * m], 5e-8 * mass.back()[2 * m]) << m;
}

TEST(MassBudget, EveryComponentEveryStepWithDispersionDecayAndYields) { check_chain_budget(); }

TEST(MassBudget, SameOnTheCellByCellSweep) {
    const ReferenceSweep reference;
    check_chain_budget();
}

TEST(MassBudget, ResidualShrinksWithTheTolerance) {
    double before = 1.0;
    for (double tol : {1e-4, 1e-7, 1e-10}) {
        Deck d = chain_deck();
        d.tol = tol;
        const double worst = budget_run(d).worst;
        EXPECT_LT(worst, 0.1 * before) << "tol " << tol;
        before = worst;
    }
}

TEST(MassBudget, MatrixStoresWhatCrossesItsInterfaces) {
    // Both aquitard faces of a one-layer grid (code 4), and aquitards with embedded clay
    // (code 7), with decay and the chain's production in the matrix water.
    for (int code : {4, 7}) {
        Deck d = DeckBuilder(chain_deck()).matrix(code, code == 4 ? 1.0 : 0.8, 0.1).matrix_material(0.4, 0.5, 0.2)
                     .grid(12, 4, code == 4 ? 1 : 3).source_cells(2, 1, code == 4 ? 1 : 2).take();
        for (int m = 1; m <= 4; ++m) {
            d.retardms(m) = 1.0 + m;
            d.yieldms(m) = 0.7;
            for (int z = 1; z <= 3; ++z) d.decayms(m, z, 1) = 0.01 * m * z;
        }
        std::vector<std::vector<double>> mass;
        const BudgetSummary b = budget_run(d, &mass);
        EXPECT_LT(b.worst, 1e-11) << "code " << code;
        EXPECT_GT(b.total[1][kDecayedMatrix], 0.0);
        EXPECT_GT(b.total[2][kProducedMatrix], 0.0);
        for (int m = 1; m <= 4; ++m)
            EXPECT_NEAR(b.total[m][kChangeMatrix], mass.back()[2 * m - 1], 5e-8 * mass.back()[2 * m - 1]) << code;
    }
}

TEST(MassBudget, FacesOfTheConservativePlume) {
    // Upwind advection only along x, nothing across the outer row: the source area passes
    // Q csource per unit time, and the last column's outflow is its discharge.
    Deck d = conservative_deck();
    TempDir dir;
    RunResult r = run_with_budget(deck_text(d), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const double q = d.vd * 2 * (d.lysource * d.dy) * ((d.lzsourcemax - d.lzsourcemin + 1) * d.dz);
    const auto discharge = data_rows(r.files["discharge.out"]);
    const auto rows = data_rows(r.files["budget.out"]);
    for (std::size_t l = 0; l < rows.size(); ++l) {
        const int m = static_cast<int>(rows[l][kComponent]);
        const double outlet = d.dt * discharge[(l / 4) * d.nx + d.nx - 1][1 + m];
        EXPECT_NEAR(rows[l][kReleased], m <= 2 ? q * d.czero(m) * d.dt : 0.0, 1e-12 * q * d.dt) << l;
        EXPECT_EQ(rows[l][kOutLateral], 0.0);
        EXPECT_NEAR(rows[l][kOutDownstream], outlet, 5e-5 * std::fabs(outlet)) << l;  // 5 digits
    }
}

}  // namespace
}  // namespace quilmar::testing

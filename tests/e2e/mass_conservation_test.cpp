// Mass conservation. From the result files: what the source releases equals what the
// plume and the matrix hold plus what has left through the last column. In-process, to
// the iteration tolerance: the finite-volume budget of every component in every step, with
// dispersion through every boundary, decay and the production of the daughters.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/run_support.hpp"
#include "state/zones.hpp"

namespace quilmar::testing {
namespace {

// 12 x 3 x 2 cells of 1 m; a source of two conservative components over rows 1-2 of the
// bottom layer with constant concentrations (gamma 0, a mass that cannot run out).
// Along x pure upwind advection (alphax below dx/2) and no transverse dispersion, so that
// nothing crosses the upstream face but the advected source water and nothing leaves by
// the outer side; vertical dispersion mixes the two layers. 20 steps: the plume reaches
// the last column and leaves through it.
void conservative_deck(Deck& d) {
    set_small_scenario(d);
    d.czero(1) = 5.0;
    d.czero(2) = 2.0;
    d.tzeromass(1) = d.tzeromass(2) = 1e15;
    d.gamma = 0.0;
    d.lysource = 2;
    d.vd = 1.0;
    d.porf = 0.3;
    d.alphax = 0.4;
    d.alphat = 0.0;
    d.tortf = 0.0;
    d.alphav = 0.5;
    d.retardf(1) = 2.0;
    d.retardf(2) = 1.0;
    d.dx = 1.0;
    d.nx = 12;
    d.dt = 0.5;
    d.nt = 20;
    d.npt = 100;
    d.tol = 1e-12;
    d.xwell = 0.5;
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
    Deck d;
    conservative_deck(d);
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
        Deck d;
        conservative_deck(d);
        d.mdflags = code;
        d.nz = code == 4 ? 1 : 2;
        d.volfracs = code == 4 ? 1.0 : 0.8;
        d.difflens = 0.1;
        d.porms = 0.4;
        d.tortms = 0.5;
        d.diffs = 0.2;
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
void chain_deck(Deck& d) {
    set_small_scenario(d);
    d.czero(1) = 4.0;
    d.czero(3) = 1.0;
    d.tzeromass(1) = 800.0;
    d.tzeromass(3) = 50.0;
    d.gamma = 0.8;
    d.rates = 0.05;
    d.lysource = 2;
    d.lzsourcemin = 1;
    d.lzsourcemax = 2;
    d.vd = 1.0;
    d.porf = 0.3;
    d.alphax = 1.5;
    d.alphat = 0.3;
    d.alphav = 0.1;
    d.tortf = 0.5;
    d.diffs = 0.05;
    const double retard[] = {0, 2.0, 1.5, 1.2, 1.0};
    const double yield[] = {0, 0, 0.8, 0.7, 0.6};
    for (int m = 1; m <= 4; ++m) {
        d.retardf(m) = retard[m];
        d.yieldf(m) = yield[m];
        for (int z = 1; z <= 3; ++z) d.decayf(m, z, 1) = 0.02 * m + 0.1 * (z - 1) * (m % 2 + 1);
    }
    d.x1 = 4.0;
    d.x2 = 9.0;
    d.dx = 1.0;
    d.nx = 12;
    d.ny = 4;
    d.nz = 3;
    d.dt = 0.5;
    d.tol = 1e-13;
    d.maxit = 5000;
    d.xwell = 0.5;
}

void check_chain_budget();

TEST(MassBudget, EveryComponentEveryStepWithDispersionDecayAndYields) { check_chain_budget(); }

TEST(MassBudget, SameOnTheCellByCellSweep) {
    const ReferenceSweep reference;
    check_chain_budget();
}

void check_chain_budget() {
    Deck d;
    chain_deck(d);
    SteppedRun run(d);
    Model& s = run.model();
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    const double por_vol = dk.porf * tc.volh;
    const double f = dk.vd * tc.ayz;  // volfrac is 1 without embedded matrix
    const double gx = tc.ayz * dk.porf * tc.dispx / dk.dx;
    const double gy = tc.axz * dk.porf * tc.dispt / dk.dy;
    ASSERT_GT(gx, 0.0);
    ASSERT_GT(gy, 0.0);
    ASSERT_GT(tc.axy * dk.porf * tc.dispv / dk.dz, 0.0);
    const int nx = dk.nx, ny = dk.ny, nz = dk.nz;
    auto idx = [&](int m, int i, int j, int k) { return (((i - 1) * ny + (j - 1)) * nz + (k - 1)) * 4 + (m - 1); };
    std::vector<double> before(4 * nx * ny * nz, 0.0);
    double produced_total[5] = {};
    for (int step = 1; step <= 16; ++step) {
        run.step();
        // cold holds the converged concentrations of the step, unrounded.
        for (int m = 1; m <= 4; ++m) {
            double storage = 0, inflow = 0, outflow = 0, side = 0, decay = 0, production = 0;
            for (int i = 1; i <= nx; ++i) {
                const int zone = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
                for (int j = 1; j <= ny; ++j)
                    for (int k = 1; k <= nz; ++k) {
                        const double c = s.cold(m, i, j, k);
                        storage += dk.retardf(m) * por_vol * (c - before[idx(m, i, j, k)]) / dk.dt;
                        decay += por_vol * dk.decayf(m, zone, 1) * c;
                        if (m >= 2)
                            production += dk.yieldf(m) * por_vol * dk.decayf(m - 1, zone, 1) * s.cold(m - 1, i, j, k);
                        if (i == 1) inflow += f * s.cnew(m, 0, j, k) + gx * (s.cnew(m, 0, j, k) - c);
                        if (i == nx) outflow += f * c + gx * c;  // into the zero column
                        if (j == ny) side += gy * c;             // into the zero row
                    }
            }
            const double balance = inflow - outflow - side - decay + production;
            const double scale = std::fabs(inflow) + std::fabs(decay) + std::fabs(production) + 1e-30;
            EXPECT_NEAR(storage, balance, 1e-9 * scale) << "component " << m << " step " << step;
            produced_total[m] += production;
        }
        for (int m = 1; m <= 4; ++m)
            for (int i = 1; i <= nx; ++i)
                for (int j = 1; j <= ny; ++j)
                    for (int k = 1; k <= nz; ++k) before[idx(m, i, j, k)] = s.cold(m, i, j, k);
    }
    // Component 2 has no source: all of it comes from the decay of component 1, and it
    // reaches the plume-mass file; component 4 likewise from 3.
    EXPECT_GT(produced_total[2], 0.0);
    EXPECT_GT(produced_total[4], 0.0);
    const auto mass = data_rows(run.file("plume_mass.out"));
    EXPECT_GT(mass.back()[4], 0.0);
    EXPECT_GT(mass.back()[8], 0.0);
    // The transmissive mass in the file is the doubled sum of R porf volh c.
    double held2 = 0;
    for (int i = 1; i <= nx; ++i)
        for (int j = 1; j <= ny; ++j)
            for (int k = 1; k <= nz; ++k) held2 += 2 * dk.retardf(2) * por_vol * s.cnew(2, i, j, k);
    EXPECT_NEAR(mass.back()[4], held2, 5e-8 * held2);
}

}  // namespace
}  // namespace quilmar::testing

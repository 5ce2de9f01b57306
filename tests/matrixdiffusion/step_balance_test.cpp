// The stored amounts of a real run obey the backward-Euler balance of the matrix over each
// step: ainew - aiold = dt (alpha (c/d - p) - lambda_r ainew + P), P the production from the
// parent's stored amount, for the bounding layers and for the embedded material.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/run_support.hpp"

namespace quilmar::testing {
namespace {

// 4 x 2 x 2 cells with bounding layers above and below and embedded clay (code 7), a
// decaying chain in the matrix, converged tightly; both zone bounds at 0, so every cell
// lies in zone 3.
Deck chain_over_clay() {
    Deck d = DeckBuilder().grid(4, 2, 2).source_cells(2, 1, 2).source(2, 2.0, 1e6).matrix(7, 0.7, 0.05)
                 .matrix_material(0.4, 0.3, 0.05).zones(0.0, 0.0).convergence(1e-14, 5000).take();
    for (int m = 1; m <= 4; ++m) {
        d.retardms(m) = 1.5 + 0.5 * m;
        if (m >= 2) d.yieldms(m) = 0.7;
        d.decayms(m, 3, 1) = 0.1 * m;
        d.decayf(m, 3, 1) = 0.05;
        if (m >= 2) d.yieldf(m) = 0.6;
    }
    return d;
}

// The cell-by-cell path keeps the per-element arrays the balance is written in (depth,
// fitting coefficients, element concentrations); the wavefront path reproduces its stored
// amounts bit for bit but keeps those working arrays to itself.

TEST(MatrixStepBalance, HoldsForEveryElementComponentAndStep) {
    const ReferenceSweep reference;
    Deck d = chain_over_clay();
    SteppedRun run(d);
    Model& s = run.model();
    const MatrixdModule& md = s.md;
    const int nel = s.gv.nelmax;
    const double dt = s.deck.dt;
    double largest = 0.0;
    for (int step = 1; step <= 6; ++step) {
        std::vector<double> old1(4 * nel + 5), old2(4 * nel + 5);
        for (int n = 1; n <= nel; ++n)
            for (int m = 1; m <= 4; ++m) {
                old1[4 * n + m - 1] = md.aiold1(n, m);
                old2[4 * n + m - 1] = md.aiold2(n, m);
            }
        run.step();
        for (int n = 1; n <= nel; ++n) {
            const bool bounding = md.mdtop(n) == 1 || md.mdbot(n) == 1;
            ASSERT_EQ(md.mdembed(n), 1);
            for (int m = 1; m <= 4; ++m) {
                const double c = md.cn(n, m), dd = md.d(n, m), a = md.alpha(n, m), lr = md.alambdar(n, m);
                const double prod = m == 1 ? 0.0 : md.yieldm(n, m) * md.decaym(n, m - 1) / md.retardm(n, m);
                // p = aa c + bb, the fitted profile coefficient at the converged concentration.
                const double in2 = dt * (a * (c / dd - (md.aa2(n, m) * c + md.bb2(n, m))) - lr * md.ainew2(n, m) +
                                         (m == 1 ? 0.0 : prod * md.ainew2(n, m - 1)));
                const double got2 = md.ainew2(n, m) - old2[4 * n + m - 1];
                EXPECT_NEAR(got2, in2, 1e-9 * std::fabs(md.ainew2(n, m)) + 1e-15) << n << "," << m << " step " << step;
                if (bounding) {
                    const double in1 = dt * (a * (c / dd - (md.aa1(n, m) * c + md.bb1(n, m))) - lr * md.ainew1(n, m) +
                                             (m == 1 ? 0.0 : prod * md.ainew1(n, m - 1)));
                    const double got1 = md.ainew1(n, m) - old1[4 * n + m - 1];
                    EXPECT_NEAR(got1, in1, 1e-9 * std::fabs(md.ainew1(n, m)) + 1e-15)
                        << n << "," << m << " step " << step;
                } else {
                    EXPECT_EQ(md.ainew1(n, m), 0.0);
                }
                // The converged amounts become the old level of the next step.
                EXPECT_EQ(md.aiold1(n, m), md.ainew1(n, m));
                EXPECT_EQ(md.aiold2(n, m), md.ainew2(n, m));
                largest = std::fmax(largest, md.ainew1(n, m));
            }
        }
    }
    EXPECT_GT(largest, 1e-3);  // the matrix really took something up
}

}  // namespace
}  // namespace quilmar::testing

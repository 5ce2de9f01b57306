// The per-element matrix properties and zone decay, the initial state's faces, the
// observation well search and the console lines of the grid setup.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "matrixdiffusion/matrixdsr.hpp"
#include "setup/elements.hpp"
#include "setup/initial_state.hpp"
#include "support/run_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;

// Deck of a 4 x 2 x 3 grid of 10 x 5 x 2 cells whose column centres are 5, 15, 25, 35.
// The zone bounds lie on the centres of columns 2 and 4.
Deck grid_deck() {
    Deck d = testing::DeckBuilder().grid(4, 2, 3).cells(10, 5, 2).zones(15, 35).matrix(5, 0.8, 0.5)
                 .matrix_material(0.4, 0.25, 0.02).take();
    for (int m = 1; m <= 4; ++m) {
        d.retardms(m) = 1.0 + m;
        d.yieldms(m) = 0.1 * m;
        for (int z = 1; z <= 3; ++z) {
            d.decayms(m, z, 1) = m + 0.1 * z;
            d.decayms(m, z, 2) = 99;  // other periods are never used
            d.decayms(m, z, 3) = 98;
        }
    }
    return d;
}

TEST(ElementSetup, MatrixPropertiesAndZoneDecayPerElement) {
    Deck d = grid_deck();
    Model s;
    testing::load_deck(s, d);
    std::ostringstream out;
    setup_elements(s, out);
    matrixdsr1(s.md, s.gv);
    const MatrixdModule& md = s.md;
    EXPECT_EQ(s.gv.nelmax, 24);
    const int zone_of_column[] = {0, 1, 2, 2, 3};
    for (int n = 1; n <= 24; ++n) {
        const int i = (n - 1) / 6 + 1;
        EXPECT_EQ(md.mdflag(n), 5);
        EXPECT_EQ(md.porm(n), 0.4);
        EXPECT_EQ(md.rhob(n), 1.6);
        EXPECT_EQ(s.gv.area(n), 50.0);
        EXPECT_EQ(s.gv.top(n) - s.gv.bot(n), 2.0);
        EXPECT_EQ(md.amd1(n), 50.0);
        // Embedded interface: cell volume 100 times the clay fraction 0.2 over the length 0.5.
        EXPECT_NEAR(md.amd2(n), 40.0, 1e-12);
        EXPECT_EQ(md.volfrac(n), 0.8);
        for (int m = 1; m <= 4; ++m) {
            EXPECT_DOUBLE_EQ(md.retardm(n, m), 1.0 + m);
            EXPECT_NEAR(md.kd(n, m), m * 0.4 / 1.6, 1e-15);
            EXPECT_EQ(md.yieldm(n, m), m == 1 ? 0.0 : 0.1 * m);  // yieldms(1) is not read
            EXPECT_EQ(md.decaym(n, m), m + 0.1 * zone_of_column[i]) << "n=" << n << " m=" << m;
            EXPECT_DOUBLE_EQ(md.alpha(n, m), 0.02 * 0.25 / (1.0 + m));
            EXPECT_DOUBLE_EQ(md.alambdar(n, m), (m + 0.1 * zone_of_column[i]) / (1.0 + m));
        }
    }
}

// The initial state keeps a bounding face only on the layer that has it (the top face on
// the top layer, the bottom face on the bottom one; a single layer has both), leaves the
// embedded material everywhere, and zeroes every concentration and stored amount.
TEST(InitialState, FacesOnlyWhereTheGridHasThemAndEverythingZeroed) {
    for (int nz : {3, 1}) {
        Deck d = grid_deck();
        d.mdflags = 7;
        d.nz = nz;
        Model s;
        testing::load_deck(s, d);
        std::ostringstream out;
        setup_elements(s, out);
        matrixdsr1(s.md, s.gv);
        s.cnew(2, 0, 1, 1) = s.cnew(4, 5, 2, nz) = s.cold(1, 3, 2, 1) = 1.5;
        s.md.ainew1(7, 3) = s.md.aiold2(s.gv.nelmax, 4) = 2.5;
        set_initial_state(s);
        for (int n = 1; n <= s.gv.nelmax; ++n) {
            const int k = (n - 1) % nz + 1;
            EXPECT_EQ(s.md.mdtop(n), k == nz ? 1 : 0) << "nz=" << nz << " n=" << n;
            EXPECT_EQ(s.md.mdbot(n), k == 1 ? 1 : 0) << "nz=" << nz << " n=" << n;
            EXPECT_EQ(s.md.mdembed(n), 1);
        }
        EXPECT_EQ(s.cnew(2, 0, 1, 1) + s.cnew(4, 5, 2, nz) + s.cold(1, 3, 2, 1), 0.0);
        EXPECT_EQ(s.md.ainew1(7, 3) + s.md.aiold2(s.gv.nelmax, 4), 0.0);
    }
}

struct WellSearch {
    WellCells well;
    double ywell;
    std::vector<std::string> lines;
};

WellSearch search(double xwell, double ywell, double zwelltop, double zwellbot) {
    Deck d = grid_deck();
    Model s;
    testing::load_deck(s, d);
    s.deck.xwell = xwell;
    s.deck.ywell = ywell;
    s.deck.zwelltop = zwelltop;
    s.deck.zwellbot = zwellbot;
    std::ostringstream out;
    find_observation_well(s, out);
    return {s.well, s.deck.ywell, lines_of(out.str())};
}

TEST(ObservationWell, OnACellFaceBothCellsMatchAndTheLastWins) {
    // x = 10 is the face between columns 1 and 2, z = 2 the face between layers 1 and 2.
    const WellSearch w = search(10.0, 2.5, 5.0, 2.0);
    EXPECT_EQ(w.well.iwell, 2);
    EXPECT_EQ(w.well.jwell, 1);
    EXPECT_EQ(w.well.kwellbot, 2);
    EXPECT_EQ(w.well.kwelltop, 3);
    const std::vector<std::string> expected{" iwell=   1", " iwell=   2", " jwell=   1", " kwellbot = 1",
                                            " kwellbot = 2", " kwelltop=   3"};
    EXPECT_EQ(w.lines, expected);
}

TEST(ObservationWell, LayersPrintBottomThenTopPerLayer) {
    const WellSearch w = search(35.0, 7.5, 3.0, 3.0);
    EXPECT_EQ(w.well.iwell, 4);
    EXPECT_EQ(w.well.jwell, 2);
    EXPECT_EQ(w.well.kwellbot, 2);
    EXPECT_EQ(w.well.kwelltop, 2);
    const std::vector<std::string> expected{" iwell=   4", " jwell=   2", " kwellbot = 2", " kwelltop=   2"};
    EXPECT_EQ(w.lines, expected);
}

TEST(ObservationWell, NegativeYIsMirroredIntoTheComputedHalf) {
    const WellSearch w = search(5.0, -7.5, 1.0, 1.0);
    EXPECT_EQ(w.ywell, 7.5);
    EXPECT_EQ(w.well.jwell, 2);
}

TEST(ObservationWell, NoMatchLeavesZeroAndPrintsNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const WellSearch w = search(45.1, nan, -1.01, 6.0);
    EXPECT_EQ(w.well.iwell, 0);
    EXPECT_EQ(w.well.jwell, 0);
    EXPECT_EQ(w.well.kwelltop, 0);
    EXPECT_EQ(w.well.kwellbot, 3);  // 6 is the top face of the grid: still within layer 3
    const std::vector<std::string> expected{" kwellbot = 3"};
    EXPECT_EQ(w.lines, expected);
}

}  // namespace
}  // namespace quilmar

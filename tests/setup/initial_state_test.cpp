// The clearing of bounding faces away from the outer layers in the initial state, the
// initial fields, and the pages the zeroing leaves untouched.
#include <gtest/gtest.h>

#include <sstream>

#include "matrixdiffusion/matrixdsr.hpp"
#include "setup/initial_state.hpp"
#include "support/run_support.hpp"

namespace quilmar {
namespace {

// mdtop and mdbot of every element after the initial state of a 2 x 2 x nz grid.
void faces_after_initial_state(int code, int nz, Model& s) {
    Deck d = testing::DeckBuilder().grid(2, 2, nz).matrix(code, 0.9, 1.0).take();
    d.zwelltop = d.zwellbot = 0.5;
    testing::load_deck(s, d);
    std::ostringstream out;
    testing::set_up(s, out);
}

TEST(InitialState, BoundingFacesOnlyOnTheOuterLayers) {
    for (int code : {4, 7}) {
        Model s;
        faces_after_initial_state(code, 3, s);
        for (int n = 1; n <= 12; ++n) {
            const int k = (n - 1) % 3 + 1;
            EXPECT_EQ(s.md.mdbot(n), k == 1 ? 1 : 0) << "code " << code << " n " << n;
            EXPECT_EQ(s.md.mdtop(n), k == 3 ? 1 : 0) << "code " << code << " n " << n;
            EXPECT_EQ(s.md.mdembed(n), code == 7 ? 1 : 0);
            EXPECT_EQ(s.md.mdflag(n), code);  // the code itself stays
        }
    }
    // A single layer keeps both faces.
    Model one;
    faces_after_initial_state(4, 1, one);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(one.md.mdtop(n), 1);
        EXPECT_EQ(one.md.mdbot(n), 1);
    }
    // Top only (code 3) on two layers: only the upper layer keeps it.
    Model top;
    faces_after_initial_state(3, 2, top);
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(top.md.mdtop(n), n % 2 == 0 ? 1 : 0);
        EXPECT_EQ(top.md.mdbot(n), 0);
    }
    // Embedded only: nothing to clear.
    Model embedded;
    faces_after_initial_state(2, 3, embedded);
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(embedded.md.mdembed(n), 1);
}

TEST(InitialState, ZeroFieldsBoundaryColumnsAndClock) {
    Model s;
    // Leftovers everywhere the initial state must clear.
    s.atime = 5;
    for (int m = 1; m <= 4; ++m)
        for (int j = 1; j <= 2; ++j)
            for (int k = 1; k <= 2; ++k) {
                s.cnew(m, 0, j, k) = 1;
                s.cnew(m, 1, j, k) = 1;
                s.cnew(m, 3, j, k) = 1;
                s.cold(m, 2, j, k) = 1;
            }
    s.md.ainew1(3, 2) = s.md.aiold1(3, 2) = s.md.ainew2(8, 4) = s.md.aiold2(8, 4) = 1;
    faces_after_initial_state(7, 2, s);
    EXPECT_EQ(s.atime, 0.0);
    for (int m = 1; m <= 4; ++m)
        for (int j = 1; j <= 2; ++j)
            for (int k = 1; k <= 2; ++k) {
                for (int i = 0; i <= 3; ++i) EXPECT_EQ(s.cnew(m, i, j, k), 0.0);
                for (int i = 1; i <= 2; ++i) EXPECT_EQ(s.cold(m, i, j, k), 0.0);
            }
    EXPECT_EQ(s.md.ainew1(3, 2), 0.0);
    EXPECT_EQ(s.md.aiold1(3, 2), 0.0);
    EXPECT_EQ(s.md.ainew2(8, 4), 0.0);
    EXPECT_EQ(s.md.aiold2(8, 4), 0.0);
}

// The initial state zeroes the concentrations and stored amounts without reading them: on
// some systems a read of a never-written page makes it resident, and a run without matrix
// diffusion never uses the stored amounts.
TEST(MemoryFootprint, TheInitialStateMakesNoNewPagesResident) {
    Deck d = testing::DeckBuilder().grid(100, 40, 10).take();
    Model s;
    testing::load_deck(s, d);
    s.md.ainew1(3, 2) = 7.0;
    s.cnew(1, 0, 1, 1) = 4.0;  // the source column, as the source model sets it
    const long before = testing::resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    set_initial_state(s);
    // Reading them made about 11 MB resident: the stored amounts of 40000 cells (four
    // arrays of 1.28 MB) and the pages of the grid's x-lines in cnew and cold.
    EXPECT_LT(testing::resident_kb() - before, 1024) << "kB made resident by the initial state";
    EXPECT_EQ(s.md.ainew1(3, 2), 0.0);
    EXPECT_EQ(s.cnew(1, 0, 1, 1), 0.0);
}

}  // namespace
}  // namespace quilmar

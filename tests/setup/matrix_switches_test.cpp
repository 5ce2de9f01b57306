// Matrix codes to face switches, interface areas and volume fractions; the clearing of
// bounding faces away from the outer layers in the initial state.
#include <gtest/gtest.h>

#include <sstream>

#include "matrixdiffusion/matrixdsr.hpp"
#include "setup/initial_state.hpp"
#include "support/run_support.hpp"

namespace quilmar {
namespace {

struct Switches {
    int top, bot, embed;
    double volfrac;
};

// Element 1 of a one-element grid after the matrix setup, with the deck's volfrac 0.6.
Switches switches_of(int code, Model& s) {
    s.gv.nelmax = 1;
    s.gv.icomp = 4;
    s.gv.area(1) = 6.0;
    s.gv.top(1) = 2.5;
    s.gv.bot(1) = 0.0;
    s.md.mdflag(1) = code;
    s.md.volfrac(1) = 0.6;
    s.md.difflen(1) = 0.2;
    s.md.porm(1) = 0.3;
    s.md.tortm(1) = 0.5;
    s.md.rhob(1) = 1.6;
    for (int m = 1; m <= 4; ++m) {
        s.md.kd(1, m) = 0.0;
        s.md.diff(1, m) = 0.04;
        s.md.decaym(1, m) = 0.2;
    }
    s.md.mdtop(1) = s.md.mdbot(1) = s.md.mdembed(1) = 7;  // whatever was there before
    matrixdsr1(s.md, s.gv);
    return {s.md.mdtop(1), s.md.mdbot(1), s.md.mdembed(1), s.md.volfrac(1)};
}

TEST(MatrixCodes, SwitchTable) {
    // code: top, bottom, embedded, volfrac afterwards (0.6 kept only with embedded matrix).
    const struct {
        int code;
        Switches want;
    } table[] = {{0, {0, 0, 0, 1.0}}, {1, {0, 1, 0, 1.0}}, {2, {0, 0, 1, 0.6}}, {3, {1, 0, 0, 1.0}},
                 {4, {1, 1, 0, 1.0}}, {5, {0, 1, 1, 0.6}}, {6, {1, 0, 1, 0.6}}, {7, {1, 1, 1, 0.6}},
                 {8, {0, 0, 0, 0.6}}, {-1, {0, 0, 0, 0.6}}};
    for (const auto& row : table) {
        Model s;
        const Switches got = switches_of(row.code, s);
        EXPECT_EQ(got.top, row.want.top) << "code " << row.code;
        EXPECT_EQ(got.bot, row.want.bot) << "code " << row.code;
        EXPECT_EQ(got.embed, row.want.embed) << "code " << row.code;
        EXPECT_EQ(got.volfrac, row.want.volfrac) << "code " << row.code;
        // The areas and coefficients are formed for every code, the embedded area from the
        // deck's fraction before it is forced to 1: 6 * 2.5 * 0.4 / 0.2 = 30.
        EXPECT_EQ(s.md.amd1(1), 6.0);
        EXPECT_NEAR(s.md.amd2(1), 30.0, 1e-12);
        EXPECT_EQ(s.md.retardm(1, 3), 1.0);
        EXPECT_DOUBLE_EQ(s.md.alpha(1, 3), 0.02);
        EXPECT_EQ(s.md.alambdar(1, 3), 0.2);
    }
}

// mdtop and mdbot of every element after the initial state of a 2 x 2 x nz grid.
void faces_after_initial_state(int code, int nz, Model& s) {
    Deck d;
    testing::set_small_scenario(d);
    d.nx = 2;
    d.ny = 2;
    d.nz = nz;
    d.mdflags = code;
    d.volfracs = 0.9;
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

}  // namespace
}  // namespace quilmar

// Matrix codes to face switches, interface areas and volume fractions in the matrix setup.
#include <gtest/gtest.h>

#include "matrixdiffusion/matrixdsr.hpp"
#include "state/matrix_codes.hpp"

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
        // The code table that the deck checks and the solver read says the same.
        const MatrixCode code = matrix_code(row.code);
        EXPECT_EQ(code.above, row.want.top == 1) << "code " << row.code;
        EXPECT_EQ(code.below, row.want.bot == 1) << "code " << row.code;
        EXPECT_EQ(code.embedded, row.want.embed == 1) << "code " << row.code;
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

}  // namespace
}  // namespace quilmar

// Grids that describe the same plume must give the same answer: more rows that carry
// nothing across the flow, a wider grid whose outer rows the plume does not reach, and the
// same plume turned from the vertical into the transverse direction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/run_support.hpp"

namespace quilmar::testing {
namespace {

// The small scenario on 8 columns with a second source component and a decaying chain.
DeckBuilder plume_deck() {
    DeckBuilder b;
    b.source(2, 1.0, 1e6).grid(8, 3, 2).well(1.0, 0.5, 0.5, 0.5).steps(0.5, 6, 6).convergence(1e-12, 500);
    Deck& d = b.deck();
    d.yieldf(2) = 0.8;
    d.yieldf(3) = 0.5;
    d.decayf(1, 1, 1) = 0.1;
    d.decayf(2, 1, 1) = 0.3;
    return b;
}

// Concentration fields of the last snapshot, by (i, j, k), 1-based.
struct Field {
    int ny, nz;
    std::vector<std::vector<double>> rows;
    const std::vector<double>& at(int i, int j, int k) const { return rows[((i - 1) * ny + (j - 1)) * nz + (k - 1)]; }
};

Field run_field(Deck& d, RunResult* keep = nullptr) {
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    Field f{d.ny, d.nz, data_rows(r.files["Quilmar.out"])};
    EXPECT_EQ(f.rows.size(), static_cast<std::size_t>(d.nx * d.ny * d.nz));
    if (keep) *keep = r;
    return f;
}

TEST(GridSymmetry, RowsWithoutTransverseExchangeRepeatTheSingleRow) {
    // Without transverse dispersion and with the source over all rows, each of three rows
    // is the single-row plume, and the whole-plume discharges and masses are three times its.
    // The source is three times as wide, so it holds three times the mass to deplete alike.
    Deck one = plume_deck().grid(8, 1, 2).source_cells(1, 1, 1).dispersion(2.0, 0.0, 0.02, 0.0).take();
    Deck three = plume_deck().grid(8, 3, 2).source_cells(3, 1, 1).dispersion(2.0, 0.0, 0.02, 0.0).take();
    three.tzeromass(1) = 3 * one.tzeromass(1);
    three.tzeromass(2) = 3 * one.tzeromass(2);
    RunResult r1, r3;
    const Field f1 = run_field(one, &r1);
    const Field f3 = run_field(three, &r3);
    for (int i = 1; i <= 8; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 2; ++k)
                for (int m = 4; m <= 7; ++m) EXPECT_EQ(f3.at(i, j, k)[m], f1.at(i, 1, k)[m]) << i << j << k << m;
    const auto d1 = data_rows(r1.files["discharge.out"]), d3 = data_rows(r3.files["discharge.out"]);
    ASSERT_EQ(d1.size(), d3.size());
    for (std::size_t row = 0; row < d1.size(); ++row)
        for (int c = 2; c <= 5; ++c)  // 5 significant digits, rounded in both files
            EXPECT_NEAR(d3[row][c], 3 * d1[row][c], 1e-4 * d3[row][c]);
    const auto m1 = data_rows(r1.files["plume_mass.out"]), m3 = data_rows(r3.files["plume_mass.out"]);
    for (std::size_t row = 0; row < m1.size(); ++row)
        for (int c = 1; c <= 8; ++c) EXPECT_NEAR(m3[row][c], 3 * m1[row][c], 1e-7 * m3[row][c]);
}

TEST(GridSymmetry, MoreOuterRowsChangeNothingTheyDoNotReach) {
    // With transverse dispersion, a grid of 6 rows and one of 12 differ only where the
    // plume meets the zero row beyond the last row; where the plume is a millionth of the
    // source or less there, the rows it occupies agree to the written precision.
    Deck narrow = plume_deck().grid(8, 6, 2).dispersion(2.0, 0.003, 0.02, 0.0).take();
    Deck wide = plume_deck().grid(8, 12, 2).dispersion(2.0, 0.003, 0.02, 0.0).take();
    const Field fn = run_field(narrow);
    const Field fw = run_field(wide);
    double edge = 0;
    for (int i = 1; i <= 8; ++i)
        for (int k = 1; k <= 2; ++k) edge = std::fmax(edge, fn.at(i, 6, k)[4]);
    EXPECT_GT(fn.at(8, 2, 1)[4], 1e-3);  // the plume does spread across the rows
    EXPECT_LT(edge, 1e-6 * 10.0);
    for (int i = 1; i <= 8; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 2; ++k)
                for (int m = 4; m <= 7; ++m)
                    EXPECT_NEAR(fw.at(i, j, k)[m], fn.at(i, j, k)[m], 1e-5 * fn.at(i, j, k)[m] + 1e-19)
                        << i << j << k << m;
}

TEST(GridSymmetry, TheSamePlumeTurnedFromVerticalToTransverse) {
    // Rows are to the transverse direction what layers are to the vertical: the centre
    // plane j = 1 and the bottom k = 1 pass no flux, and the conductances have the same
    // form. A plume spreading upward over 10 layers (source in the lowest two) is the same
    // as one spreading sideways over 10 rows (source in the first two), as long as it does
    // not reach the far side, where the top passes no flux but the last row meets the
    // zero row.
    // The transverse dispersivity of the vertical plume and the vertical one of the
    // transverse plume have no effect: one row, one layer.
    Deck vertical = plume_deck().grid(8, 1, 10).cells(2.0, 1.0, 0.5).source_cells(1, 1, 2)
                        .dispersion(2.0, 7.0, 0.003, 0.0).take();
    Deck transverse = plume_deck().grid(8, 10, 1).cells(2.0, 0.5, 1.0).source_cells(2, 1, 1)
                          .dispersion(2.0, 0.003, 7.0, 0.0).take();
    const Field fv = run_field(vertical);
    const Field ft = run_field(transverse);
    EXPECT_GT(fv.at(8, 1, 4)[4], 1e-3);  // the plume does spread beyond the source layers
    for (int i = 1; i <= 8; ++i)
        for (int l = 1; l <= 5; ++l) {
            EXPECT_EQ(fv.at(i, 1, l)[3], ft.at(i, l, 1)[2]);  // the centre coordinates swap
            for (int m = 4; m <= 7; ++m)
                EXPECT_NEAR(ft.at(i, l, 1)[m], fv.at(i, 1, l)[m], 1e-5 * fv.at(i, 1, l)[m] + 1e-19) << i << l << m;
        }
}

}  // namespace
}  // namespace quilmar::testing

// The end-of-step handover and the result lines of one step, on hand-set concentrations
// and stored amounts: what counts as zero, the whole-plume doubling, the matrix masses of
// each kind of face, the well mean and the snapshot rule.
#include "results/result_pass.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "support/run_support.hpp"

namespace quilmar {
namespace {

using testing::data_rows;
using testing::lines_of;

struct OneStep {
    Model s;
    testing::TempDir dir;
    ResultFiles files;
    // nx x ny x nz cells of 2 x 1 x 0.5 m, matrix code `code`, Darcy flux 3, porosity 0.25,
    // retardation 1.5 (component 1) in the aquifer and 4 in the matrix (porosity 0.4).
    OneStep(int nx, int ny, int nz, int code) {
        Deck d;
        testing::set_small_scenario(d);
        d.nx = nx;
        d.ny = ny;
        d.nz = nz;
        d.dx = 2.0;
        d.dy = 1.0;
        d.dz = 0.5;
        d.vd = 3.0;
        d.porf = 0.25;
        d.retardf(1) = 1.5;
        d.mdflags = code;
        d.volfracs = 0.75;
        d.difflens = 0.25;
        d.porms = 0.4;
        d.retardms(1) = 4.0;
        d.xwell = 1.0;
        d.ywell = 0.5;
        d.zwellbot = 0.25;
        d.zwelltop = nz >= 2 ? 0.75 : 0.25;
        testing::load_deck(s, d);
        std::ostringstream out;
        testing::set_up(s, out);
        files.open(dir.path());
        s.atime = 1.5;
    }
    void write() {
        handover_and_results(s, files);
        files.close();
    }
    std::string file(const char* name) { return testing::read_file(dir.file(name)); }
};

TEST(ResultPass, NegligibleValuesCountAsZeroButColdKeepsThem) {
    OneStep r(2, 1, 1, 0);
    r.s.nprint = r.s.deck.npt;  // a snapshot step
    r.s.cnew(1, 1, 1, 1) = 5e-21;
    r.s.cnew(2, 1, 1, 1) = -1e-3;
    r.s.cnew(3, 1, 1, 1) = 1e-20;  // not below the limit: kept
    r.s.cnew(1, 2, 1, 1) = 0.8;
    r.write();
    EXPECT_EQ(r.s.cold(1, 1, 1, 1), 5e-21);
    EXPECT_EQ(r.s.cold(2, 1, 1, 1), -1e-3);
    EXPECT_EQ(r.s.cnew(1, 1, 1, 1), 0.0);
    EXPECT_EQ(r.s.cnew(2, 1, 1, 1), 0.0);
    EXPECT_EQ(r.s.cnew(3, 1, 1, 1), 1e-20);
    EXPECT_EQ(r.s.nprint, 0);  // restarts after a snapshot
    const auto field = lines_of(r.file("Quilmar.out"));
    ASSERT_EQ(field.size(), 3u);
    EXPECT_EQ(field[1], "   1.50000,   1.000,    0.500,    0.250,  0.00000E+00,  0.00000E+00,  0.10000E-19,  0.00000E+00");
    // Discharge: 2 vd dz dy c for the whole plume; the clipped values add nothing.
    const auto discharge = data_rows(r.file("discharge.out"));
    ASSERT_EQ(discharge.size(), 2u);
    EXPECT_EQ(discharge[0][2], 0.0);
    EXPECT_EQ(discharge[0][3], 0.0);
    EXPECT_NEAR(discharge[1][2], 2 * 3.0 * 0.5 * 1.0 * 0.8, 1e-12);
    // Transmissive mass: R porf volh c, doubled; a cell mass of 0.25 * 0.75 * 1e-20 is
    // below the limit and counts as zero.
    const auto mass = data_rows(r.file("plume_mass.out"));
    ASSERT_EQ(mass.size(), 1u);
    EXPECT_NEAR(mass[0][2], 2 * 1.5 * 0.25 * (2.0 * 1.0 * 0.5 * 0.75) * 0.8, 1e-12);
    EXPECT_EQ(mass[0][6], 0.0);
    EXPECT_EQ(mass[0][1], 0.0);
}

TEST(ResultPass, MatrixMassOfEachFaceAndTheEmbeddedMaterial) {
    // One layer with code 7: both bounding faces and embedded material in every element.
    OneStep r(2, 2, 1, 7);
    r.s.nprint = 0;  // not a snapshot step
    for (int n = 1; n <= 4; ++n) {
        r.s.md.ainew1(n, 1) = 0.5;
        r.s.md.ainew2(n, 1) = 0.25;
    }
    r.s.md.ainew1(4, 2) = 1e-25;  // a cell mass below the limit
    r.write();
    EXPECT_EQ(lines_of(r.file("Quilmar.out")).size(), 1u);
    // Per element: porm R (2 amd1 ainew1 + amd2 ainew2), amd1 = 2, amd2 = 1 * 0.25 / 0.25.
    const double per_element = 0.4 * 4.0 * (2 * 2.0 * 0.5 + 1.0 * 0.25);
    const auto mass = data_rows(r.file("plume_mass.out"));
    EXPECT_NEAR(mass[0][1], 2 * 4 * per_element, 1e-12);
    EXPECT_EQ(mass[0][3], 0.0);
}

TEST(ResultPass, TopFaceOnlyOnTheTopLayerAndTheWellMeanOverItsScreen) {
    // Three layers with code 3: only the top layer keeps its bounding face, once.
    OneStep r(1, 1, 3, 3);
    for (int n = 1; n <= 3; ++n) r.s.md.ainew1(n, 1) = 0.5;  // only element 3 may count
    r.s.cnew(1, 1, 1, 1) = 0.2;
    r.s.cnew(1, 1, 1, 2) = 0.4;
    r.s.cnew(1, 1, 1, 3) = 9.0;  // above the screen
    r.s.cnew(2, 1, 1, 1) = 3e-20;
    r.s.cnew(2, 1, 1, 2) = 1e-20;  // mean 2e-20, kept
    r.s.cnew(3, 1, 1, 1) = 1.5e-20;  // mean 7.5e-21: below the limit
    ASSERT_EQ(r.s.well.kwellbot, 1);
    ASSERT_EQ(r.s.well.kwelltop, 2);
    r.write();
    const auto mass = data_rows(r.file("plume_mass.out"));
    EXPECT_NEAR(mass[0][1], 2 * 0.4 * 4.0 * 2.0 * 0.5, 1e-12);
    const auto well = data_rows(r.file("obs_well.out"));
    EXPECT_NEAR(well[0][1], 0.3, 1e-12);
    EXPECT_NEAR(well[0][2], 2e-20, 1e-28);
    EXPECT_EQ(well[0][3], 0.0);
}

TEST(ResultPass, DirectMatrixMassReadsWhatTheCheckedAccessesRead) {
    // Codes with both faces and embedded material, the bottom face only, and none; stored
    // amounts of every size and sign, including ones the clipping drops.
    for (int code : {7, 1, 0}) {
        OneStep r(3, 2, 4, code);
        const MatrixdModule& md = r.s.md;
        const int nmax = 3 * 2 * 4;
        double v = 0.37;
        for (int n = 1; n <= nmax; ++n)
            for (int m = 1; m <= kComponents; ++m) {
                v = std::fmod(v * 7.3 + 0.11, 2.0) - 0.5;
                r.s.md.ainew1(n, m) = v * std::pow(10.0, (n + m) % 9 - 24);
                r.s.md.ainew2(n, m) = -0.5 * v;
            }
        ASSERT_TRUE(DirectMatrixMass::fits(md, nmax));
        const DirectMatrixMass direct(md);
        const CheckedMatrixMass checked{md};
        for (int n = 1; n <= nmax; ++n)
            for (int m = 1; m <= kComponents; ++m) {
                const double a = direct(n, m), b = checked(n, m);
                EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "code " << code << " element " << n << " component " << m;
            }
    }
}

TEST(ResultPass, DirectMatrixMassOnlyWhereEveryAccessWouldPass) {
    OneStep r(2, 1, 1, 7);
    EXPECT_TRUE(DirectMatrixMass::fits(r.s.md, maxn));
    EXPECT_FALSE(DirectMatrixMass::fits(r.s.md, maxn + 1));  // the checked pass stops there
    r.s.md.amd2.release();
    EXPECT_FALSE(DirectMatrixMass::fits(r.s.md, 2));  // and at a released array
}

// The snapshot lines take their leading fields from formatted pieces kept per step, column,
// row and layer; every line must still carry its own cell's fields, also where a field
// overflows or a time rounds to zero.
TEST(ResultPass, SnapshotLinesCarryEachCellsTimeAndCoordinates) {
    Deck d;
    d.nx = 3;
    d.ny = 2;
    d.nz = 3;
    d.dx = 5000.0;  // x = 2500, 7500 and 12500: the last overflows its field
    d.dy = 0.3;
    d.dz = 0.02;
    const double c[kComponents + 1] = {0.0, 1.5e-3, 0.0, -2.0e-120, 7.0};
    const std::string values = ",  0.15000E-02,  0.00000E+00, -0.20000-119,  0.70000E+01";
    const std::string x[] = {"", "2500.000", "7500.000", "********"};
    const std::string y[] = {"", "   0.150", "   0.450"};
    const std::string z[] = {"", "   0.010", "   0.030", "   0.050"};
    const std::pair<double, std::string> times[] = {{0.25, "   0.25000"}, {12345.678905, "**********"}, {-0.000001, "   0.00000"}};
    for (const auto& [atime, time] : times) {
        SnapshotHeads heads(d, atime);
        for (int i = 1; i <= d.nx; ++i) {
            heads.column(cell_centre(i, d.dx));
            for (int j = 1; j <= d.ny; ++j)
                for (int k = 1; k <= d.nz; ++k) {
                    std::string line;
                    heads.append(line, j, k);
                    append_quilmar_values(line, c);
                    EXPECT_EQ(line, time + "," + x[i] + ", " + y[j] + ", " + z[k] + values)
                        << "cell " << i << ' ' << j << ' ' << k;
                }
        }
    }
}

}  // namespace
}  // namespace quilmar

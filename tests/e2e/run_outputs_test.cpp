// What a run writes and when: progress lines, result-file lines per step, snapshots, line
// widths, and the stop of a step that does not converge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_support.hpp"

namespace quilmar::testing {
namespace {

TEST(RunOutputs, ThreeStepsWithASnapshotEverySecondStep) {
    Deck d = DeckBuilder().steps(0.5, 3, 2).take();  // 10 x 3 x 2 cells
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto progress = lines_with(r.out, " time = ");
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[0].rfind("  time =  0.5  iterations = ", 0), 0u) << progress[0];
    EXPECT_NE(progress[2].find(" vw-mass1(1,1,1,1)=  0 vw-mass2=  0"), std::string::npos) << progress[2];
    const auto discharge = lines_of(r.files["discharge.out"]);
    const auto field = lines_of(r.files["Quilmar.out"]);
    const auto well = lines_of(r.files["obs_well.out"]);
    const auto mass = lines_of(r.files["plume_mass.out"]);
    ASSERT_EQ(discharge.size(), 1u + 3 * 10);
    ASSERT_EQ(field.size(), 1u + 10 * 3 * 2);
    ASSERT_EQ(well.size(), 1u + 3);
    ASSERT_EQ(mass.size(), 1u + 3);
    for (std::size_t i = 1; i < discharge.size(); ++i) EXPECT_EQ(discharge[i].size(), 74u) << discharge[i];
    for (std::size_t i = 1; i < field.size(); ++i) EXPECT_EQ(field[i].size(), 95u) << field[i];
    for (std::size_t i = 1; i < well.size(); ++i) EXPECT_EQ(well[i].size(), 78u) << well[i];
    for (std::size_t i = 1; i < mass.size(); ++i) EXPECT_EQ(mass[i].size(), 144u) << mass[i];
    // The field is the one of step 2, cells in element order (x outer, z inner).
    EXPECT_EQ(field[1].substr(0, 44), "   1.00000,   1.000,    0.500,    0.500,  0.");
    EXPECT_EQ(field[2].substr(0, 39), "   1.00000,   1.000,    0.500,    1.500");
    EXPECT_EQ(field[3].substr(0, 39), "   1.00000,   1.000,    1.500,    0.500");
    EXPECT_EQ(field[60].substr(0, 39), "   1.00000,  19.000,    2.500,    1.500");
    // Discharge lines: the column centres of every step in turn.
    EXPECT_EQ(discharge[1].substr(0, 18), "   0.500,    1.000");
    EXPECT_EQ(discharge[10].substr(0, 18), "   0.500,   19.000");
    EXPECT_EQ(discharge[11].substr(0, 18), "   1.000,    1.000");
    EXPECT_EQ(well[3].substr(0, 10), "   1.50000");
    EXPECT_EQ(mass[3].substr(0, 8), "   1.500");
}

TEST(RunOutputs, SnapshotsEveryNptStepsOnly) {
    Deck d;
    set_small_scenario(d);
    d.nt = 10;
    for (int npt : {4, 11, 0}) {
        d.npt = npt;
        TempDir dir;
        RunResult r = run_program(deck_text(d), dir);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto field = lines_of(r.files["Quilmar.out"]);
        if (npt == 4) {
            ASSERT_EQ(field.size(), 1u + 2 * 60);
            EXPECT_EQ(field[1].substr(0, 10), "   2.00000");  // step 4
            EXPECT_EQ(field[61].substr(0, 10), "   4.00000");  // step 8
        } else {
            EXPECT_EQ(field.size(), 1u) << "npt " << npt;
        }
    }
}

TEST(RunOutputs, SetupLinesFollowTheEchoInOrder) {
    // A well on the face between columns 2 and 3 and on the face between the two layers,
    // a remediated source of components 1 and 4 (component 2 has concentration but no mass).
    const std::string deck = DeckBuilder().well(4.0, -1.5, 1.0, 1.7).source(2, 3.0, 0.0).source(4, 2.0, 250.5)
                                 .remediation(0.9, 0.5, 1.0).steps(0.5, 1, 2).text();
    TempDir dir;
    RunResult r = run_program(deck, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = lines_of(r.out);
    ASSERT_EQ(out.size(), 126u + 10);
    const std::vector<std::string> setup(out.begin() + 126, out.end() - 1);
    const std::vector<std::string> expected{" nelmax =  60",       " iwell=   2",   " iwell=   3",
                                            " jwell=   2",         " kwellbot = 1", " kwellbot = 2",
                                            " kwelltop=   2",      " tzeromass(m)= 1e+06",
                                            " tzeromass(m)= 250.5"};
    EXPECT_EQ(setup, expected);
}

TEST(RunOutputs, NoStepsLeaveTheHeadersOnly) {
    TempDir dir;
    RunResult r = run_program(DeckBuilder().steps(0.5, 0, 2).text(), dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lines_with(r.out, "time =").size(), 0u);
    EXPECT_EQ(lines_of(r.out).back(), " tzeromass(m)= 1e+06");
    for (const auto& [name, text] : r.files) EXPECT_EQ(lines_of(text).size(), 1u) << name;
}

// The source concentration jumps a thousandfold in the second step: a remediation takes
// 99.9 % of the mass between t1 = dt and t2 = 2 dt, and with gamma = -1 the concentration
// leaving the source rises as its mass falls. The first step converges in one sweep
// (the largest change stays below tol), the second cannot.
TEST(RunOutputs, StepThatDoesNotConvergeStopsWithStatusOne) {
    Deck d = DeckBuilder().source(1, 1e-3, 1e6).remediation(0.999, 0.5, 1.0).convergence(0.01, 1).steps(0.5, 4, 1)
                 .take();
    d.gamma = -1.0;
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 1);
    const auto out = lines_of(r.out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.back(), " maxit exceeded 2");
    EXPECT_EQ(out[out.size() - 2].rfind("  time =  0.5  iterations =  1 ", 0), 0u) << out[out.size() - 2];
    EXPECT_EQ(lines_with(r.out, "time =").size(), 1u);
    const auto err = lines_of(r.err);
    ASSERT_FALSE(err.empty());
    EXPECT_NE(err.back().find("step 2 (time 1)"), std::string::npos) << err.back();
    // The files end with the first step; nothing of the second.
    EXPECT_EQ(lines_of(r.files["discharge.out"]).size(), 1u + 10);
    EXPECT_EQ(lines_of(r.files["Quilmar.out"]).size(), 1u + 60);
    EXPECT_EQ(lines_of(r.files["obs_well.out"]).size(), 2u);
    EXPECT_EQ(lines_of(r.files["plume_mass.out"]).size(), 2u);
    EXPECT_EQ(r.files["plume_mass.out"].find("   1.000,"), std::string::npos);

    // No sweep at all allowed: the first step stops at once with the count 1.
    d.maxit = 0;
    TempDir dir0;
    r = run_program(deck_text(d), dir0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines_of(r.out).back(), " maxit exceeded 1");
    EXPECT_EQ(lines_with(r.out, "time =").size(), 0u);
    for (const auto& [name, text] : r.files) EXPECT_EQ(lines_of(text).size(), 1u) << name;
}

TEST(RunOutputs, TimingLineOnRequestChangesNothingElse) {
    const std::string deck = DeckBuilder().steps(0.5, 3, 2).text();
    TempDir plain_dir, timed_dir, off_dir;
    const RunResult plain = run_program(deck, plain_dir);
    const RunResult timed = run_program(deck, timed_dir, "QUILMAR_TIMING=1");
    const RunResult off = run_program(deck, off_dir, "QUILMAR_TIMING=0");
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out, plain.out);
    EXPECT_EQ(timed.files, plain.files);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(off.err, "");  // 0 switches it off, as for the other switches
    const auto err = lines_of(timed.err);
    ASSERT_EQ(err.size(), 1u) << timed.err;
    // The sweep count is the sum of the progress lines' iteration counts.
    int sweeps = 0;
    for (const std::string& line : lines_with(plain.out, " iterations = "))
        sweeps += std::stoi(line.substr(line.find(" iterations = ") + 14));
    EXPECT_EQ(err[0].rfind("quilmar_v3: timing: " + std::to_string(sweeps) + " sweeps of 60 cells: ", 0), 0u)
        << err[0];
    EXPECT_NE(err[0].find(" ns per update, median sweep "), std::string::npos) << err[0];
    EXPECT_NE(err[0].find(" ns per update, fastest sweep "), std::string::npos) << err[0];
    EXPECT_NE(err[0].find("; rest of the steps "), std::string::npos) << err[0];
}

}  // namespace
}  // namespace quilmar::testing

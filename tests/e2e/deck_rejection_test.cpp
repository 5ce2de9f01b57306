// A rejected deck stops the run where its value is first used: the console shows the echo
// and the setup lines up to that point, standard error one report, the result files their
// header lines. A deck that only draws warnings runs exactly as it would without them.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "support/run_support.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;
using testing::read_file;
using testing::TempDir;

const char* const kResultFiles[] = {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"};

struct InProcessRun {
    int status = -1;
    std::string out, err;
    std::vector<std::string> files;  // in the order of kResultFiles
};

InProcessRun run_in_process(Deck& d, const TempDir& dir) {
    std::istringstream in(testing::deck_text(d));
    std::ostringstream out, err;
    InProcessRun r;
    r.status = run(in, out, err, RunOptions{dir.path()});
    r.out = out.str();
    r.err = err.str();
    for (const char* name : kResultFiles) r.files.push_back(read_file(dir.file(name)));
    return r;
}

constexpr std::size_t kEchoLines = 126;

TEST(DeckRejection, StopsAfterTheSetupLinesOfThePhaseThatUsesTheValue) {
    struct Case {
        const char* what;
        std::function<void(Deck&)> change;
        std::string last_console_line;  // the last setup line before the stop
        std::size_t setup_lines;        // console lines after the echo
    };
    // Setup lines of the small scenario: nelmax, iwell, jwell, kwellbot, kwelltop, tzeromass
    // (no jwell line when the well lies beyond the rows).
    const std::vector<Case> cases = {
        {"volume fraction, with the element setup", [](Deck& d) { d.volfracs = 1.5; }, " nelmax =  60", 1},
        {"matrix code, with the element setup", [](Deck& d) { d.mdflags = 9; }, " nelmax =  60", 1},
        {"well row, after the well search", [](Deck& d) { d.ywell = 7; }, " kwelltop=   1", 4},
        {"source rows, before the source setup", [](Deck& d) { d.lysource = 0; }, " kwelltop=   1", 5},
        {"porosity, before the transport coefficients", [](Deck& d) { d.porf = 0; }, " tzeromass(m)= 1e+06", 6},
        {"time step, before the first step", [](Deck& d) { d.dt = 0; }, " tzeromass(m)= 1e+06", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Deck d = testing::DeckBuilder().change(c.change).take();
        TempDir dir;
        const InProcessRun r = run_in_process(d, dir);
        EXPECT_EQ(r.status, 2);
        const auto err = lines_of(r.err);
        ASSERT_EQ(err.size(), 1u) << r.err;
        EXPECT_EQ(err[0].rfind("quilmar_v3: deck record ", 0), 0u) << err[0];
        const auto out = lines_of(r.out);
        ASSERT_EQ(out.size(), kEchoLines + c.setup_lines) << out.back();
        EXPECT_EQ(out.back(), c.last_console_line);
        for (std::size_t f = 0; f < r.files.size(); ++f)
            EXPECT_EQ(lines_of(r.files[f]).size(), 1u) << kResultFiles[f] << " holds more than its header line";
    }
}

TEST(DeckRejection, TheProgramExitsWithStatusTwoAndOneLineOnStandardError) {
    TempDir dir;
    const testing::RunResult r = testing::run_program(testing::DeckBuilder().matrix(0, 1.5, 1.0).text(), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: deck record 22, item 6 (volfracs): 1.5 must lie in (0, 1]\n");
}

TEST(DeckRejection, CapacityStopsKeepTheirIndexReports) {
    // Grids too large for the arrays stop at the first index beyond them, as before the
    // deck checks: the checks compare with the grid the deck describes, not with capacities.
    struct Case {
        const char* what;
        std::function<void(Deck&)> change;
        std::string report;
    };
    const std::vector<Case> cases = {
        {"more than 500000 cells", [](Deck& d) { d.nx = 1000; d.ny = 40; d.nz = 20; },
         "quilmar_v3: Index '500001' of dimension 1 of array 'mdflag' above upper bound of 500000"},
        {"2000 columns", [](Deck& d) { d.nx = 2000; }, "quilmar_v3: Index '2001' of dimension 2 of array 'cnew'"},
        {"51 layers", [](Deck& d) { d.nz = 51; }, "quilmar_v3: Index '51' of dimension 4 of array 'cnew'"},
        {"50 rows", [](Deck& d) { d.ny = 50; }, "quilmar_v3: Index '51' of dimension 3 of array 'cnew'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Deck d = testing::DeckBuilder().change(c.change).take();
        TempDir dir;
        const InProcessRun r = run_in_process(d, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(c.report, 0), 0u) << r.err;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    }
}

// Values that warn and run: a well upstream of every column (it samples the source plane),
// the remediation period reversed, a volume fraction without embedded matrix.
Deck warned_deck() {
    return testing::DeckBuilder().well(-10, 0.5, 0.5, 0.5).remediation(0.5, 1.2, 0.7).matrix(0, 0.8, 1.0)
        .steps(0.5, 4, 1).take();
}

TEST(DeckWarnings, TheRunGoesOnExactlyAsWithoutThem) {
    Deck d = warned_deck();
    TempDir dir;
    const InProcessRun r = run_in_process(d, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto warnings = lines_of(r.err);
    ASSERT_EQ(warnings.size(), 3u) << r.err;
    EXPECT_NE(warnings[0].find("(volfracs): 0.8"), std::string::npos);
    EXPECT_NE(warnings[1].find("(xwell): -10"), std::string::npos);
    EXPECT_NE(warnings[2].find("(t2): 0.7"), std::string::npos);

    // The same phases without the checks, step by step.
    Deck same = warned_deck();
    testing::SteppedRun reference(same);
    reference.steps(same.nt);
    for (std::size_t f = 0; f < r.files.size(); ++f)
        EXPECT_EQ(r.files[f], reference.file(kResultFiles[f])) << kResultFiles[f];
    const auto out = lines_of(r.out);
    const auto ref_out = lines_of(reference.console());
    ASSERT_EQ(out.size(), kEchoLines + ref_out.size());
    EXPECT_TRUE(std::equal(ref_out.begin(), ref_out.end(), out.begin() + kEchoLines));
}

}  // namespace
}  // namespace quilmar

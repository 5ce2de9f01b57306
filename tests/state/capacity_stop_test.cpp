// Grids beyond the fixed capacities stop at the first array access outside its range, in
// the phase where that access happens, with status 2 and nothing of the failed phase in
// the result files. The report names the deck item, its value and its capacity.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace quilmar::testing {
namespace {

// The stop's report is the last line on standard error (warnings about the deck may come
// before it).
std::string stop_report(const RunResult& r) {
    const auto lines = lines_of(r.err);
    return lines.empty() ? "" : lines.back();
}

bool files_hold_headers_only(RunResult& r) {
    for (const char* f : {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"})
        if (lines_of(r.files[f]).size() != 1) return false;
    return true;
}

// nx columns in one row and one layer unless ny and nz are given, two steps.
Deck column_deck(int nx, int ny = 1, int nz = 1) {
    Deck d = DeckBuilder().grid(nx, ny, nz).steps(0.5, 2, 2).take();
    d.xwell = 1.0;
    return d;
}

TEST(CapacityStop, MoreThanHalfAMillionElementsStopsInElementSetup) {
    TempDir dir;
    RunResult r = run_program(DeckBuilder().grid(205, 49, 50).text(), dir);  // 502250 cells
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '500001' of dimension 1 of array 'mdflag' above upper bound of 500000 "
              "(deck records 37 to 39: nx*ny*nz = 502250 cells, at most 500000)");
    // Nothing of the element setup is written, not even the element count.
    EXPECT_EQ(lines_of(r.out).size(), 126u);
    EXPECT_EQ(r.out.find("nelmax"), std::string::npos);
    EXPECT_TRUE(files_hold_headers_only(r));
}

TEST(CapacityStop, TwoThousandColumnsStopInTheInitialStateBeforeAnyStep) {
    Deck d = column_deck(2000);
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '2001' of dimension 2 of array 'cnew' above upper bound of 2000 "
              "(deck record 37: nx = 2000, at most 1999)");
    EXPECT_NE(r.out.find(" nelmax =  2000\n"), std::string::npos);
    EXPECT_EQ(r.out.find("time ="), std::string::npos);
    EXPECT_TRUE(files_hold_headers_only(r));

    // 1999 columns fit.
    d = column_deck(1999);
    TempDir ok;
    r = run_program(deck_text(d), ok);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(r.files["discharge.out"]).size(), 1u + 2 * 1999);
}

TEST(CapacityStop, FiftyRowsPassSetupAndStopInTheFirstSweep) {
    Deck d = column_deck(10, 50);
    d.lysource = 50;
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '51' of dimension 3 of array 'cnew' above upper bound of 50 "
              "(deck record 38: ny = 50, at most 49)");
    EXPECT_NE(r.out.find(" tzeromass(m)= "), std::string::npos);  // setup completed
    EXPECT_EQ(r.out.find("time ="), std::string::npos);            // the first step did not
    EXPECT_TRUE(files_hold_headers_only(r));
}

TEST(CapacityStop, FiftyOneLayersStopInTheInitialState) {
    Deck d = column_deck(10, 1, 51);
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '51' of dimension 4 of array 'cnew' above upper bound of 50 "
              "(deck record 39: nz = 51, at most 50)");
    EXPECT_NE(r.out.find(" tzeromass(m)= "), std::string::npos);
    EXPECT_EQ(r.out.find("time ="), std::string::npos);
    EXPECT_TRUE(files_hold_headers_only(r));
}

}  // namespace
}  // namespace quilmar::testing

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

Deck& column_deck(Deck& d) {
    set_small_scenario(d);
    d.ny = 1;
    d.nz = 1;
    d.nt = 2;
    d.xwell = 1.0;
    return d;
}

TEST(CapacityStop, MoreThanHalfAMillionElementsStopsInElementSetup) {
    Deck d;
    set_small_scenario(d);
    d.nx = 205;  // 205 x 49 x 50 = 502250 cells
    d.ny = 49;
    d.nz = 50;
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '500001' of dimension 1 of array 'mdflag' above upper bound of 500000 "
              "(deck records 37 to 39: nx*ny*nz = 502250 cells, at most 500000)");
    // Nothing of the element setup is written, not even the element count.
    EXPECT_EQ(lines_of(r.out).size(), 126u);
    EXPECT_EQ(r.out.find("nelmax"), std::string::npos);
    EXPECT_TRUE(files_hold_headers_only(r));
}

TEST(CapacityStop, TwoThousandColumnsStopInTheInitialStateBeforeAnyStep) {
    Deck d;
    column_deck(d).nx = 2000;
    TempDir dir;
    RunResult r = run_program(deck_text(d), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(stop_report(r), "quilmar_v3: Index '2001' of dimension 2 of array 'cnew' above upper bound of 2000 "
              "(deck record 37: nx = 2000, at most 1999)");
    EXPECT_NE(r.out.find(" nelmax =  2000\n"), std::string::npos);
    EXPECT_EQ(r.out.find("time ="), std::string::npos);
    EXPECT_TRUE(files_hold_headers_only(r));

    // 1999 columns fit.
    column_deck(d).nx = 1999;
    TempDir ok;
    r = run_program(deck_text(d), ok);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(r.files["discharge.out"]).size(), 1u + 2 * 1999);
}

TEST(CapacityStop, FiftyRowsPassSetupAndStopInTheFirstSweep) {
    Deck d;
    column_deck(d).ny = 50;
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
    Deck d;
    column_deck(d).nz = 51;
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

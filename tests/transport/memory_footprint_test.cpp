// Resident memory: a large run holds what its grid needs, not the full capacity, and the
// element arrays that only the fast solver would read are given back once it has taken them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "setup/initial_state.hpp"
#include "state/model.hpp"
#include "state/run_stop.hpp"
#include "support/run_support.hpp"
#include "support/test_support.hpp"
#include "transport/wavefront/wavefront_solver.hpp"

namespace quilmar {
namespace {

long resident_kb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const int got = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

TEST(ReleasedArray, GivesItsPagesBackAndStopsTheNextAccess) {
    Model s;
    const long before = resident_kb();
    for (int n = 1; n <= 500000; ++n)
        for (int m = 1; m <= 4; ++m) s.md.alpha(n, m) = 1.0;  // 16 MB touched
    const long filled = resident_kb();
    s.md.alpha.release();
    const long after = resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    EXPECT_GT(filled - before, 15000);
    EXPECT_GT(filled - after, 15000);
    try {
        (void)s.md.alpha(1, 1);
        ADD_FAILURE() << "access after release was not stopped";
    } catch (const IndexError& e) {
        EXPECT_EQ(e.status(), 2);
        EXPECT_STREQ(e.what(), "array 'alpha' was accessed after the run had released it");
    }
}

// The fast solver keeps its fields in one mapping with room for the largest grid; a small
// grid with every kind of matrix must make resident only the pages its fields touch.
TEST(MemoryFootprint, TheFastSolversFieldsCostOnlyTheSmallGridsPages) {
    Deck d;
    testing::set_small_scenario(d);
    d.mdflags = 7;
    d.volfracs = 0.8;
    Model s;
    testing::load_deck(s, d);
    std::ostringstream console;
    testing::set_up(s, console);
    ASSERT_TRUE(WavefrontSolver::eligible(s));
    const long before = resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    SolverOptions one_thread;
    one_thread.threads = 1;
    WavefrontSolver solver(s, one_thread, false);
    solver.begin_step(s);
    solver.sweep(s);
    EXPECT_LT(resident_kb() - before, 8 * 1024) << "kB made resident by a grid of " << s.gv.nelmax << " cells";
}

// The initial state zeroes the concentrations and stored amounts without reading them: on
// some systems a read of a never-written page makes it resident, and a run without matrix
// diffusion never uses the stored amounts.
TEST(MemoryFootprint, TheInitialStateMakesNoNewPagesResident) {
    Deck d;
    testing::set_small_scenario(d);
    d.nx = 100;
    d.ny = 40;
    d.nz = 10;
    Model s;
    testing::load_deck(s, d);
    s.md.ainew1(3, 2) = 7.0;
    s.cnew(1, 0, 1, 1) = 4.0;  // the source column, as the source model sets it
    const long before = resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    set_initial_state(s);
    // Reading them made about 11 MB resident: the stored amounts of 40000 cells (four
    // arrays of 1.28 MB) and the pages of the grid's x-lines in cnew and cold.
    EXPECT_LT(resident_kb() - before, 1024) << "kB made resident by the initial state";
    EXPECT_EQ(s.md.ainew1(3, 2), 0.0);
    EXPECT_EQ(s.cnew(1, 0, 1, 1), 0.0);
}

// The benchmark's aquitard-and-clay deck (code 7) widened to 500 x 40 x 10 = 200000 cells,
// one step: the run's peak resident memory stays well under 150 MB.
TEST(MemoryFootprint, TwoHundredThousandCellsWithMatrixDiffusionStayWellUnder150MB) {
    std::ifstream in(std::string(QUILMAR_SOURCE_DIR) + "/bench/plume_code7.deck");
    ASSERT_TRUE(in) << "bench/plume_code7.deck";
    std::string deck, line;
    std::string previous;
    while (std::getline(in, line)) {
        if (previous.rfind("grid along the flow", 0) == 0) line = "2.5  500";
        if (previous.rfind("time step, number of steps", 0) == 0) line = "0.25  1  1";
        deck += line + "\n";
        previous = line;
    }
    testing::TempDir dir;
    const testing::RunResult r = testing::run_program(deck, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.out.find(" nelmax =  200000"), std::string::npos);
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 135 * 1024) << "peak resident memory in kB";
}

}  // namespace
}  // namespace quilmar

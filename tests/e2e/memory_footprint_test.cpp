// Resident memory of a whole run: a large run holds what its grid needs, not the full
// capacity.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>
#include <string>

#include "support/test_support.hpp"

namespace quilmar {
namespace {

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

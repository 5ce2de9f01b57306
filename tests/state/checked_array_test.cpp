// Declared index ranges of the model arrays and the stop at the first access outside them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "state/model.hpp"
#include "state/run_stop.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

template <typename F>
std::string index_stop(F&& access) {
    try {
        access();
    } catch (const IndexError& e) {
        EXPECT_EQ(e.status(), 2);
        return e.what();
    }
    ADD_FAILURE() << "access was not stopped";
    return "";
}

TEST(CheckedArray, StopsNameArrayDimensionIndexAndBound) {
    Model s;
    EXPECT_EQ(index_stop([&] { s.cnew(1, 1, 51, 1) = 1.0; }),
              "Index '51' of dimension 3 of array 'cnew' above upper bound of 50");
    EXPECT_EQ(index_stop([&] { (void)s.cnew(1, -1, 1, 1); }),
              "Index '-1' of dimension 2 of array 'cnew' below lower bound of 0");
    EXPECT_EQ(index_stop([&] { (void)s.cnew(1, 2001, 1, 1); }),
              "Index '2001' of dimension 2 of array 'cnew' above upper bound of 2000");
    EXPECT_EQ(index_stop([&] { (void)s.cnew(1, 1, 1, 51); }),
              "Index '51' of dimension 4 of array 'cnew' above upper bound of 50");
    // cold has no column 0.
    EXPECT_EQ(index_stop([&] { (void)s.cold(1, 0, 1, 1); }),
              "Index '0' of dimension 2 of array 'cold' below lower bound of 1");
    EXPECT_EQ(index_stop([&] { (void)s.cold(5, 1, 1, 1); }),
              "Index '5' of dimension 1 of array 'cold' above upper bound of 4");
    EXPECT_EQ(index_stop([&] { s.md.mdflag(500001) = 1; }),
              "Index '500001' of dimension 1 of array 'mdflag' above upper bound of 500000");
    EXPECT_EQ(index_stop([&] { (void)s.md.ainew1(1, 0); }),
              "Index '0' of dimension 2 of array 'ainew1' below lower bound of 1");
    EXPECT_EQ(index_stop([&] { (void)s.gv.area(0); }),
              "Index '0' of dimension 1 of array 'area' below lower bound of 1");
    EXPECT_EQ(index_stop([&] { (void)s.deck.decayf(1, 4, 1); }),
              "Index '4' of dimension 2 of array 'decayf' above upper bound of 3");
    // The first bad dimension is the one reported.
    EXPECT_EQ(index_stop([&] { (void)s.cnew(0, 2001, 51, 51); }),
              "Index '0' of dimension 1 of array 'cnew' below lower bound of 1");
}

TEST(CheckedArray, WholeRangeIsUsableAndStartsAtZero) {
    Model s;
    // The corners of the declared ranges hold zero and keep what is written to them.
    EXPECT_EQ(s.cnew(4, 2000, 50, 50), 0.0);
    EXPECT_EQ(s.cnew(1, 0, 1, 1), 0.0);
    EXPECT_EQ(s.md.ainew2(500000, 4), 0.0);
    s.cnew(4, 2000, 50, 50) = 3.0;
    s.cnew(1, 0, 1, 1) = 2.0;
    s.md.ainew2(500000, 4) = 1.0;
    EXPECT_EQ(s.cnew(4, 2000, 50, 50), 3.0);
    EXPECT_EQ(s.cnew(1, 0, 1, 1), 2.0);
    EXPECT_EQ(s.cnew(4, 2000, 50, 49), 0.0);
    EXPECT_EQ(s.md.ainew2(500000, 4), 1.0);
    EXPECT_EQ(s.md.ainew2(499999, 4), 0.0);
}

TEST(CheckedArray, ZeroClearsEveryElementMappedOrNot) {
    // A small array lives on the heap and is filled; a large one hands its pages back.
    CheckedArray<double, 1> small("small", {1}, {10}, {0});
    Model s;
    s.md.ainew1(1, 1) = 5.0;
    s.md.ainew1(500000, 4) = -0.0;
    s.md.ainew1(250000, 2) = -1e-300;
    small(1) = 2.0;
    small(10) = -0.0;
    s.md.ainew1.zero();
    small.zero();
    for (const double v : {s.md.ainew1(1, 1), s.md.ainew1(500000, 4), s.md.ainew1(250000, 2), small(1), small(10)}) {
        EXPECT_EQ(v, 0.0);
        EXPECT_FALSE(std::signbit(v));
    }
    s.md.ainew1(7, 3) = 1.5;  // usable afterwards
    EXPECT_EQ(s.md.ainew1(7, 3), 1.5);
}


TEST(ReleasedArray, GivesItsPagesBackAndStopsTheNextAccess) {
    Model s;
    const long before = testing::resident_kb();
    for (int n = 1; n <= 500000; ++n)
        for (int m = 1; m <= 4; ++m) s.md.alpha(n, m) = 1.0;  // 16 MB touched
    const long filled = testing::resident_kb();
    s.md.alpha.release();
    const long after = testing::resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    EXPECT_GT(filled - before, 15000);
    EXPECT_GT(filled - after, 15000);
    EXPECT_EQ(index_stop([&] { (void)s.md.alpha(1, 1); }),
              "array 'alpha' was accessed after the run had released it");
}

}  // namespace
}  // namespace quilmar

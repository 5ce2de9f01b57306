// The element numbering that pairs grid cells with matrix elements.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_support.hpp"
#include "transport/checked_solver.hpp"

namespace quilmar {
namespace {

// A 2 x 3 x 4 grid with code 4 (bounding layers on top and bottom).
void small_grid(Model& s, std::ostream& out) {
    Deck d = testing::DeckBuilder().grid(2, 3, 4).matrix(4, 1.0, 1.0).take();
    d.xwell = 1.0;
    d.zwelltop = 3.5;
    testing::load_deck(s, d);
    testing::set_up(s, out);
}

TEST(ElementNumbering, LayerFastestThenRowThenColumn) {
    Model s;
    std::ostringstream out;
    small_grid(s, out);
    EXPECT_EQ(s.gv.nelmax, 24);
    EXPECT_EQ(s.gv.icomp, 4);
    EXPECT_EQ(testing::lines_of(out.str()).at(0), " nelmax =  24");
    // Every cell gets its own value; the copy for the matrix routines must find it under
    // n = (i-1) ny nz + (j-1) nz + k.
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 4; ++k) s.cnew(2, i, j, k) = 100 * i + 10 * j + k;
    copy_grid_to_elements(s);
    EXPECT_EQ(s.md.cn(21, 2), 231.0);  // cell (2,3,1)
    EXPECT_EQ(s.md.cn(1, 2), 111.0);
    EXPECT_EQ(s.md.cn(2, 2), 112.0);
    EXPECT_EQ(s.md.cn(5, 2), 121.0);
    EXPECT_EQ(s.md.cn(13, 2), 211.0);
    EXPECT_EQ(s.md.cn(24, 2), 234.0);
    EXPECT_EQ(s.md.cn(25, 2), 0.0);
    // The bounding faces stay on the bottom layer (k = 1) and the top layer (k = 4) only.
    for (int n = 1; n <= 24; ++n) {
        const int k = (n - 1) % 4 + 1;
        EXPECT_EQ(s.md.mdbot(n), k == 1 ? 1 : 0) << n;
        EXPECT_EQ(s.md.mdtop(n), k == 4 ? 1 : 0) << n;
    }
    EXPECT_EQ(s.md.mdbot(21), 1);
    // Elements above nelmax are never touched.
    EXPECT_EQ(s.md.mdflag(25), 0);
    EXPECT_EQ(s.md.amd1(25), 0.0);
    EXPECT_EQ(s.md.retardm(25, 1), 0.0);
    EXPECT_EQ(s.gv.area(25), 0.0);
}

}  // namespace
}  // namespace quilmar

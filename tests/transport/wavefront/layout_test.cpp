// The wavefront layout: every line of the grid has exactly one slot, and every slot a kernel
// reads for a group (its own lanes and the neighbours k-1, j-1, k+1, j+1) lies inside the
// row it belongs to, idle lanes included.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <utility>
#include <string>

#include "support/run_support.hpp"
#include "transport/wavefront/layout.hpp"

namespace quilmar::testing {
namespace {

using wavefront::Layout;
using wavefront::LineGroup;
using wavefront::W;

TEST(WavefrontLayout, EveryLineOneSlotAndEveryReadInsideItsRow) {
    for (const auto& [ny, nz] : {std::pair{1, 1}, {1, 7}, {7, 1}, {3, 11}, {13, 3}, {20, 18}, {49, 2}, {5, 50}}) {
        Deck d;
        set_small_scenario(d);
        d.nx = 3;
        d.ny = ny;
        d.nz = nz;
        d.lysource = 1;
        d.lzsourcemin = d.lzsourcemax = 1;
        const auto s = set_up_model(d);
        const Layout layout(*s);
        const std::string what = std::to_string(ny) + " x " + std::to_string(nz);
        // Every cell of a column at its own place in the field, and no two at one.
        std::set<std::size_t> places;
        for (int j = 1; j <= ny; ++j)
            for (int k = 1; k <= nz; ++k) EXPECT_TRUE(places.insert(layout.cell_at(1, 1, j, k)).second) << what;
        int lines = 0;
        for (const LineGroup& g : layout.groups()) {
            // A read of four slots from `first` in row w stays within that row's slots of one
            // column and component, but for idle lanes, which may reach two slots past it.
            auto inside = [&](int w, int first, int reach) {
                return first >= 0 && first + reach <= static_cast<int>(layout.row_len(w));
            };
            int real = 0;
            for (int l = 0; l < W; ++l) real += g.real[l];
            lines += real;
            EXPECT_TRUE(inside(g.w, g.pos, real)) << what << " row " << g.w;
            EXPECT_TRUE(inside(g.w - 1, g.down - 1, real + 1)) << what << " row below " << g.w;
            EXPECT_TRUE(inside(g.w + 1, g.up, real + 1)) << what << " row above " << g.w;
            for (int l = 0; l < W; ++l)
                if (g.real[l]) {
                    const int j = (g.elem[l] - 1) / nz + 1, k = (g.elem[l] - 1) % nz + 1;
                    EXPECT_EQ(j + k, g.w) << what;
                    EXPECT_EQ(layout.cell_at(1, 1, j, k), layout.at(g.w, 1, 1, g.pos + l)) << what;
                }
        }
        EXPECT_EQ(lines, ny * nz) << what;
    }
}

}  // namespace
}  // namespace quilmar::testing

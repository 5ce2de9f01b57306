// The thin grids' layout: every cell at a place of its own, and the sweep's order as the
// kernels walk it (diagonals of four lines, or a tube's steps with the components two cells
// apart) takes every cell once, after its upstream and lower neighbours and its parent and
// before its downstream and upper ones, with each neighbour at the offset the kernels read
// it from and each lane's constants from its own column's reaction zone.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "state/zones.hpp"
#include "support/run_support.hpp"
#include "transport/thin/thin_layout.hpp"

namespace quilmar::testing {
namespace {

using thin::ThinLayout;
using thin::W;

TEST(ThinLayout, EveryCellOnceInAnOrderThatKeepsTheElementOrdersNeighbours) {
    for (const auto& [ny, nz] : {std::pair{1, 1}, {1, 7}, {1, 8}, {6, 1}, {1, 2}}) {
        Deck d;
        set_small_scenario(d);
        d.nx = 11;
        d.ny = ny;
        d.nz = nz;
        d.x1 = 6.0;
        d.x2 = 9.0;
        d.lysource = 1;
        d.lzsourcemin = d.lzsourcemax = 1;
        const auto s = set_up_model(d);
        const ThinLayout layout(*s);
        const std::string what = std::to_string(ny) + " x " + std::to_string(nz);
        const int nx = d.nx, lines = layout.lines();
        // Every cell, the source plane and the outlet included, at a place of its own.
        std::set<std::size_t> places;
        for (int i = 0; i <= nx + 1; ++i)
            for (int q = 1; q <= lines; ++q)
                for (int m = 1; m <= kComponents; ++m) {
                    EXPECT_TRUE(places.insert(layout.at(i, m, q)).second) << what;
                    EXPECT_LT(layout.at(i, m, q), layout.field_len()) << what;
                }
        // The sweep: (i, m, q) -> order of its update.
        std::map<std::tuple<int, int, int>, int> order;
        int next = 0;
        auto visit = [&](int i, int m, int q, std::size_t at, int pattern, int lane) {
            EXPECT_EQ(at, layout.at(i, m, q)) << what;
            EXPECT_EQ(layout.zones(pattern)[lane], reaction_zone(cell_centre(i, d.dx), d.x1, d.x2)) << what;
            EXPECT_TRUE(order.emplace(std::tuple{i, m, q}, next++).second) << what;
        };
        if (layout.shape() == thin::Shape::kTube) {
            for (int t = 1; t <= layout.steps(); ++t)
                for (int l = 0; l < W; ++l) {
                    const int i = t - ThinLayout::kLag * l;
                    EXPECT_EQ(layout.step_lanes(t).real.v[l] != 0, i >= 1 && i <= nx) << what;
                    if (i >= 1 && i <= nx)
                        visit(i, l + 1, 1, static_cast<std::size_t>(W * t + l), layout.step_lanes(t).pattern, l);
                }
            // The kernel's neighbours: one step before and after, the parent a lag before.
            for (int i = 1; i <= nx; ++i)
                for (int m = 1; m <= kComponents; ++m) {
                    EXPECT_EQ(layout.at(i - 1, m, 1) + W, layout.at(i, m, 1)) << what;
                    if (m > 1) {
                        EXPECT_EQ(layout.at(i, m - 1, 1) + W * ThinLayout::kLag + 1, layout.at(i, m, 1)) << what;
                    }
                }
        } else {
            const std::size_t row = layout.row();
            for (int c = 2; c <= nx + lines; ++c)
                for (int g = layout.first_group(c); g <= layout.last_group(c); ++g)
                    for (int m = 1; m <= kComponents; ++m)
                        for (int l = 0; l < W; ++l) {
                            const int q = W * g + 1 + l, i = c - q;
                            const bool real = q <= lines && i >= 1 && i <= nx;
                            EXPECT_EQ(layout.lanes(c, g).real.v[l] != 0, real) << what;
                            if (real)
                                visit(i, m, q, (static_cast<std::size_t>(c) * W + (m - 1)) * row + (W * g + 1 + l),
                                      layout.lanes(c, g).pattern, l);
                        }
            // The kernel's neighbours: west and east 4R, below and above 4R + 1 away; the
            // ghost lines 0 and L+1 at places of their own.
            for (int i = 1; i <= nx; ++i)
                for (int q = 1; q <= lines; ++q) {
                    EXPECT_EQ(layout.at(i - 1, 1, q) + W * row, layout.at(i, 1, q)) << what;
                    EXPECT_EQ(layout.at(i, 1, q - 1) + W * row + 1, layout.at(i, 1, q)) << what;
                    if (q == 1 || q == lines) {
                        EXPECT_EQ(places.count(layout.at(i, 1, q == 1 ? 0 : lines + 1)), 0u) << what;
                    }
                }
            EXPECT_GE(row, static_cast<std::size_t>(W * layout.groups() + 2)) << what;
        }
        ASSERT_EQ(order.size(), static_cast<std::size_t>(nx * lines * kComponents)) << what;
        // New before, old after: as in element order.
        for (const auto& [cell, when] : order) {
            const auto [i, m, q] = cell;
            auto before = [&](int i2, int m2, int q2) {
                const auto it = order.find({i2, m2, q2});
                return it == order.end() || it->second < when;
            };
            auto after = [&](int i2, int m2, int q2) {
                const auto it = order.find({i2, m2, q2});
                return it == order.end() || it->second > when;
            };
            EXPECT_TRUE(before(i - 1, m, q) && before(i, m, q - 1) && before(i, m - 1, q)) << what << " " << i;
            EXPECT_TRUE(after(i + 1, m, q) && after(i, m, q + 1) && after(i, m + 1, q)) << what << " " << i;
        }
    }
}

}  // namespace
}  // namespace quilmar::testing

// Reaction zones along the flow: which zone a cell centre belongs to.
#include <gtest/gtest.h>

#include "state/zones.hpp"

namespace quilmar {
namespace {

TEST(ReactionZone, CentresOnABoundBelongDownstream) {
    EXPECT_EQ(reaction_zone(9.999, 10, 20), 1);
    EXPECT_EQ(reaction_zone(10.0, 10, 20), 2);
    EXPECT_EQ(reaction_zone(19.999, 10, 20), 2);
    EXPECT_EQ(reaction_zone(20.0, 10, 20), 3);
    // Equal bounds: no zone 2, the bound itself is zone 3.
    EXPECT_EQ(reaction_zone(9.0, 10, 10), 1);
    EXPECT_EQ(reaction_zone(10.0, 10, 10), 3);
    // Reversed bounds: zone 2 is empty, everything from x2 on is zone 3.
    EXPECT_EQ(reaction_zone(5.0, 20, 10), 1);
    EXPECT_EQ(reaction_zone(15.0, 20, 10), 3);
    EXPECT_EQ(reaction_zone(25.0, 20, 10), 3);
}

}  // namespace
}  // namespace quilmar

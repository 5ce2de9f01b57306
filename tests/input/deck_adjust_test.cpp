// Deck values the source law cannot take as given, and how they are adjusted before use.
#include "input/deck_adjust.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "input/deck_layout.hpp"
#include "support/run_support.hpp"

namespace quilmar {
namespace {

struct Adjusted {
    double gamma, rates, t1, t2;
};

Adjusted adjust(double gamma, double rates, double t1, double t2) {
    Deck d;
    d.gamma = gamma;
    d.rates = rates;
    d.t1 = t1;
    d.t2 = t2;
    adjust_deck(d);
    return {d.gamma, d.rates, d.t1, d.t2};
}

TEST(DeckAdjustment, GammaAwayFromTheSingularValues) {
    EXPECT_EQ(adjust(0.5, 1, 0, 1).gamma, 0.500001);
    EXPECT_EQ(adjust(0.995, 1, 0, 1).gamma, 1.01);
    EXPECT_EQ(adjust(1.0, 1, 0, 1).gamma, 1.01);
    EXPECT_EQ(adjust(1.005, 1, 0, 1).gamma, 1.01);
    EXPECT_EQ(adjust(0.98, 1, 0, 1).gamma, 0.98);
    EXPECT_EQ(adjust(0.0, 1, 0, 1).gamma, 0.0);
    EXPECT_EQ(adjust(0.5000001, 1, 0, 1).gamma, 0.5000001);
}

TEST(DeckAdjustment, RatesFlooredAndZeroLengthRemediationStretched) {
    EXPECT_EQ(adjust(0.7, 0.0, 0, 1).rates, 1e-6);
    EXPECT_EQ(adjust(0.7, -3.0, 0, 1).rates, 1e-6);
    EXPECT_EQ(adjust(0.7, 2e-6, 0, 1).rates, 2e-6);
    const Adjusted a = adjust(0.7, 1, 10, 10);
    EXPECT_EQ(a.t1, 10.0);
    EXPECT_EQ(a.t2, 10.0 + 0.0001);
    EXPECT_EQ(adjust(0.7, 1, 10, 5).t2, 5.0);  // a reversed period is left as it is
}

TEST(DeckAdjustment, TheEchoShowsTheValueAsRead) {
    Deck d;
    testing::set_small_scenario(d);
    d.gamma = 0.5;
    d.rates = 0.0;
    Model s;
    std::istringstream in(testing::deck_text(d));
    std::ostringstream echo;
    read_deck(s, in, echo);
    EXPECT_EQ(testing::lines_of(echo.str()).at(8).substr(0, 5), " 0.5 ");
    EXPECT_EQ(testing::lines_of(echo.str()).at(11).substr(0, 3), " 0 ");
    std::ostringstream out;
    testing::set_up(s, out);
    EXPECT_EQ(s.deck.gamma, 0.500001);
    EXPECT_EQ(s.deck.rates, 1e-6);
}

}  // namespace
}  // namespace quilmar

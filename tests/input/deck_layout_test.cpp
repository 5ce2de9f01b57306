// The 42 records of the deck, their order and the fields they fill, and the echo lines.
#include "input/deck_layout.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;

// Items per record, in deck order.
constexpr int kItems[43] = {0, 4, 4, 4, 5, 5, 4, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
                            7, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 3, 2, 4};

// A deck whose item k of record r holds the value 100 r + k.
std::string numbered_deck() {
    std::string text;
    for (int r = 1; r <= 42; ++r) {
        text += "comment a of record " + std::to_string(r) + "\ncomment b\n";
        for (int k = 1; k <= kItems[r]; ++k) text += std::to_string(100 * r + k) + " ";
        text += "\n";
    }
    return text;
}

TEST(DeckLayout, EveryRecordFillsItsFieldsInOrder) {
    Model s;
    std::istringstream in(numbered_deck());
    std::ostringstream echo;
    read_deck(s, in, echo);
    const Deck& d = s.deck;
    EXPECT_EQ(d.czero(1), 101);
    EXPECT_EQ(d.czero(4), 104);
    EXPECT_EQ(d.tzeromass(4), 204);
    EXPECT_EQ(d.gamma, 301);
    EXPECT_EQ(d.xremove, 302);
    EXPECT_EQ(d.t1, 303);
    EXPECT_EQ(d.t2, 304);
    EXPECT_EQ(d.rates, 401);
    EXPECT_EQ(d.lysource, 402);
    EXPECT_EQ(d.lzsourcemax, 403);
    EXPECT_EQ(d.lzsourcemin, 404);
    EXPECT_EQ(d.vd, 405);
    EXPECT_EQ(d.porf, 501);
    EXPECT_EQ(d.tortf, 502);
    EXPECT_EQ(d.alphax, 503);
    EXPECT_EQ(d.alphat, 504);
    EXPECT_EQ(d.alphav, 505);
    EXPECT_EQ(d.retardf(4), 604);
    EXPECT_EQ(d.x1, 701);
    EXPECT_EQ(d.x2, 702);
    EXPECT_EQ(d.tplume2, 802);
    EXPECT_EQ(d.yieldf(2), 901);  // yieldf(1) is not read
    EXPECT_EQ(d.yieldf(4), 903);
    // Decay records: component outer, zone inner, the three periods in one record.
    EXPECT_EQ(d.decayf(1, 1, 1), 1001);
    EXPECT_EQ(d.decayf(1, 3, 2), 1202);
    EXPECT_EQ(d.decayf(2, 1, 1), 1301);
    EXPECT_EQ(d.decayf(4, 3, 3), 2103);
    EXPECT_EQ(d.mdflags, 2201);
    EXPECT_EQ(d.porms, 2202);
    EXPECT_EQ(d.tortms, 2203);
    EXPECT_EQ(d.diffs, 2204);
    EXPECT_EQ(d.amd, 2205);
    EXPECT_EQ(d.volfracs, 2206);
    EXPECT_EQ(d.difflens, 2207);
    EXPECT_EQ(d.retardms(1), 2301);
    EXPECT_EQ(d.yieldms(2), 2401);
    EXPECT_EQ(d.yieldms(4), 2403);
    EXPECT_EQ(d.decayms(1, 1, 1), 2501);
    EXPECT_EQ(d.decayms(3, 2, 1), 3201);
    EXPECT_EQ(d.decayms(4, 3, 3), 3603);
    EXPECT_EQ(d.dx, 3701);
    EXPECT_EQ(d.nx, 3702);
    EXPECT_EQ(d.dy, 3801);
    EXPECT_EQ(d.ny, 3802);
    EXPECT_EQ(d.dz, 3901);
    EXPECT_EQ(d.nz, 3902);
    EXPECT_EQ(d.dt, 4001);
    EXPECT_EQ(d.nt, 4002);
    EXPECT_EQ(d.npt, 4003);
    EXPECT_EQ(d.tol, 4101);
    EXPECT_EQ(d.maxit, 4102);
    EXPECT_EQ(d.xwell, 4201);
    EXPECT_EQ(d.ywell, 4202);
    EXPECT_EQ(d.zwelltop, 4203);
    EXPECT_EQ(d.zwellbot, 4204);
    EXPECT_EQ(s.com1, "comment b" + std::string(91, ' '));
}

TEST(DeckEcho, CommentsAsHundredCharactersAndOneLinePerRecord) {
    Model s;
    std::string deck = numbered_deck();
    // Record 3 spread over three lines with a note, and a comment of 120 characters.
    deck.replace(deck.find("301 302 303 304 \n"), 17, "0.5, 1e-1\n\n 1D1 +2.50 gamma xremove t1 t2\n");
    deck.replace(deck.find("comment a of record 5"), 21, std::string(120, 'c'));
    std::istringstream in(deck);
    std::ostringstream echo;
    read_deck(s, in, echo);
    const auto lines = lines_of(echo.str());
    ASSERT_EQ(lines.size(), 126u);
    for (int r = 1; r <= 42; ++r) {
        const std::string& a = lines[3 * (r - 1)];
        EXPECT_EQ(a.size(), 100u);
        EXPECT_EQ(a.rfind("comment a of record " + std::to_string(r), 0) == 0, r != 5);
        EXPECT_EQ(lines[3 * (r - 1) + 1], "comment b" + std::string(91, ' '));
    }
    EXPECT_EQ(lines[12], std::string(100, 'c'));
    // Values as read (gamma is adjusted only later), reals that read back exactly.
    EXPECT_EQ(lines[8], " 0.5 0.1 10 2.5");
    EXPECT_EQ(lines[11], " 401 402 403 404 405");
    EXPECT_EQ(lines[110], " 3701 3702");
    EXPECT_EQ(lines[125], " 4201 4202 4203 4204");
}

}  // namespace
}  // namespace quilmar

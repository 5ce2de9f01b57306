// Free-format reading of comment lines and value records, one record at a time.
#include "input/deck_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "state/run_stop.hpp"

namespace quilmar {
namespace {

struct FourReals {
    double v[4] = {-1, -1, -1, -1};
    std::vector<DeckItem> items() {
        return {{"czero(1)", &v[0], nullptr},
                {"czero(2)", &v[1], nullptr},
                {"czero(3)", &v[2], nullptr},
                {"czero(4)", &v[3], nullptr}};
    }
};

// Reads one record of four reals from text; returns what the reader left after it.
FourReals read_four(const std::string& text, std::string* rest = nullptr) {
    std::istringstream in(text);
    DeckReader reader(in);
    FourReals r;
    reader.read_record(1, r.items());
    if (rest) *rest = reader.read_comment(2, 1);
    return r;
}

std::string stop_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const RunStop& stop) {
        EXPECT_EQ(stop.status(), 2);
        return stop.what();
    }
    ADD_FAILURE() << "no stop";
    return "";
}

TEST(CommentLine, PaddedCutAndCarriageReturnDropped) {
    const std::string long_line(120, 'x');
    std::istringstream in("short\r\n" + long_line + "\n\n" + std::string(99, 'a') + "\r\r\n");
    DeckReader reader(in);
    const std::string a = reader.read_comment(1, 1);
    EXPECT_EQ(a, "short" + std::string(95, ' '));
    EXPECT_EQ(reader.read_comment(1, 2), std::string(100, 'x'));
    EXPECT_EQ(reader.read_comment(2, 1), std::string(100, ' '));
    // Only the one CR before the line feed belongs to the line end.
    EXPECT_EQ(reader.read_comment(2, 2), std::string(99, 'a') + "\r");
}

TEST(CommentLine, EndOfInputNamesTheRecordAndLine) {
    std::istringstream in("only one line\n");
    DeckReader reader(in);
    reader.read_comment(5, 1);
    EXPECT_EQ(stop_message([&] { reader.read_comment(5, 2); }), "deck record 5, comment line 2: end of input");
}

TEST(ValueRecord, SeparatorsNotesSplitLinesAndBlankLines) {
    std::string rest;
    auto r = read_four("1 2.5 , 3e0,4.  czero of the four components\nnext\n", &rest);
    EXPECT_EQ(r.v[0], 1.0);
    EXPECT_EQ(r.v[1], 2.5);
    EXPECT_EQ(r.v[2], 3.0);
    EXPECT_EQ(r.v[3], 4.0);
    EXPECT_EQ(rest.substr(0, 5), "next ");  // the note is skipped with the rest of its line

    r = read_four("  1.5  2.5\n\n   \n\t3.5\n4.5 note, with 5 6 numbers\nnext\n", &rest);
    EXPECT_EQ(r.v[0], 1.5);
    EXPECT_EQ(r.v[1], 2.5);
    EXPECT_EQ(r.v[2], 3.5);
    EXPECT_EQ(r.v[3], 4.5);
    EXPECT_EQ(rest.substr(0, 5), "next ");

    r = read_four("1\r\n2\r\n3,4,\r\nnext\r\n", &rest);
    EXPECT_EQ(r.v[3], 4.0);
    EXPECT_EQ(rest, "next" + std::string(96, ' '));
}

TEST(ValueRecord, RealFormsWithEAndDExponentsInEitherCase) {
    auto r = read_four("1.5e3 -2.5E-3 +7d2 .25D+01\n");
    EXPECT_EQ(r.v[0], 1500.0);
    EXPECT_EQ(r.v[1], -0.0025);
    EXPECT_EQ(r.v[2], 700.0);
    EXPECT_EQ(r.v[3], 2.5);
    r = read_four("5. -0 1e-300 0.1\n");
    EXPECT_EQ(r.v[0], 5.0);
    EXPECT_TRUE(std::signbit(r.v[1]));
    EXPECT_EQ(r.v[2], 1e-300);
    EXPECT_EQ(r.v[3], 0.1);  // the nearest double, as a compiler reads it
}

TEST(ValueRecord, MalformedRealsStopNamingRecordItemAndText) {
    EXPECT_EQ(stop_message([] { read_four("1 2 abc 4\n"); }),
              "deck record 1, item 3 (czero(3)): \"abc\" is not a real number");
    EXPECT_EQ(stop_message([] { read_four("1 2 3 1.5e\n"); }),
              "deck record 1, item 4 (czero(4)): \"1.5e\" is not a real number");
    EXPECT_EQ(stop_message([] { read_four("1 2 3 1.2.3\n"); }),
              "deck record 1, item 4 (czero(4)): \"1.2.3\" is not a real number");
    EXPECT_EQ(stop_message([] { read_four("1e999 2 3 4\n"); }),
              "deck record 1, item 1 (czero(1)): \"1e999\" is out of range for a double");
}

TEST(ValueRecord, TooFewValuesRunIntoTheNextCommentLine) {
    // A record one value short takes the next line, a comment, as its last value.
    EXPECT_EQ(stop_message([] { read_four("1 2 3\nRecord 2: tzeromass\n"); }),
              "deck record 1, item 4 (czero(4)): \"Record\" is not a real number");
    EXPECT_EQ(stop_message([] { read_four("1 2 3\n"); }), "deck record 1, item 4 (czero(4)): end of input");
}

TEST(ValueRecord, IntegersAreSignedDigitsOnly) {
    double dx = 0;
    int nx = -7;
    std::vector<DeckItem> items{{"dx", &dx, nullptr}, {"nx", nullptr, &nx}};
    auto read_into = [&](const std::string& text) {
        std::istringstream in(text);
        DeckReader(in).read_record(37, items);
    };
    read_into("2.5 +12\n");
    EXPECT_EQ(nx, 12);
    read_into("2.5 -3\n");
    EXPECT_EQ(nx, -3);
    read_into("2.5 2147483647\n");
    EXPECT_EQ(nx, 2147483647);
    EXPECT_EQ(stop_message([&] { read_into("2.5 10.0\n"); }), "deck record 37, item 2 (nx): \"10.0\" is not an integer");
    EXPECT_EQ(stop_message([&] { read_into("2.5 1e1\n"); }), "deck record 37, item 2 (nx): \"1e1\" is not an integer");
    EXPECT_EQ(stop_message([&] { read_into("2.5 ten\n"); }), "deck record 37, item 2 (nx): \"ten\" is not an integer");
    EXPECT_EQ(stop_message([&] { read_into("2.5 2147483648\n"); }),
              "deck record 37, item 2 (nx): \"2147483648\" is out of range for a 32-bit integer");
}

TEST(ValueRecord, RepeatCountsEmptyValuesAndSlash) {
    auto r = read_four("4*0.0\n");
    for (double v : r.v) EXPECT_EQ(v, 0.0);
    r = read_four("2*7.5 3 4\n");
    EXPECT_EQ(r.v[0], 7.5);
    EXPECT_EQ(r.v[1], 7.5);
    EXPECT_EQ(r.v[2], 3.0);
    // r* assigns nothing: the three items keep what they hold.
    r = read_four("3* 9\n");
    EXPECT_EQ(r.v[0], -1.0);
    EXPECT_EQ(r.v[2], -1.0);
    EXPECT_EQ(r.v[3], 9.0);
    // Empty values between commas, also at the start of the record.
    r = read_four(",2,,4\n");
    EXPECT_EQ(r.v[0], -1.0);
    EXPECT_EQ(r.v[1], 2.0);
    EXPECT_EQ(r.v[2], -1.0);
    EXPECT_EQ(r.v[3], 4.0);
    // A slash ends the record: the rest keep their values and the line is done.
    std::string rest;
    r = read_four("1 2 / 3 4\nnext\n", &rest);
    EXPECT_EQ(r.v[1], 2.0);
    EXPECT_EQ(r.v[2], -1.0);
    EXPECT_EQ(r.v[3], -1.0);
    EXPECT_EQ(rest.substr(0, 4), "next");
    // A repeat count longer than the record is cut at its end.
    r = read_four("9*1\nnext\n", &rest);
    EXPECT_EQ(r.v[3], 1.0);
    EXPECT_EQ(rest.substr(0, 4), "next");
    EXPECT_EQ(stop_message([] { read_four("0*1 2 3 4\n"); }),
              "deck record 1, item 1 (czero(1)): \"0*1\" has no valid repeat count");
    EXPECT_EQ(stop_message([] { read_four("2*x 3 4\n"); }),
              "deck record 1, item 1 (czero(1)): \"x\" is not a real number");
}

TEST(LineEnds, ACarriageReturnAloneEndsLinesWhenTheFirstLineEndsSo) {
    // Every line end a deck writer uses: CR alone (with LF and CR LF after it still read).
    std::istringstream in("title\rsecond\r1 2 3 4 note\rnext\r\nlast\n");
    DeckReader reader(in);
    EXPECT_EQ(reader.read_comment(1, 1).substr(0, 6), "title ");
    EXPECT_EQ(reader.read_comment(1, 2).substr(0, 7), "second ");
    FourReals r;
    reader.read_record(1, r.items());
    EXPECT_EQ(r.v[3], 4.0);
    EXPECT_EQ(reader.read_comment(2, 1).substr(0, 5), "next ");
    EXPECT_EQ(reader.read_comment(2, 2).substr(0, 5), "last ");
    // A deck whose first line ends in LF keeps a CR inside a later line as part of it.
    std::istringstream lf("a\nb\rc\n");
    DeckReader lf_reader(lf);
    lf_reader.read_comment(1, 1);
    EXPECT_EQ(lf_reader.read_comment(1, 2).substr(0, 4), "b\rc ");
}

TEST(SurplusNumbers, ANumberAfterTheLastValueIsNotedAndIgnored) {
    struct Case {
        const char* text;
        std::string surplus;
    };
    const std::vector<Case> cases = {
        {"1 2 3 4 0.5\n", "0.5"},
        {"1 2 3 4, -7e-3 fourth yield  \n", "-7e-3 fourth yield"},
        {"1\n2 3\n4 2*0\n", "2*0"},
        {"1 2 3 4 \x01x\n", ""},  // not a number
        {"1 2 3 4 5\x01\n", ""},
        {"1 2 3 4 porosity 0.3\n", ""},
        {"1 2 3 4 ! 0.3\n", ""},
        {"1 2 3 4 # 0.3\n", ""},
        {"1 2 / 0.3\n", ""},  // after a slash the line is a note by choice
        {"1 2 3 4,\n", ""},
        {"1 2 3 4 1st layer\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::istringstream in(c.text);
        DeckReader reader(in);
        FourReals r;
        reader.read_record(1, r.items());
        EXPECT_EQ(reader.surplus_number(), c.surplus);
    }
}

TEST(Messages, BytesOutsidePrintableTextAreEscaped) {
    EXPECT_EQ(stop_message([] { read_four("1 2 a\x1b[2J\xff 4\n"); }),
              "deck record 1, item 3 (czero(3)): \"a\\x1b[2J\\xff\" is not a real number");
    EXPECT_EQ(printable("\t\x7f\xc2\xb5"), "\\x09\\x7f\\xc2\\xb5");
    EXPECT_EQ(printable(std::string(41, 'x')), std::string(40, 'x') + "...");
}

TEST(EchoNumbers, RealsReadBackToTheSameDouble) {
    for (double v : {0.1, 1.0 / 3.0, 1e-20, 123456789.125, -2.5e300, 5e-324, 0.0}) {
        double back = 0;
        bool range = false;
        ASSERT_TRUE(parse_deck_real(shortest_real(v), back, range)) << shortest_real(v);
        EXPECT_EQ(back, v);
    }
}

}  // namespace
}  // namespace quilmar

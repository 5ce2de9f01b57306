// The deck echo and what a failed read leaves behind, on the real program.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace quilmar::testing {
namespace {

const char* const kResultFiles[] = {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"};

std::string header_of(const std::string& name) {
    if (name == "discharge.out") return " Time, X, Discharge1, Discharge2, Discharge3, Discharg4\n";
    if (name == "Quilmar.out") return " Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4\n";
    if (name == "plume_mass.out") return " Time,C1low,C1hi,C2low,C2hi,C3low,C3hi,C4low,C4hi\n";
    return " Time, C1well, C2well, C3well, C4well\n";
}

// The same deck written the way people write decks: notes after the values, a record split
// over two lines with a blank line between, and CR LF line ends.
std::string as_written_by_hand(const std::string& plain) {
    const auto lines = lines_of(plain);
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string l = lines[i];
        const bool value_line = i % 3 == 2;
        if (i == 2) {  // record 1, four values: two on one line, two on the next
            const std::size_t cut = l.find(' ', l.find(' ', 1) + 1);
            l = l.substr(0, cut) + "\r\n\r\n" + l.substr(cut + 1) + "   czero(3), czero(4)";
        } else if (value_line) {
            l += (i % 2 ? "   note after the values" : ",  see the manual, 3 4 5");
        }
        out += l + "\r\n";
    }
    return out;
}

TEST(DeckEcho, NotesSplitRecordAndCrLfEchoExactlyLikeThePlainDeck) {
    const std::string plain = DeckBuilder().steps(0.5, 2, 2).text();
    const std::string by_hand = as_written_by_hand(plain);
    ASSERT_NE(plain, by_hand);
    TempDir a, b;
    RunResult ra = run_program(plain, a);
    RunResult rb = run_program(by_hand, b);
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    const auto echo = lines_of(rb.out);
    ASSERT_GE(echo.size(), 126u);
    EXPECT_EQ(echo[2], " 10 0 0 0");
    EXPECT_EQ(rb.out, ra.out);
    for (const char* f : kResultFiles) EXPECT_EQ(rb.files[f], ra.files[f]) << f;
    EXPECT_EQ(rb.err, ra.err);
}

TEST(FailedRead, StatusTwoEchoSoFarAndHeaderLinesOnly) {
    std::string text = DeckBuilder().text();
    // Record 37 holds dx and nx; nx written as a real.
    const std::string rec37 = " 2 10\n";
    const std::size_t p = text.find(rec37, text.find("record 37"));
    ASSERT_NE(p, std::string::npos);
    text.replace(p, rec37.size(), " 2 10.0\n");
    TempDir dir;
    RunResult r = run_program(text, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: deck record 37, item 2 (nx): \"10.0\" is not an integer\n");
    const auto out = lines_of(r.out);
    ASSERT_EQ(out.size(), 3u * 36 + 2);  // the echo up to the two comment lines of record 37
    EXPECT_EQ(out.back(), "values: dx nx" + std::string(87, ' '));
    for (const char* f : kResultFiles) EXPECT_EQ(r.files[f], header_of(f)) << f;
}

TEST(FailedRead, EmptyAndTruncatedDecksStillWriteTheHeaders) {
    TempDir dir;
    RunResult r = run_program("", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quilmar_v3: deck record 1, comment line 1: end of input\n");
    for (const char* f : kResultFiles) EXPECT_EQ(r.files[f], header_of(f)) << f;

    const std::string text = DeckBuilder().text();
    TempDir dir2;
    // Cut inside the last record: xwell and ywell are there, zwelltop is not.
    r = run_program(text.substr(0, text.rfind(" 9 0.5")) + " 9 0.5", dir2);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: deck record 42, item 3 (zwelltop): end of input\n");
    EXPECT_EQ(lines_of(r.out).size(), 125u);
    for (const char* f : kResultFiles) EXPECT_EQ(r.files[f], header_of(f)) << f;
}

}  // namespace
}  // namespace quilmar::testing

#pragma once
// Free-format reading of a fixed-layout deck: comment lines of 100 characters and value
// records read item by item, in the list-directed conventions deck writers expect
// (blank or comma separators, records over several lines, r*value repeats, empty values
// between commas, a slash that ends a record early).
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "text/shortest_real.hpp"

namespace quilmar {

inline constexpr std::size_t kCommentWidth = 100;

// One item of a value record: its name for messages and where its value goes.
struct DeckItem {
    std::string name;
    double* real = nullptr;  // exactly one of real/integer is set
    int* integer = nullptr;
};

class DeckReader {
public:
    explicit DeckReader(std::istream& in) : in_(in) {}

    // Reads the next line as a comment of exactly 100 characters (padded or cut).
    // which_line is 1 or 2 and only serves the message on end of input.
    std::string read_comment(int record, int which_line);

    // Reads the items of one value record; what is not assigned (empty values, a slash)
    // keeps its current value. The rest of the line after the last value is skipped.
    void read_record(int record, const std::vector<DeckItem>& items);

    // After read_record: the rest of the record's last line when it begins with what reads
    // as a number (most likely a value too many: it is ignored like any note), else empty.
    // Shown as in messages, non-printable bytes escaped.
    const std::string& surplus_number() const { return surplus_; }

private:
    // Line ends: LF, CR LF, or CR alone. A deck whose first line ends in LF or CR LF is read
    // with those only (a CR elsewhere belongs to its line); one whose first line ends in a
    // lone CR is read with all three.
    bool next_line();
    void note_surplus(std::string_view rest);
    void skip_blanks_and_line_ends(int record, std::size_t item_no, const DeckItem& item);
    [[noreturn]] void fail(int record, std::size_t item_no, const DeckItem& item, const std::string& what) const;
    void assign(int record, std::size_t item_no, const DeckItem& item, std::string_view text) const;

    std::istream& in_;
    std::string line_;
    std::size_t pos_ = 0;
    bool have_line_ = false;
    enum class LineEnds { Unknown, Lf, Any } line_ends_ = LineEnds::Unknown;
    std::string surplus_;
};

// Text from a deck as it appears in a one-line message: every byte outside printable
// ASCII written as \xNN, long texts cut.
std::string printable(std::string_view text);

// Conversions of one free-format value; false when the text is not of the kind.
bool parse_deck_real(std::string_view text, double& value, bool& out_of_range);
bool parse_deck_integer(std::string_view text, int& value, bool& out_of_range);

}  // namespace quilmar

#include "input/deck_reader.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "state/run_stop.hpp"

namespace quilmar {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_token(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string printable(std::string_view text) {
    constexpr std::size_t kMax = 40;
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kMax) out += "...";
    return out;
}

bool parse_deck_integer(std::string_view text, int& value, bool& out_of_range) {
    out_of_range = false;
    std::size_t p = 0;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    if (p == text.size()) return false;
    for (std::size_t q = p; q < text.size(); ++q)
        if (!is_digit(text[q])) return false;
    long long v = 0;
    for (std::size_t q = p; q < text.size(); ++q) {
        v = v * 10 + (text[q] - '0');
        if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
            out_of_range = true;
            return false;
        }
    }
    if (text[0] == '-') v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) {
        out_of_range = true;
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

bool parse_deck_real(std::string_view text, double& value, bool& out_of_range) {
    out_of_range = false;
    std::size_t p = 0;
    std::string normal;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) normal += text[p++];
    std::size_t digits = 0;
    while (p < text.size() && is_digit(text[p])) { normal += text[p++]; ++digits; }
    if (p < text.size() && text[p] == '.') {
        normal += text[p++];
        while (p < text.size() && is_digit(text[p])) { normal += text[p++]; ++digits; }
    }
    if (digits == 0) return false;
    if (p < text.size()) {
        const char e = text[p];
        if (e != 'e' && e != 'E' && e != 'd' && e != 'D') return false;
        normal += 'e';
        ++p;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) normal += text[p++];
        std::size_t exp_digits = 0;
        while (p < text.size() && is_digit(text[p])) { normal += text[p++]; ++exp_digits; }
        if (exp_digits == 0 || p != text.size()) return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(normal.c_str(), &end);
    if (end != normal.c_str() + normal.size()) return false;
    if (!std::isfinite(v)) {
        out_of_range = true;
        return false;
    }
    value = v;
    return true;
}

bool DeckReader::next_line() {
    line_.clear();
    have_line_ = false;
    std::istream::sentry ok(in_, true);
    if (!ok) return false;
    std::streambuf& sb = *in_.rdbuf();
    bool any = false;
    for (;;) {
        const int c = sb.sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            if (!any) {
                in_.setstate(std::ios::failbit);
                return false;
            }
            break;
        }
        any = true;
        if (c == '\n') break;
        if (c == '\r' && line_ends_ != LineEnds::Lf) {
            const int next = sb.sgetc();
            if (line_ends_ == LineEnds::Unknown) line_ends_ = next == '\n' ? LineEnds::Lf : LineEnds::Any;
            if (line_ends_ == LineEnds::Any) {
                if (next == '\n') sb.sbumpc();
                break;
            }
        }
        line_ += static_cast<char>(c);
    }
    if (line_ends_ == LineEnds::Unknown) line_ends_ = LineEnds::Lf;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    pos_ = 0;
    have_line_ = true;
    return true;
}

std::string DeckReader::read_comment(int record, int which_line) {
    if (!next_line())
        throw RunStop(kExitInputOrIndex, "deck record " + std::to_string(record) + ", comment line " +
                                             std::to_string(which_line) + ": end of input");
    std::string com = line_.substr(0, kCommentWidth);
    com.resize(kCommentWidth, ' ');
    have_line_ = false;
    return com;
}

void DeckReader::fail(int record, std::size_t item_no, const DeckItem& item, const std::string& what) const {
    throw RunStop(kExitInputOrIndex, "deck record " + std::to_string(record) + ", item " +
                                         std::to_string(item_no) + " (" + item.name + "): " + what);
}

void DeckReader::assign(int record, std::size_t item_no, const DeckItem& item, std::string_view text) const {
    bool range = false;
    if (item.integer) {
        int v = 0;
        if (!parse_deck_integer(text, v, range))
            fail(record, item_no, item,
                 "\"" + printable(text) + "\"" + (range ? " is out of range for a 32-bit integer" : " is not an integer"));
        *item.integer = v;
    } else {
        double v = 0;
        if (!parse_deck_real(text, v, range))
            fail(record, item_no, item,
                 "\"" + printable(text) + "\"" + (range ? " is out of range for a double" : " is not a real number"));
        *item.real = v;
    }
}

void DeckReader::skip_blanks_and_line_ends(int record, std::size_t item_no, const DeckItem& item) {
    for (;;) {
        if (have_line_) {
            while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
            if (pos_ < line_.size()) return;
        }
        if (!next_line()) fail(record, item_no, item, "end of input");
    }
}

void DeckReader::read_record(int record, const std::vector<DeckItem>& items) {
    std::size_t k = 0;  // next item to assign
    surplus_.clear();
    bool comma_allowed = false;  // a comma right after a value only separates it from the next
    while (k < items.size()) {
        skip_blanks_and_line_ends(record, k + 1, items[k]);
        char c = line_[pos_];
        if (c == ',' && comma_allowed) {
            ++pos_;
            comma_allowed = false;
            continue;
        }
        if (c == ',') {  // an empty value: the item keeps what it holds
            ++pos_;
            ++k;
            continue;
        }
        if (c == '/') {  // the record ends here; the remaining items keep what they hold
            have_line_ = false;
            return;
        }
        const std::size_t start = pos_;
        while (pos_ < line_.size() && !ends_token(line_[pos_])) ++pos_;
        const std::string_view token(line_.data() + start, pos_ - start);
        const std::size_t star = token.find('*');
        if (star == std::string_view::npos) {
            assign(record, k + 1, items[k], token);
            ++k;
        } else {
            int repeat = 0;
            bool range = false;
            const std::string_view count = token.substr(0, star);
            if (count.empty() || count[0] == '+' || count[0] == '-' || !parse_deck_integer(count, repeat, range) ||
                repeat < 1)
                fail(record, k + 1, items[k], "\"" + printable(token) + "\" has no valid repeat count");
            const std::string_view value = token.substr(star + 1);
            for (int r = 0; r < repeat && k < items.size(); ++r, ++k)
                if (!value.empty()) assign(record, k + 1, items[k], value);
        }
        comma_allowed = true;
    }
    // The rest of the line after the record's last value is not read as values.
    note_surplus(std::string_view(line_).substr(pos_));
    have_line_ = false;
}

void DeckReader::note_surplus(std::string_view rest) {
    std::size_t p = 0;
    while (p < rest.size() && is_blank(rest[p])) ++p;
    if (p < rest.size() && rest[p] == ',') ++p;
    while (p < rest.size() && is_blank(rest[p])) ++p;
    std::size_t end = p;
    while (end < rest.size() && !ends_token(rest[end])) ++end;
    const std::string_view token = rest.substr(p, end - p);
    if (token.empty()) return;
    double v = 0;
    bool range = false;
    bool number = parse_deck_real(token, v, range) || range;
    const std::size_t star = token.find('*');
    if (!number && star != std::string_view::npos && star > 0) {
        int repeat = 0;
        number = is_digit(token[0]) && parse_deck_integer(token.substr(0, star), repeat, range) && repeat >= 1;
    }
    if (!number) return;
    std::size_t last = rest.size();
    while (last > p && is_blank(rest[last - 1])) --last;
    surplus_ = printable(rest.substr(p, last - p));
}

}  // namespace quilmar

// Robustness of the deck reader and of the setup behind it: thousands of damaged decks,
// derived from a small copy of the solvent-chain example (6 x 3 x 5 cells, 3 steps), each
// run in-process. Every one must either run (exit status 0, or 1 when a step does not
// converge) or stop with exit status 2 and a one-line report, leave result files of
// complete lines, and never crash or hang. The sanitizer build runs the same cases (fewer
// of them) under AddressSanitizer and UndefinedBehaviorSanitizer.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/run.hpp"

namespace quilmar::fuzz {
namespace {

// The fuzz executable is built on its own (also under the sanitizers) and keeps its few
// helpers here.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quilmar-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch folder");
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) lines.push_back(line);
    return lines;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 3;  // sanitized runs are several times slower
#else
constexpr int kScale = 4;
#endif
constexpr unsigned kSecondsPerRun = 60;

// A run that does not come back is reported by the alarm with the case it was running.
char g_running[160] = "";

extern "C" void on_run_timeout(int) {
    static const char head[] = "deck fuzz: no result within the time limit for case: ";
    if (::write(2, head, sizeof head - 1) < 0) {}
    if (::write(2, g_running, std::strlen(g_running)) < 0) {}
    if (::write(2, "\n", 1) < 0) {}
    ::_exit(3);
}

struct FuzzCase {
    std::string name;
    std::string deck;
};

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + '\n';
    return text;
}

// Positions [begin, end) of the blank- or comma-separated tokens of a line.
std::vector<std::pair<std::size_t, std::size_t>> tokens_of(const std::string& line) {
    std::vector<std::pair<std::size_t, std::size_t>> tokens;
    std::size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && (line[p] == ' ' || line[p] == ',')) ++p;
        const std::size_t b = p;
        while (p < line.size() && line[p] != ' ' && line[p] != ',') ++p;
        if (p > b) tokens.emplace_back(b, p);
    }
    return tokens;
}

class DeckMutator {
public:
    explicit DeckMutator(std::string seed) : seed_(std::move(seed)), lines_(split_lines(seed_)), rng_(20240611u) {}

    std::vector<FuzzCase> all() {
        std::vector<FuzzCase> cases;
        truncations(cases);
        repeat(cases, 300 * kScale, "byte flips", [this] { return flip_bytes(); });
        repeat(cases, 150 * kScale, "value replaced by a word", [this] { return replace_value(kWords); });
        repeat(cases, 100 * kScale, "extreme value", [this] { return replace_value(kExtremes, true); });
        repeat(cases, 60 * kScale, "NUL bytes", [this] { return insert_nuls(); });
        repeat(cases, 40 * kScale, "line of 100000 characters", [this] { return long_line(); });
        repeat(cases, 60 * kScale, "lines moved", [this] { return move_lines(); });
        return cases;
    }

private:
    // Texts that are not values of the item's kind, or are values only in part.
    static inline const std::vector<std::string> kWords = {
        "abc", "NaN", "nan", "inf", "-Infinity", "1e", "1e+", "--1", "+-2", "1.2.3", "1d", "0x10", ".", "-.",
        "e5", "1..", "*", "3*", "0*5", "-1*2", "2*", "/", ",", ",,", "1,,2", "1/", "'5'", "\"5\"", "5;", "1e5e5",
        "12345678901234567890", "\t", "1 2 3 4 5 6 7 8", "-", "+"};
    // Values that read but lie at or beyond the ends of their types.
    static inline const std::vector<std::string> kExtremes = {
        "1e308", "-1e308", "1.7976931348623157e308", "1e309", "-1e999", "1e-400", "4.9e-324", "2.2250738585072014e-308",
        "1d300", "1D-300", "2147483647", "-2147483648", "2147483648", "-2147483649", "99999999999999999999",
        "0", "-0", "0.0", "-1", "-0.0", "1e-300", "9e18", "100000", "5000", "51", "50", "49", "1999", "2000"};

    template <typename F>
    void repeat(std::vector<FuzzCase>& cases, int count, const std::string& kind, F make) {
        for (int c = 0; c < count; ++c) cases.push_back({kind + " #" + std::to_string(c + 1), make()});
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

    // The deck cut after every line, with and without the last line end, and inside a line.
    void truncations(std::vector<FuzzCase>& cases) {
        for (std::size_t n = 0; n <= lines_.size(); ++n) {
            std::vector<std::string> head(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(n));
            const std::string whole = join_lines(head);
            cases.push_back({"cut after line " + std::to_string(n), whole});
            if (n > 0) {
                cases.push_back({"cut before the line end of line " + std::to_string(n), whole.substr(0, whole.size() - 1)});
                const std::string& last = lines_[n - 1];
                if (last.size() > 1) {
                    const std::size_t keep = whole.size() - 1 - last.size() + 1 + pick(last.size() - 1);
                    cases.push_back({"cut inside line " + std::to_string(n), whole.substr(0, keep)});
                }
            }
        }
    }

    std::string flip_bytes() {
        std::string deck = seed_;
        const std::size_t flips = 1 + pick(4);
        for (std::size_t f = 0; f < flips; ++f) deck[pick(deck.size())] = static_cast<char>(pick(256));
        return deck;
    }

    // Value records are every third line of the seed (two comment lines before each).
    std::size_t value_line(bool spare_time_records) {
        for (;;) {
            const std::size_t record = 1 + pick(42);
            if (spare_time_records && (record == 40 || record == 41)) continue;  // only long, sound runs
            return 3 * record - 1;
        }
    }

    std::string replace_value(const std::vector<std::string>& texts, bool spare_time_records = false) {
        std::vector<std::string> lines = lines_;
        std::string& line = lines[value_line(spare_time_records)];
        const auto tokens = tokens_of(line);
        const auto [b, e] = tokens[pick(tokens.size())];
        line.replace(b, e - b, texts[pick(texts.size())]);
        return join_lines(lines);
    }

    std::string insert_nuls() {
        std::string deck = seed_;
        const std::size_t count = 1 + pick(3);
        for (std::size_t c = 0; c < count; ++c) {
            const std::size_t at = pick(deck.size());
            if (pick(2) == 0)
                deck.insert(at, 1, '\0');
            else
                deck[at] = '\0';
        }
        return deck;
    }

    std::string long_line() {
        static const std::vector<std::string> patterns = {" ", "x", "9", "1 ", ",", "/", "-", "\t", "1e", "*", "0.5,", "\r"};
        std::string text;
        const std::string& p = patterns[pick(patterns.size())];
        while (text.size() < 100000) text += p;
        text.resize(100000);
        std::vector<std::string> lines = lines_;
        const std::size_t at = pick(lines.size());
        switch (pick(3)) {
            case 0: lines[at] = text; break;
            case 1: lines[at] += text; break;
            default: lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), text); break;
        }
        return join_lines(lines);
    }

    std::string move_lines() {
        std::vector<std::string> lines = lines_;
        const std::size_t a = pick(lines.size());
        const std::size_t b = pick(lines.size());
        switch (pick(6)) {
            case 0: lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(a)); break;
            case 1: lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(a), lines[b]); break;
            case 2: std::swap(lines[a], lines[b]); break;
            case 3: lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(a), ""); break;
            case 4:
                if (a + 1 < lines.size()) {
                    lines[a] += " " + lines[a + 1];
                    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(a) + 1);
                }
                break;
            default:
                for (std::string& l : lines) l += '\r';
                break;
        }
        return join_lines(lines);
    }

    std::string seed_;
    std::vector<std::string> lines_;
    std::mt19937_64 rng_;
};

bool is_warning(const std::string& line) { return line.rfind("quilmar_v3: warning: ", 0) == 0; }

// The outcome of one damaged deck: a status the program documents, a report for a stop,
// and result files that end in a complete line.
void expect_sound_outcome(const FuzzCase& c, int status, const std::string& err, const ScratchDir& dir) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(status == 0 || status == 1 || status == 2) << "exit status " << status;
    ASSERT_TRUE(err.empty() || err.back() == '\n') << err;
    const std::vector<std::string> lines = lines_of(err);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_TRUE(is_warning(lines[i])) << lines[i];
    if (status == 0) {
        EXPECT_TRUE(lines.empty() || is_warning(lines.back())) << err;
    } else {
        ASSERT_FALSE(lines.empty()) << "a stop without a report";
        EXPECT_EQ(lines.back().rfind("quilmar_v3: ", 0), 0u) << lines.back();
        EXPECT_FALSE(is_warning(lines.back())) << lines.back();
    }
    for (const char* name : {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"}) {
        const std::string text = read_file(dir.file(name));
        ASSERT_FALSE(text.empty()) << name << " has no header line";
        EXPECT_EQ(text.back(), '\n') << name << " ends in a partial line";
    }
}

std::string seed_deck() { return read_file(std::string(QUILMAR_SOURCE_DIR) + "/tests/input/fuzz_seed.deck"); }

TEST(DeckFuzz, SeedDeckRunsToItsEnd) {
    ScratchDir dir;
    std::istringstream in(seed_deck());
    std::ostringstream out, err;
    EXPECT_EQ(run(in, out, err, RunOptions{dir.path()}), 0) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(lines_of(read_file(dir.file("obs_well.out"))).size(), 4u);  // header and 3 steps
}

TEST(DeckFuzz, DamagedDecksRunOrStopWithAReport) {
    const std::string seed = seed_deck();
    ASSERT_FALSE(seed.empty());
    const std::vector<FuzzCase> cases = DeckMutator(seed).all();
    // One solver thread per run: the damage is to the deck, and a team of threads started
    // and stopped thousands of times would only slow the test down.
    ::setenv("QUILMAR_THREADS", "1", 1);
    std::signal(SIGALRM, on_run_timeout);
    ScratchDir dir;
    int counts[3] = {0, 0, 0};
    for (const FuzzCase& c : cases) {
        std::snprintf(g_running, sizeof g_running, "%s", c.name.c_str());
        std::istringstream in(c.deck);
        std::ostringstream out, err;
        ::alarm(kSecondsPerRun);
        const int status = run(in, out, err, RunOptions{dir.path()});
        ::alarm(0);
        expect_sound_outcome(c, status, err.str(), dir);
        if (::testing::Test::HasFatalFailure()) return;
        if (status >= 0 && status <= 2) ++counts[status];
    }
    std::signal(SIGALRM, SIG_DFL);
    // The damage must reach past the reader: some decks still run, many stop.
    EXPECT_GT(counts[0], 50);
    EXPECT_GT(counts[2], 200);
    std::printf("deck fuzz: %zu decks: %d ran, %d did not converge, %d stopped\n", cases.size(), counts[0],
                counts[1], counts[2]);
}

}  // namespace
}  // namespace quilmar::fuzz

// The messages listed in docs/outputs.md are the ones the program writes: every deck and
// situation below produces messages, each must match a documented one (its placeholders,
// words in capitals, standing for a value without blanks when of one letter, else for any
// text), and every documented message must be produced by one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "driver/run.hpp"
#include "results/result_files.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;
using testing::TempDir;

struct Documented {
    std::string text;
    std::regex pattern;
};

// The first quoted message of every table row after the heading of the messages.
std::vector<Documented> documented_messages() {
    const std::string doc = testing::read_file(std::string(QUILMAR_SOURCE_DIR) + "/docs/outputs.md");
    std::vector<Documented> found;
    const std::size_t from = doc.find("## Messages on standard error");
    for (const std::string& line : lines_of(doc.substr(from))) {
        if (line.rfind("| `", 0) != 0) continue;
        const std::string text = line.substr(3, line.find('`', 3) - 3);
        std::string re;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t j = i;
            while (j < text.size() && std::isupper(static_cast<unsigned char>(text[j]))) ++j;
            const bool word = j > i && (i == 0 || !std::isalpha(static_cast<unsigned char>(text[i - 1]))) &&
                              (j == text.size() || !std::isalpha(static_cast<unsigned char>(text[j])));
            if (word) {
                re += j - i == 1 ? "([^ ]+)" : "(.+)";  // a number or a name; a text
                i = j;
                continue;
            }
            if (std::string(".^$|()[]{}*+?\\").find(text[i]) != std::string::npos) re += '\\';
            re += text[i++];
        }
        found.push_back({text, std::regex(re)});
    }
    return found;
}

// A console that calls back on every write, or refuses every write.
class Console : public std::streambuf {
public:
    std::function<void(const std::string&)> on_write = [](const std::string&) {};
    bool full = false;
    std::string text;

protected:
    int overflow(int c) override {
        const char ch = static_cast<char>(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (full) {
            errno = ENOSPC;
            return 0;
        }
        text.append(s, static_cast<std::size_t>(n));
        on_write(std::string(s, static_cast<std::size_t>(n)));
        return n;
    }
};

std::string small_deck(const std::function<void(Deck&)>& change = [](Deck&) {}) {
    return testing::DeckBuilder().change(change).text();
}

// Replaces the value line of record r (1-based) of a deck text.
std::string with_record(const std::string& deck, int r, const std::string& values) {
    auto lines = lines_of(deck);
    lines[static_cast<std::size_t>(3 * r - 1)] = values;
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

std::vector<std::string> in_process(const std::string& deck, const std::string& dir, Console* console = nullptr) {
    Console plain;
    std::ostream out(console ? console : &plain);
    std::istringstream in(deck);
    std::ostringstream err;
    run(in, out, err, RunOptions{dir});
    return lines_of(err.str());
}

TEST(DocumentedMessages, EveryMessageIsDocumentedAndEveryDocumentedOneOccurs) {
    std::vector<std::string> produced;
    auto add = [&](const std::vector<std::string>& lines) { produced.insert(produced.end(), lines.begin(), lines.end()); };
    TempDir dir;
    const std::string deck = small_deck();
    // Reading the deck.
    add(in_process(deck.substr(0, 9), dir.path()));
    add(in_process(deck.substr(0, deck.find("values:") + 30), dir.path()));
    for (const char* bad : {"abc 0 0 0", "0*1 0 0 0", "1e999 0 0 0"}) add(in_process(with_record(deck, 1, bad), dir.path()));
    for (const char* bad : {"2 10.0", "2 9999999999"}) add(in_process(with_record(deck, 37, bad), dir.path()));
    add(in_process(with_record(deck, 9, "0 0 0 0.5"), dir.path()));
    // Deck values: rejections and warnings.
    const std::vector<std::function<void(Deck&)>> changes = {
        [](Deck& d) { d.mdflags = 8; }, [](Deck& d) { d.mdflags = 1; d.porms = 0; },
        [](Deck& d) { d.mdflags = 2; d.difflens = 0; }, [](Deck& d) { d.volfracs = 1.5; },
        [](Deck& d) { d.dx = 0; }, [](Deck& d) { d.nx = 0; }, [](Deck& d) { d.ny = 0; }, [](Deck& d) { d.nz = 0; },
        [](Deck& d) { d.ywell = 3.5; }, [](Deck& d) { d.zwelltop = 2.5; },
        [](Deck& d) { d.zwelltop = 0.5; d.zwellbot = 1.5; }, [](Deck& d) { d.xremove = 1.5; },
        [](Deck& d) { d.vd = -1; }, [](Deck& d) { d.lysource = 0; }, [](Deck& d) { d.lzsourcemin = 0; },
        [](Deck& d) { d.lzsourcemax = 3; }, [](Deck& d) { d.lzsourcemin = 2; d.lzsourcemax = 1; },
        [](Deck& d) { d.porf = 0; }, [](Deck& d) { d.dt = 0; }, [](Deck& d) { d.volfracs = 0.8; },
        [](Deck& d) { d.dx = 2000; d.xwell = 1000; }, [](Deck& d) { d.xwell = 25; },
        [](Deck& d) { d.t1 = 10; d.t2 = 5; }, [](Deck& d) { d.dt = 5000; d.nt = 2; },
        [](Deck& d) { d.maxit = 1; }, [](Deck& d) { d.nx = 2000; },
        [](Deck& d) { d.mdflags = 1; d.retardms(1) = 0; },
        [](Deck& d) { d.mdflags = 7; d.volfracs = 0.8; d.diffs = 1e300; },
    };
    for (const auto& change : changes) add(in_process(small_deck(change), dir.path()));
    // The run's surroundings: a folder that is missing, a result file on a full device, a
    // console that cannot be written, a folder in use, signals after the deck and in a step.
    add(in_process(deck, dir.file("missing")));
    {
        TempDir full;
        std::filesystem::create_symlink("/dev/full", full.file("plume_mass.out"));
        add(in_process(deck, full.path()));
    }
    Console console;
    console.full = true;
    add(in_process(deck, dir.path(), &console));
    {
        const int fd = ::open(dir.file("quilmar.lock").c_str(), O_RDWR | O_CREAT, 0644);
        ::flock(fd, LOCK_EX);
        add(in_process(deck, dir.path()));
        ::close(fd);
    }
    for (const char* when : {"record 42", "time =  1 "}) {
        Console signalled;
        signalled.on_write = [when](const std::string& t) {
            if (t.find(when) != std::string::npos) note_stop_signal(SIGINT);
        };
        add(in_process(deck, dir.path(), &signalled));
    }
    // The program itself: its command line, the run options and the timing line.
    for (const char* env : {"QUILMAR_TIMING=1", "QUILMAR_TIMING=1 QUILMAR_THREADS=100000", "QUILMAR_THREADS=abc",
                            "QUILMAR_TIMING=maybe"})
        add(lines_of(testing::run_program(deck, dir, env).err));
    for (const char* args : {"--frob", "a.deck b.deck", "missing.deck", "."}) {
        std::string cmd = std::string("cd '") + dir.path() + "' && '" + QUILMAR_BINARY + "' " + args +
                          " < /dev/null 2> err.txt > /dev/null";
        EXPECT_NE(std::system(cmd.c_str()), 0);
        produced.push_back(lines_of(testing::read_file(dir.file("err.txt"))).at(0));
    }

    const std::vector<Documented> docs = documented_messages();
    ASSERT_GT(docs.size(), 40u);
    std::vector<bool> seen(docs.size(), false);
    for (const std::string& line : produced) {
        ASSERT_EQ(line.rfind("quilmar_v3: ", 0), 0u) << line;
        bool documented = false;
        for (std::size_t i = 0; i < docs.size(); ++i)
            if (std::regex_match(line.substr(12), docs[i].pattern)) documented = seen[i] = true;
        EXPECT_TRUE(documented) << "not in docs/outputs.md: " << line;
    }
    // Produced elsewhere: by a signal while the deck is read (the signal tests), and by
    // faults of the program.
    const std::vector<std::string> elsewhere = {"interrupted by SIGNAL while reading the deck",
                                                "Index 'I' of dimension D of array 'A' above upper bound of B",
                                                "array 'A' was accessed after the run had released it"};
    for (std::size_t i = 0; i < docs.size(); ++i) {
        if (std::find(elsewhere.begin(), elsewhere.end(), docs[i].text) == elsewhere.end()) {
            EXPECT_TRUE(seen[i]) << "documented, but no case here produces it: " << docs[i].text;
        }
    }
}

}  // namespace
}  // namespace quilmar

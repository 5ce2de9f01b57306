// The command line: --help and --version, a deck file in place of standard input, and the
// usage on standard error for anything else; the deck's surplus numbers as warnings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "driver/arguments.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;
using testing::read_file;
using testing::TempDir;

TEST(Arguments, SwitchesDeckFileAndMisuse) {
    using A = Invocation::Action;
    struct Case {
        std::vector<std::string> args;
        A action;
        std::string deck;
        bool budget;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {{}, A::Run, "", false, ""},
        {{"-"}, A::Run, "", false, ""},
        {{"site.deck"}, A::Run, "site.deck", false, ""},
        {{"--budget", "site.deck"}, A::Run, "site.deck", true, ""},
        {{"site.deck", "--budget"}, A::Run, "site.deck", true, ""},
        {{"--frob", "--help"}, A::Help, "", false, ""},  // help wins over what it would explain
        {{"-h"}, A::Help, "", false, ""},
        {{"--version"}, A::Version, "", false, ""},
        {{"--frob"}, A::Misuse, "", false, "unknown argument '--frob'"},
        {{"-x"}, A::Misuse, "", false, "unknown argument '-x'"},
        {{""}, A::Misuse, "", false, "unknown argument ''"},
        {{"a.deck", "b.deck"}, A::Misuse, "a.deck", false, "more than one deck file ('a.deck', 'b.deck')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const Invocation inv = parse_arguments(c.args);
        EXPECT_EQ(inv.action, c.action);
        EXPECT_EQ(inv.deck_path, c.deck);
        EXPECT_EQ(inv.options.budget, c.budget);
        EXPECT_EQ(inv.problem, c.problem);
    }
}

int shell(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(CommandLine, HelpVersionAndUsageOnMisuse) {
    TempDir dir;
    const std::string bin = std::string("cd '") + dir.path() + "' && '" + QUILMAR_BINARY + "' ";
    EXPECT_EQ(shell(bin + "--help > out.txt 2> err.txt < /dev/null"), 0);
    EXPECT_EQ(read_file(dir.file("out.txt")), usage_text());
    EXPECT_EQ(read_file(dir.file("err.txt")), "");
    EXPECT_NE(usage_text().find("--budget    write budget.out, the mass budget of every step"), std::string::npos);
    for (const char* name : {"QUILMAR_THREADS", "QUILMAR_REFERENCE", "QUILMAR_PORTABLE", "QUILMAR_TIMING"})
        EXPECT_NE(usage_text().find(name), std::string::npos) << name;

    EXPECT_EQ(shell(bin + "--version > out.txt 2> err.txt < /dev/null"), 0);
    EXPECT_EQ(read_file(dir.file("out.txt")).rfind("quilmar_v3 ", 0), 0u);

    // A misuse writes nothing but the usage, and creates no result file.
    EXPECT_EQ(shell(bin + "--frob > out.txt 2> err.txt < /dev/null"), 2);
    EXPECT_EQ(read_file(dir.file("out.txt")), "");
    EXPECT_EQ(read_file(dir.file("err.txt")), "quilmar_v3: unknown argument '--frob'\n\n" + usage_text());
    EXPECT_EQ(read_file(dir.file("discharge.out")), "");

    EXPECT_EQ(shell(bin + "missing.deck > out.txt 2> err.txt < /dev/null"), 2);
    EXPECT_EQ(read_file(dir.file("err.txt")),
              "quilmar_v3: cannot read deck file 'missing.deck': No such file or directory\n");
}

TEST(CommandLine, ADeckFileRunsAsTheSameDeckOnStandardInput) {
    Deck d;
    testing::set_small_scenario(d);
    TempDir piped, named;
    const testing::RunResult a = testing::run_program(testing::deck_text(d), piped);
    testing::write_file(named.file("site.deck"), testing::deck_text(d));
    ASSERT_EQ(shell(std::string("cd '") + named.path() + "' && '" + QUILMAR_BINARY +
                    "' site.deck > stdout.txt 2> stderr.txt < /dev/null"),
              0);
    EXPECT_EQ(read_file(named.file("stdout.txt")), a.out);
    EXPECT_EQ(read_file(named.file("stderr.txt")), a.err);
    for (const auto& [name, text] : a.files) EXPECT_EQ(read_file(named.file(name)), text) << name;
}

TEST(CommandLine, ANumberAfterARecordsLastValueWarnsAndChangesNothing) {
    Deck d;
    testing::set_small_scenario(d);
    const std::string plain = testing::deck_text(d);
    // Record 9 (three yields) is line 27; a fourth yield and a note after it.
    auto lines = lines_of(plain);
    lines[26] += " 0.5 fourth yield";
    std::string surplus;
    for (const std::string& l : lines) surplus += l + "\n";
    TempDir a, b;
    const testing::RunResult ref = testing::run_program(plain, a);
    const testing::RunResult r = testing::run_program(surplus, b);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "quilmar_v3: warning: deck record 9: the line goes on after the record's 3 values with \"0.5 fourth "
              "yield\", which reads as a number; it is ignored (a value too many?)\n");
    EXPECT_EQ(r.out, ref.out);
    EXPECT_EQ(r.files, ref.files);
}

}  // namespace
}  // namespace quilmar

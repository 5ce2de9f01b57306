// budget.out: written only when asked for, without changing a bit of the other output, and
// the same on every solver path and thread count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/run_support.hpp"

namespace quilmar::testing {
namespace {

// Sets an environment variable for the runs made while it exists.
struct ScopedEnv {
    const char* name;
    ScopedEnv(const char* n, const char* value) : name(n) { setenv(name, value, 1); }
    ~ScopedEnv() { unsetenv(name); }
};

// A two-member source over aquitards and embedded clay, long enough for three
// threads' ranges of columns, the zones changing within them.
Deck layered_chain() {
    Deck d = DeckBuilder().grid(40, 4, 3).source_cells(2, 1, 2).source(1, 10.0, 3e3).source(2, 5.0, 1e2)
                 .zones(30.0, 55.0).matrix(7, 0.8, 1.0).steps(0.5, 6, 2).convergence(1e-10, 500).take();
    for (int m = 2; m <= 4; ++m) d.yieldf(m) = d.yieldms(m) = 0.7;
    for (int m = 1; m <= 4; ++m)
        for (int z = 1; z <= 3; ++z) d.decayf(m, z, 1) = d.decayms(m, z, 1) = 0.02 * m + 0.05 * z;
    return d;
}

TEST(BudgetFile, AddedBesideUnchangedResultsAndTheSameOnEveryPath) {
    Deck d = layered_chain();
    const std::string deck = deck_text(d);
    TempDir plain_dir;
    const RunResult plain = run_program(deck, plain_dir);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_FALSE(std::filesystem::exists(plain_dir.file("budget.out")));
    std::string first;
    for (const char* threads : {"1", "3", "reference"}) {
        ScopedEnv env(threads[0] == 'r' ? "QUILMAR_REFERENCE" : "QUILMAR_THREADS", threads[0] == 'r' ? "1" : threads);
        TempDir dir;
        RunResult r = run_with_budget(deck, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, plain.out) << threads;
        for (const auto& [name, text] : plain.files) EXPECT_TRUE(r.files[name] == text) << threads << ": " << name;
        const std::string& budget = r.files["budget.out"];
        EXPECT_EQ(lines_of(budget).size(), 1u + 4u * d.nt);
        EXPECT_EQ(lines_of(budget)[0],
                  "time,component,released,out_downstream,out_lateral,decayed_aquifer,produced_aquifer,"
                  "decayed_matrix,produced_matrix,change_aquifer,change_matrix,residual");
        if (first.empty()) first = budget;
        EXPECT_TRUE(budget == first) << threads << ": budget.out differs";
    }
}

TEST(BudgetFile, OneThatCannotBeCreatedStopsTheRunNamingIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("budget.out"));
    const RunResult r = run_with_budget(DeckBuilder().text(), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("budget.out"), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(r.files.at("plume_mass.out")).size(), 1u);  // the header, nothing lost
}

}  // namespace
}  // namespace quilmar::testing

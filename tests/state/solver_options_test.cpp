// The run options from the environment: switches, the thread count and its cap, and values
// that stop the run naming the variable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/run_stop.hpp"
#include "state/solver_options.hpp"
#include "support/test_support.hpp"

namespace quilmar::testing {
namespace {

// Sets the four variables for the life of the object and restores them after.
class Environment {
public:
    Environment() {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
    }
    ~Environment() {
        for (std::size_t i = 0; i < saved_.size(); ++i)
            if (saved_[i])
                setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                unsetenv(kNames[i]);
    }
    void set(const char* name, const char* value) { setenv(name, value, 1); }

private:
    static constexpr const char* kNames[] = {"QUILMAR_THREADS", "QUILMAR_REFERENCE", "QUILMAR_PORTABLE",
                                             "QUILMAR_TIMING"};
    std::vector<std::optional<std::string>> saved_;
};

TEST(SolverOptions, SwitchesAndThreadCounts) {
    Environment env;
    SolverOptions o = solver_options_from_environment();
    EXPECT_EQ(o.threads, 0);
    EXPECT_FALSE(o.reference || o.portable || o.timing);
    env.set("QUILMAR_REFERENCE", "1");
    env.set("QUILMAR_PORTABLE", "Yes");
    env.set("QUILMAR_TIMING", "0");
    env.set("QUILMAR_THREADS", "");
    o = solver_options_from_environment();
    EXPECT_TRUE(o.reference);
    EXPECT_TRUE(o.portable);
    EXPECT_FALSE(o.timing);
    EXPECT_EQ(o.threads, 0) << "an empty value counts as unset";
    env.set("QUILMAR_THREADS", "0");
    EXPECT_EQ(solver_options_from_environment().threads, 1);
    env.set("QUILMAR_THREADS", "1");
    EXPECT_EQ(solver_options_from_environment().threads, 1);
    // Above the processors this process may run on: capped, the value asked kept for the report.
    env.set("QUILMAR_THREADS", "100000");
    o = solver_options_from_environment();
    EXPECT_EQ(o.threads, available_processors());
    EXPECT_EQ(o.threads_asked, 100000);
}

TEST(SolverOptions, BadValuesStopNamingTheVariable) {
    const std::pair<const char*, const char*> bad[] = {
        {"QUILMAR_THREADS", "abc"}, {"QUILMAR_THREADS", "-1"},     {"QUILMAR_THREADS", "2x"},
        {"QUILMAR_THREADS", " 2"},  {"QUILMAR_THREADS", "99999999999"}, {"QUILMAR_REFERENCE", "maybe"},
        {"QUILMAR_PORTABLE", "-1"}, {"QUILMAR_TIMING", "1.5"}};
    for (const auto& [name, value] : bad) {
        Environment env;
        env.set(name, value);
        try {
            solver_options_from_environment();
            ADD_FAILURE() << name << "=" << value << " was accepted";
        } catch (const RunStop& stop) {
            EXPECT_EQ(stop.status(), kExitInputOrIndex);
            EXPECT_NE(std::string(stop.what()).find(name), std::string::npos) << stop.what();
        }
    }
}

// The whole program: a bad value stops the run with status 2 before any result file of an
// earlier run in the folder is touched.
TEST(SolverOptions, ProgramStopsBeforeTouchingEarlierResults) {
    Deck d;
    set_small_scenario(d);
    const std::string deck = deck_text(d);
    TempDir dir;
    const RunResult good = run_program(deck, dir);
    ASSERT_EQ(good.status, 0) << good.err;
    const RunResult bad = run_program(deck, dir, "QUILMAR_THREADS=abc");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("QUILMAR_THREADS=abc"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.files, good.files);
    const RunResult capped = run_program(deck, dir, "QUILMAR_THREADS=100000 QUILMAR_TIMING=1");
    EXPECT_EQ(capped.status, 0);
    EXPECT_NE(capped.err.find("QUILMAR_THREADS=100000 capped at the"), std::string::npos) << capped.err;
    EXPECT_EQ(capped.files, good.files);
}

}  // namespace
}  // namespace quilmar::testing

// A step whose field turns not finite (an overflow in the source law, in the matrix terms)
// stops the run as a step that does not converge: status 1, a last console line, one report
// naming the step, component and cell, and result files that end with the step before. The
// same on every solver setting.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace quilmar::testing {
namespace {

const char* const kSettings[] = {"QUILMAR_REFERENCE=1", "QUILMAR_THREADS=1", "QUILMAR_THREADS=2",
                                 "QUILMAR_PORTABLE=1"};

// The bundled chain example with line `line` (1-based) of its text replaced.
std::string example_with(int line, const std::string& text) {
    const std::string deck = read_file(std::string(QUILMAR_SOURCE_DIR) + "/examples/solvent_chain.deck");
    std::string out;
    int n = 0;
    for (const std::string& l : lines_of(deck)) out += (++n == line ? text : l) + "\n";
    return out;
}

// Runs the deck on every setting; all must stop alike with status 1 and the report, the
// result files ending after `steps_before` steps (their header line and one line per step
// in the plume-mass file).
void expect_non_finite_stop(const std::string& deck, const std::string& what, int step, std::size_t steps_before) {
    RunResult first;
    for (const char* setting : kSettings) {
        SCOPED_TRACE(what + " " + setting);
        TempDir dir;
        const RunResult r = run_program(deck, dir, setting);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("step " + std::to_string(step) + " "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("produced a value that is not finite (component "), std::string::npos) << r.err;
        EXPECT_EQ(lines_of(r.out).back().rfind(" value not finite ", 0), 0u) << lines_of(r.out).back();
        EXPECT_EQ(lines_of(r.files.at("plume_mass.out")).size(), 1 + steps_before);
        for (const auto& [name, text] : r.files) EXPECT_EQ(text.find("NaN"), std::string::npos) << name;
        if (first.status < 0) {
            first = r;
            continue;
        }
        EXPECT_EQ(r.err, first.err);
        EXPECT_EQ(r.out, first.out);
        EXPECT_EQ(r.files, first.files);
    }
}

TEST(NonFiniteStop, SourceLawOverflowStopsInTheFirstStep) {
    expect_non_finite_stop(example_with(9, "55.0  0.9  10.0  12.0"), "gamma 55", 1, 0);
}

TEST(NonFiniteStop, MatrixTermsOverflowingStopTheRun) {
    expect_non_finite_stop(DeckBuilder().matrix(7, 0.8, 0.1).matrix_material(0.3, 0.3, 1e300).text(), "diffs 1e300", 1,
                           0);
}

}  // namespace
}  // namespace quilmar::testing

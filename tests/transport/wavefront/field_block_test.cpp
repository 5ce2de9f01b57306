// The fast solver's fields: one mapping with room for the largest grid, of which a small
// grid makes resident only what it touches.
#include <gtest/gtest.h>

#include <sstream>

#include "state/solver_options.hpp"
#include "support/run_support.hpp"
#include "transport/wavefront/wavefront_solver.hpp"

namespace quilmar {
namespace {

// A small grid with every kind of matrix makes resident only the pages its fields touch.
TEST(MemoryFootprint, TheFastSolversFieldsCostOnlyTheSmallGridsPages) {
    Deck d = testing::DeckBuilder().matrix(7, 0.8, 1.0).take();
    Model s;
    testing::load_deck(s, d);
    std::ostringstream console;
    testing::set_up(s, console);
    ASSERT_TRUE(WavefrontSolver::eligible(s));
    const long before = testing::resident_kb();
    if (before < 0) GTEST_SKIP() << "no /proc/self/statm";
    SolverOptions one_thread;
    one_thread.threads = 1;
    WavefrontSolver solver(s, one_thread, false);
    solver.begin_step(s);
    solver.sweep(s);
    EXPECT_LT(testing::resident_kb() - before, 8 * 1024) << "kB made resident by a grid of " << s.gv.nelmax << " cells";
}

}  // namespace
}  // namespace quilmar

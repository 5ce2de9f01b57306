// The quick scan of the element arrays agrees with the element-by-element eligibility
// check: alike elements pass, and one element that differs in any property the fast path
// keeps once per grid or per zone fails both.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "state/zones.hpp"
#include "support/run_support.hpp"
#include "transport/wavefront/uniform_elements.hpp"
#include "transport/wavefront/wavefront_solver.hpp"

namespace quilmar {
namespace {

TEST(UniformElements, AgreesWithTheElementCheckOnEachVaryingProperty) {
    struct Change {
        const char* what;
        std::function<void(Model&)> apply;
    };
    // The last element sits in the last column, zone 3; element 1 in column 1, zone 1.
    const std::vector<Change> changes = {
        {"nothing", [](Model&) {}},
        {"decay differs between zones only",
         [](Model& s) {
             const Deck& dk = s.deck;
             for (int n = 1; n <= s.gv.nelmax; ++n) {
                 const int i = (n - 1) / (dk.ny * dk.nz) + 1;
                 if (reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2) == 3) s.md.decaym(n, 2) = 0.5;
             }
         }},
        {"matrix code", [](Model& s) { s.md.mdflag(s.gv.nelmax) = 3; }},
        {"bottom face along x", [](Model& s) { s.md.mdbot(s.gv.nelmax) = 1 - s.md.mdbot(s.gv.nelmax); }},
        {"tortuosity", [](Model& s) { s.md.tortm(2) = 0.9; }},
        {"interface area", [](Model& s) { s.md.amd2(s.gv.nelmax - 1) *= 1.0000000000000002; }},
        {"retardation of the last component", [](Model& s) { s.md.retardm(s.gv.nelmax, 4) += 1.0; }},
        {"decay within a zone", [](Model& s) { s.md.alambdar(s.gv.nelmax, 3) += 1e-9; }},
    };
    for (const Change& c : changes) {
        Deck d;
        testing::set_small_scenario(d);
        d.mdflags = 7;
        d.volfracs = 0.8;
        Model s;
        testing::load_deck(s, d);
        std::ostringstream console;
        testing::set_up(s, console);
        c.apply(s);
        std::string why;
        const bool eligible = WavefrontSolver::eligible(s, &why);
        EXPECT_EQ(wavefront::elements_uniform(s), eligible) << c.what << ": " << why;
        EXPECT_EQ(eligible, std::string(c.what) == "nothing" || std::string(c.what).rfind("decay differs", 0) == 0)
            << c.what << ": " << why;
    }
}

}  // namespace
}  // namespace quilmar

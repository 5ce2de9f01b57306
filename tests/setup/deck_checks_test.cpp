// Deck values the model cannot use are rejected with a report that names the record, the
// item, the value and the rule; values that run but are probably mistakes give one warning
// line each. The checks are run here in the order and at the phases of a run.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "setup/deck_checks.hpp"
#include "setup/elements.hpp"
#include "state/run_stop.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

struct CheckOutcome {
    std::string report;  // the stop report, empty when the deck passes
    std::string warnings;
};

// The checks of a run on the small scenario after `change`, each after the phase it
// follows in a run (the well search before the well check).
CheckOutcome check_deck(const std::function<void(Deck&)>& change) {
    Model s;
    testing::set_small_scenario(s.deck);
    change(s.deck);
    std::ostringstream out, err;
    CheckOutcome r;
    try {
        check_elements(s.deck, err);
        find_observation_well(s, out);
        check_well(s.deck, s.well, err);
        check_source(s.deck, err);
        check_transport(s.deck);
        check_time_steps(s.deck, err);
    } catch (const RunStop& stop) {
        EXPECT_EQ(stop.status(), 2);
        r.report = stop.what();
    }
    r.warnings = err.str();
    return r;
}

struct Case {
    const char* what;
    std::function<void(Deck&)> change;
    std::string expected;
};

// The small scenario: 10 x 3 x 2 cells of 2 x 1 x 1, source in row 1 and layer 1, well in
// column 5, row 1, layer 1, no matrix diffusion.
TEST(DeckChecks, RejectionsNameRecordItemValueAndRule) {
    const std::vector<Case> cases = {
        {"porf 0", [](Deck& d) { d.porf = 0; }, "deck record 5, item 1 (porf): 0 must be positive"},
        {"porf negative", [](Deck& d) { d.porf = -0.3; }, "deck record 5, item 1 (porf): -0.3 must be positive"},
        {"volfracs 0", [](Deck& d) { d.volfracs = 0; }, "deck record 22, item 6 (volfracs): 0 must lie in (0, 1]"},
        {"volfracs above 1", [](Deck& d) { d.volfracs = 1.5; },
         "deck record 22, item 6 (volfracs): 1.5 must lie in (0, 1]"},
        {"dt 0", [](Deck& d) { d.dt = 0; }, "deck record 40, item 1 (dt): 0 must be positive"},
        {"dt negative", [](Deck& d) { d.dt = -0.5; }, "deck record 40, item 1 (dt): -0.5 must be positive"},
        {"dx 0", [](Deck& d) { d.dx = 0; }, "deck record 37, item 1 (dx): 0 must be positive"},
        {"dy negative", [](Deck& d) { d.dy = -1; }, "deck record 38, item 1 (dy): -1 must be positive"},
        {"dz 0", [](Deck& d) { d.dz = 0; }, "deck record 39, item 1 (dz): 0 must be positive"},
        {"no columns", [](Deck& d) { d.nx = 0; }, "deck record 37, item 2 (nx): 0 must be at least 1 (cells along the flow)"},
        {"negative rows", [](Deck& d) { d.ny = -3; },
         "deck record 38, item 2 (ny): -3 must be at least 1 (rows across the flow)"},
        {"no layers", [](Deck& d) { d.nz = 0; }, "deck record 39, item 2 (nz): 0 must be at least 1 (layers)"},
        {"flow against x", [](Deck& d) { d.vd = -10; },
         "deck record 4, item 5 (vd): -10 must not be negative: the flow runs along +x from the source plane (0 for "
         "no flow)"},
        {"xremove negative", [](Deck& d) { d.xremove = -0.1; },
         "deck record 3, item 2 (xremove): -0.1 must lie in [0, 1] (the fraction of the source mass removed)"},
        {"xremove above 1", [](Deck& d) { d.xremove = 1.5; },
         "deck record 3, item 2 (xremove): 1.5 must lie in [0, 1] (the fraction of the source mass removed)"},
        {"mdflags 8", [](Deck& d) { d.mdflags = 8; },
         "deck record 22, item 1 (mdflags): 8 must be one of the matrix codes 0 to 7"},
        {"mdflags -1", [](Deck& d) { d.mdflags = -1; },
         "deck record 22, item 1 (mdflags): -1 must be one of the matrix codes 0 to 7"},
        {"porms 0 with a matrix", [](Deck& d) { d.mdflags = 1; d.porms = 0; },
         "deck record 22, item 2 (porms): 0 must be positive when the matrix takes part (mdflags 1)"},
        {"tortms negative with a matrix", [](Deck& d) { d.mdflags = 3; d.tortms = -0.3; },
         "deck record 22, item 3 (tortms): -0.3 must be positive when the matrix takes part (mdflags 3)"},
        {"diffs 0 with a matrix", [](Deck& d) { d.mdflags = 4; d.diffs = 0; },
         "deck record 22, item 4 (diffs): 0 must be positive when the matrix takes part (mdflags 4)"},
        {"difflens 0, code 2", [](Deck& d) { d.mdflags = 2; d.difflens = 0; d.volfracs = 0.8; },
         "deck record 22, item 7 (difflens): 0 must be positive for a code with embedded matrix (mdflags 2)"},
        {"difflens negative, code 5", [](Deck& d) { d.mdflags = 5; d.difflens = -1; },
         "deck record 22, item 7 (difflens): -1 must be positive for a code with embedded matrix (mdflags 5)"},
        {"difflens 0, code 6", [](Deck& d) { d.mdflags = 6; d.difflens = 0; },
         "deck record 22, item 7 (difflens): 0 must be positive for a code with embedded matrix (mdflags 6)"},
        {"difflens 0, code 7", [](Deck& d) { d.mdflags = 7; d.difflens = 0; },
         "deck record 22, item 7 (difflens): 0 must be positive for a code with embedded matrix (mdflags 7)"},
        {"matrix retardation 0 of the parent", [](Deck& d) { d.mdflags = 1; d.retardms(1) = 0; },
         "deck record 23, item 1 (retardms(1)): 0 must be positive when the matrix takes part (mdflags 1)"},
        {"matrix retardation negative of a daughter", [](Deck& d) { d.mdflags = 7; d.retardms(3) = -2; },
         "deck record 23, item 3 (retardms(3)): -2 must be positive when the matrix takes part (mdflags 7)"},
        {"well beyond the last row", [](Deck& d) { d.ywell = 3.5; },
         "deck record 42, item 2 (ywell): 3.5 matches no row of the grid: its distance from the plume centre line "
         "must lie within 0 to ny*dy = 3"},
        {"well beyond the last row on the other side", [](Deck& d) { d.ywell = -4; },
         "deck record 42, item 2 (ywell): 4 matches no row of the grid: its distance from the plume centre line "
         "must lie within 0 to ny*dy = 3"},
        {"screen top above the grid", [](Deck& d) { d.zwelltop = 2.5; },
         "deck record 42, item 3 (zwelltop): 2.5 matches no layer of the grid: it must lie within 0 to nz*dz = 2"},
        {"screen bottom below the grid", [](Deck& d) { d.zwellbot = -0.5; },
         "deck record 42, item 4 (zwellbot): -0.5 matches no layer of the grid: it must lie within 0 to nz*dz = 2"},
        {"screen bottom above its top", [](Deck& d) { d.zwelltop = 0.5; d.zwellbot = 1.5; },
         "deck record 42, item 4 (zwellbot): 1.5 lies in layer 2, above layer 1 of zwelltop = 0.5: the screen "
         "bottom must not lie above its top"},
        {"no source rows", [](Deck& d) { d.lysource = 0; },
         "deck record 4, item 2 (lysource): 0 must lie in 1 to ny = 3 (source rows)"},
        {"source rows beyond the grid", [](Deck& d) { d.lysource = 4; },
         "deck record 4, item 2 (lysource): 4 must lie in 1 to ny = 3 (source rows)"},
        {"source below the bottom layer", [](Deck& d) { d.lzsourcemin = 0; },
         "deck record 4, item 4 (lzsourcemin): 0 must be at least 1 (the bottom layer)"},
        {"source above the top layer", [](Deck& d) { d.lzsourcemax = 3; },
         "deck record 4, item 3 (lzsourcemax): 3 must be at most nz = 2 (the top layer)"},
        {"source layers reversed", [](Deck& d) { d.lzsourcemin = 2; d.lzsourcemax = 1; },
         "deck record 4, item 4 (lzsourcemin): 2 must not lie above lzsourcemax = 1 (the source has no layer)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(check_deck(c.change).report, c.expected);
    }
}

TEST(DeckChecks, ValuesAtTheEndsOfTheirRangesAndUnusedMatrixValuesPass) {
    const std::vector<std::pair<const char*, std::function<void(Deck&)>>> cases = {
        {"the scenario as it is", [](Deck&) {}},
        {"volfracs 1 and xremove 0", [](Deck& d) { d.volfracs = 1.0; d.xremove = 0.0; }},
        {"everything removed", [](Deck& d) { d.xremove = 1.0; }},
        {"no flow", [](Deck& d) { d.vd = 0.0; }},
        {"one cell", [](Deck& d) { d.nx = d.ny = d.nz = 1; d.xwell = d.ywell = 0.5; d.zwelltop = d.zwellbot = 0.5; }},
        {"source over every row and layer", [](Deck& d) { d.lysource = 3; d.lzsourcemin = 1; d.lzsourcemax = 2; }},
        {"no matrix: its values are not used",
         [](Deck& d) { d.porms = 0; d.tortms = -1; d.diffs = 0; d.difflens = 0; d.retardms(2) = 0; }},
        {"bounding layers only: no diffusion length needed", [](Deck& d) { d.mdflags = 4; d.difflens = 0; }},
        {"embedded matrix", [](Deck& d) { d.mdflags = 7; d.volfracs = 0.5; d.difflens = 0.1; }},
        {"well across the centre line", [](Deck& d) { d.ywell = -0.5; }},
        {"well on the outer face of the last row", [](Deck& d) { d.ywell = 3.0; }},
        {"screen bottom a little above its top within one layer", [](Deck& d) { d.zwelltop = 1.1; d.zwellbot = 1.2; }},
        {"times just below ten thousand", [](Deck& d) { d.dt = 1.0; d.nt = 9999; }},
    };
    for (const auto& [what, change] : cases) {
        SCOPED_TRACE(what);
        const CheckOutcome r = check_deck(change);
        EXPECT_EQ(r.report, "");
        EXPECT_EQ(r.warnings, "");
    }
}

TEST(DeckChecks, ProbableMistakesWarnAndPass) {
    const std::string w = "quilmar_v3: warning: ";
    const std::vector<Case> cases = {
        {"well x beyond the grid", [](Deck& d) { d.xwell = 25; },
         w + "deck record 42, item 1 (xwell): 25 matches no column of the grid (x from 0 to nx*dx = 20): the "
             "observation well samples the source plane\n"},
        {"remediation ends before it starts", [](Deck& d) { d.t1 = 10; d.t2 = 5; },
         w + "deck record 3, item 4 (t2): 5 lies before t1 = 10: the remediation period is reversed, and the "
             "removal takes effect at t2 instead\n"},
        {"model times of ten thousand", [](Deck& d) { d.dt = 0.5; d.nt = 20000; },
         w + "deck record 40, item 1 (dt): 0.5 with nt = 20000 takes the model time to 10000, too wide for the "
             "time fields of the result files (asterisks from 9999.9995 on); a larger time unit avoids this\n"},
        {"cell centres beyond ten thousand", [](Deck& d) { d.dx = 2000; d.xwell = 1000; },
         w + "deck record 37, item 1 (dx): 2000 puts the last cell centre at x = 19000, too wide for the "
             "coordinate fields of the result files (asterisks from 9999.9995 on); a larger length unit avoids this\n"},
        {"volume fraction without embedded matrix", [](Deck& d) { d.volfracs = 0.8; d.mdflags = 1; },
         w + "deck record 22, item 6 (volfracs): 0.8 is below 1 with mdflags 1, a code without embedded matrix: "
             "advection ignores it while storage and dispersion use it\n"},
        {"two at once, in run order", [](Deck& d) { d.volfracs = 0.9; d.xwell = -5; },
         w + "deck record 22, item 6 (volfracs): 0.9 is below 1 with mdflags 0, a code without embedded matrix: "
             "advection ignores it while storage and dispersion use it\n" +
             w + "deck record 42, item 1 (xwell): -5 matches no column of the grid (x from 0 to nx*dx = 20): the "
             "observation well samples the source plane\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CheckOutcome r = check_deck(c.change);
        EXPECT_EQ(r.report, "");
        EXPECT_EQ(r.warnings, c.expected);
    }
}

TEST(DeckChecks, TheNarrowestFieldOverflowsFromTenThousandOn) {
    EXPECT_FALSE(overflows_result_field(9999.999));
    EXPECT_FALSE(overflows_result_field(-999.999));
    EXPECT_TRUE(overflows_result_field(9999.9996));
    EXPECT_TRUE(overflows_result_field(10000.0));
    EXPECT_TRUE(overflows_result_field(1.0 / 0.0));
}

}  // namespace
}  // namespace quilmar

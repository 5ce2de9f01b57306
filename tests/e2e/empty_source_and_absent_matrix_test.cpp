// Two cases where the plain formulas would make something from nothing: a source whose mass
// is used up, and a matrix an element does not have.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "support/run_support.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::read_file;
using testing::TempDir;

struct Files {
    int status = -1;
    std::string err;
    std::string obs_well, plume_mass, all;
};

Files run_small(const std::function<void(Deck&)>& change) {
    Deck d;
    testing::set_small_scenario(d);
    change(d);
    TempDir dir;
    std::istringstream in(testing::deck_text(d));
    std::ostringstream out, err;
    Files f;
    f.status = run(in, out, err, RunOptions{dir.path()});
    f.err = err.str();
    f.obs_well = read_file(dir.file("obs_well.out"));
    f.plume_mass = read_file(dir.file("plume_mass.out"));
    for (const char* name : {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"})
        f.all += read_file(dir.file(name));
    return f;
}

// Concentration of component 1 leaving the source in each step: the well lies upstream of
// the grid, so it samples the source plane (row 1, layer 1 are source cells).
std::vector<double> source_concentrations(const Files& f) {
    std::vector<double> c;
    for (const auto& row : testing::data_rows(f.obs_well)) c.push_back(row[1]);
    return c;
}

// The small scenario releases Q czero = 20 * 10 = 200 per unit time while mass remains, and
// steps of 0.5; a source of 150 is used up in the second step.
void small_source_upstream_well(Deck& d) {
    d.tzeromass(1) = 150.0;
    d.xwell = -10.0;
}

TEST(EmptySource, ReleasesNothingOnceItsMassIsUsedUp) {
    struct Case {
        const char* what;
        std::function<void(Deck&)> change;
        std::vector<double> expected;  // per step; the first with mass left
    };
    const std::vector<Case> cases = {
        // gamma = 0: czero while mass remains; 0^0 = 1 must not keep it going.
        {"constant concentration, before the remediation", [](Deck& d) { d.gamma = 0.0; }, {10.0, 0.0, 0.0, 0.0}},
        // The remediation from 0.2 to 1 removes all: the mass reaches exactly 0 at t2 = 1.
        {"constant concentration, emptied by the remediation",
         [](Deck& d) {
             d.gamma = 0.0;
             d.tzeromass(1) = 1e6;
             d.t1 = 0.2;
             d.t2 = 1.0;
             d.xremove = 1.0;
         },
         {10.0, 0.0, 0.0, 0.0}},
        // gamma < 0: the concentration rises as the mass falls, but not to infinity at 0. A
        // source of 250 is used up at 250 / 300 = 0.83.
        {"rising concentration", [](Deck& d) { d.gamma = -0.5; d.tzeromass(1) = 250.0; }, {-1.0, 0.0, 0.0, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Files f = run_small([&](Deck& d) {
            small_source_upstream_well(d);
            c.change(d);
        });
        ASSERT_EQ(f.status, 0) << f.err;
        const std::vector<double> conc = source_concentrations(f);
        ASSERT_EQ(conc.size(), c.expected.size());
        if (c.expected[0] < 0)
            EXPECT_GT(conc[0], 10.0);
        else
            EXPECT_EQ(conc[0], c.expected[0]);
        for (std::size_t s = 1; s < conc.size(); ++s) EXPECT_EQ(conc[s], c.expected[s]) << "step " << s + 1;
        EXPECT_EQ(f.all.find("NaN"), std::string::npos);
        EXPECT_EQ(f.all.find("Inf"), std::string::npos);
    }
}

TEST(EmptySource, SourceWithMassLeftIsUnchanged) {
    // A large source keeps releasing czero with gamma = 0 in every regime.
    const Files f = run_small([](Deck& d) {
        small_source_upstream_well(d);
        d.tzeromass(1) = 1e6;
        d.gamma = 0.0;
        d.t1 = 0.7;
        d.t2 = 1.2;
        d.xremove = 0.5;
    });
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(source_concentrations(f), (std::vector<double>{10.0, 10.0, 10.0, 10.0}));
}

TEST(AbsentMatrix, MatrixValuesAnElementDoesNotUseGiveNoNumbers) {
    // Without matrix diffusion, or without embedded material, porms = 0 and difflens = 0
    // make the matrix formulas 0/0; the matrix mass counts only the matrices an element has.
    struct Case {
        const char* what;
        std::function<void(Deck&)> change;
        bool matrix_takes_up;
    };
    const std::vector<Case> cases = {
        {"no matrix, no matrix porosity", [](Deck& d) { d.porms = 0.0; }, false},
        {"no matrix, no diffusion length", [](Deck& d) { d.difflens = 0.0; }, false},
        {"no matrix, neither", [](Deck& d) { d.porms = 0.0; d.difflens = 0.0; }, false},
        {"aquitard below, no diffusion length", [](Deck& d) { d.mdflags = 1; d.difflens = 0.0; }, true},
        {"aquitards above and below, no diffusion length", [](Deck& d) { d.mdflags = 4; d.difflens = 0.0; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Files f = run_small(c.change);
        ASSERT_EQ(f.status, 0) << f.err;
        EXPECT_EQ(f.all.find("NaN"), std::string::npos);
        const auto rows = testing::data_rows(f.plume_mass);
        ASSERT_EQ(rows.size(), 4u);
        for (const auto& row : rows) {
            for (std::size_t col = 1; col < row.size(); ++col) EXPECT_TRUE(std::isfinite(row[col]));
            if (c.matrix_takes_up)
                EXPECT_GT(row[1], 0.0);  // C1low
            else
                for (std::size_t col = 1; col < row.size(); col += 2) EXPECT_EQ(row[col], 0.0);  // every "low"
            EXPECT_GT(row[2], 0.0);  // C1hi
        }
    }
}

}  // namespace
}  // namespace quilmar

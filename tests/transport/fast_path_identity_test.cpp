// The wavefront solver must reproduce the checked cell-by-cell path to the last bit: every
// result file and every console line, for every matrix code and grid shape.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/test_support.hpp"

namespace quilmar::testing {
namespace {

struct Variant {
    std::string name;
    std::function<void(Deck&)> change;
};

// The fast path on one thread and on three (an odd team, so that wavefronts of both
// parities meet at thread boundaries), and its portable kernels (those of processors
// without AVX2), against the checked path.
void expect_identical_runs(Deck& d, const std::string& what) {
    const std::string deck = deck_text(d);
    TempDir ref_dir;
    const RunResult ref = run_program(deck, ref_dir, "QUILMAR_REFERENCE=1");
    EXPECT_EQ(ref.status, 0) << what << "\n" << ref.err;
    for (const char* threads : {"QUILMAR_THREADS=1", "QUILMAR_THREADS=3", "QUILMAR_PORTABLE=1 QUILMAR_THREADS=2"}) {
        TempDir fast_dir;
        const RunResult fast = run_program(deck, fast_dir, threads);
        EXPECT_EQ(fast.status, ref.status) << what << " " << threads;
        EXPECT_EQ(fast.out, ref.out) << what << " " << threads;
        for (const auto& [name, text] : ref.files) {
            EXPECT_FALSE(text.empty()) << what << " " << name;
            EXPECT_TRUE(fast.files.at(name) == text) << what << " " << threads << ": " << name << " differs";
        }
    }
}

// A plume with a three-member chain, reaction zones and a source that is remediated.
Deck chain_scenario() {
    Deck d = DeckBuilder().grid(9, 5, 4).source_cells(2, 2, 3).source(1, 50.0, 2e3).source(2, 5.0, 1e2)
                 .zones(6.0, 12.0).remediation(0.8, 1.0, 1.5).steps(0.5, 8, 3).convergence(1e-10, 500).take();
    d.gamma = 0.7;
    d.rates = 0.02;
    d.yieldf(2) = 0.8;
    d.yieldf(3) = 0.7;
    d.yieldf(4) = 0.6;
    for (int m = 1; m <= 4; ++m)
        for (int z = 1; z <= 3; ++z) {
            d.decayf(m, z, 1) = 0.05 * m + 0.1 * z;
            d.decayms(m, z, 1) = (z == 2) ? 0.0 : 0.01 * m;
        }
    d.retardf(1) = 2.0;
    d.retardf(2) = 1.5;
    d.retardms(1) = 4.0;
    d.retardms(2) = 2.0;
    d.yieldms(2) = 0.8;
    d.yieldms(3) = 0.7;
    d.yieldms(4) = 0.6;
    return d;
}

// Every matrix code on a layered grid and on the thin shapes: a plan view (one layer), a
// vertical cross-section (one row) and a stream tube (one row, one layer).
TEST(FastPathIdentity, EveryMatrixCodeOnLayeredAndThinGrids) {
    const int shapes[][2] = {{5, 4}, {5, 1}, {1, 4}, {1, 1}};  // ny, nz
    for (int code = 0; code <= 7; ++code)
        for (const auto& [ny, nz] : shapes) {
            Deck d = DeckBuilder(chain_scenario()).matrix(code, (code == 2 || code >= 5) ? 0.7 : 1.0, 0.4)
                         .grid(9, ny, nz).source_cells(ny < 2 ? ny : 2, 1, nz).take();
            expect_identical_runs(d, "code " + std::to_string(code) + ", ny " + std::to_string(ny) + ", nz " +
                                         std::to_string(nz));
        }
}

TEST(FastPathIdentity, GridShapesAndBoundaries) {
    const Variant variants[] = {
        {"one row", [](Deck& d) { d.ny = 1; d.lysource = 1; }},
        {"one row one layer", [](Deck& d) { d.ny = 1; d.nz = 1; d.lysource = 1; d.lzsourcemin = d.lzsourcemax = 1; }},
        {"one column", [](Deck& d) { d.nx = 1; }},
        {"wide", [](Deck& d) { d.ny = 13; d.nz = 3; d.lzsourcemax = 3; }},
        {"deep", [](Deck& d) { d.ny = 3; d.nz = 11; }},
        {"49 rows", [](Deck& d) { d.ny = 49; d.nz = 2; d.nx = 3; d.lzsourcemax = 2; }},
        // Up to 18 lines per wavefront: the kernels take one to three groups of four lines side by side.
        {"many lines per wavefront", [](Deck& d) { d.ny = 20; d.nz = 18; d.nx = 5; d.nt = 4; }},
        {"many lines per wavefront with matrix",
         [](Deck& d) { d.ny = 20; d.nz = 18; d.nx = 5; d.nt = 4; d.mdflags = 7; d.volfracs = 0.8; }},
        {"well on the source plane", [](Deck& d) { d.xwell = -50.0; }},
        {"no flow", [](Deck& d) { d.vd = 0.0; d.mdflags = 7; d.volfracs = 0.8; }},
        {"zones reversed", [](Deck& d) { d.x1 = 12.0; d.x2 = 4.0; d.mdflags = 5; d.volfracs = 0.9; }},
        {"snapshot every step", [](Deck& d) { d.npt = 1; d.mdflags = 4; }},
        // Three members' ranges of columns (1-23, 24-46, 47-70), the reaction zones changing within them.
        {"long", [](Deck& d) { d.nx = 70; d.x1 = 51.0; d.x2 = 93.0; d.nt = 4; }},
        {"long with matrix", [](Deck& d) { d.nx = 70; d.x1 = 51.0; d.x2 = 93.0; d.nt = 4; d.mdflags = 7; d.volfracs = 0.8; }},
        // Thin grids long enough for whole diagonals and steps, the zones changing within a
        // diagonal's lanes (zone 2 only two columns wide in the tube).
        {"long cross-section with matrix",
         [](Deck& d) { d.nx = 70; d.ny = 1; d.nz = 7; d.lysource = 1; d.x1 = 51.0; d.x2 = 93.0; d.nt = 4; d.mdflags = 7; d.volfracs = 0.8; }},
        {"long plan view with matrix",
         [](Deck& d) { d.nx = 70; d.ny = 9; d.nz = 1; d.lzsourcemin = d.lzsourcemax = 1; d.x1 = 51.0; d.x2 = 93.0; d.nt = 4; d.mdflags = 4; }},
        {"long stream tube with matrix",
         [](Deck& d) { d.nx = 70; d.ny = 1; d.nz = 1; d.lysource = 1; d.lzsourcemin = d.lzsourcemax = 1; d.x1 = 51.0; d.x2 = 55.0; d.nt = 4; d.mdflags = 6; d.volfracs = 0.8; }},
    };
    for (const Variant& v : variants) {
        Deck d = chain_scenario();
        v.change(d);
        expect_identical_runs(d, v.name);
    }
}

// A plan view large enough to share its lines among two members of a team, a diagonal
// apart (a thin grid takes a team only from 80000 cells on).
TEST(FastPathIdentity, LargeThinGridOnATeam) {
    Deck d = chain_scenario();
    d.nx = 1999;
    d.ny = 41;
    d.nz = 1;
    d.lzsourcemin = d.lzsourcemax = 1;
    d.x1 = 51.0;
    d.x2 = 93.0;
    d.nt = 2;
    d.npt = 2;
    d.mdflags = 7;
    d.volfracs = 0.8;
    expect_identical_runs(d, "large plan view");
}

TEST(FastPathIdentity, BundledExampleDeck) {
    const std::string deck = read_file(std::string(QUILMAR_SOURCE_DIR) + "/examples/solvent_chain.deck");
    TempDir fast_dir, ref_dir;
    const RunResult fast = run_program(deck, fast_dir, "QUILMAR_THREADS=2");
    const RunResult ref = run_program(deck, ref_dir, "QUILMAR_REFERENCE=1");
    ASSERT_EQ(fast.status, 0);
    EXPECT_EQ(fast.out, ref.out);
    for (const auto& [name, text] : ref.files) EXPECT_TRUE(fast.files.at(name) == text) << name;
}

}  // namespace
}  // namespace quilmar::testing

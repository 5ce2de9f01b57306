#pragma once
// The state of one run: the deck values, the concentration grid, the per-element
// matrix-diffusion arrays (matrixdmodule), the host-grid element data (globalvek) and
// the run values of the main unit. One Model exists per run; every phase reads and
// writes it, and nothing outlives it.
#include <string>

#include "state/capacity.hpp"
#include "state/checked_array.hpp"

namespace quilmar {

using CompReal = CheckedArray<double, 1>;   // per component, 1..4
using ZoneTable = CheckedArray<double, 3>;  // (component 1..4, zone 1..3, period 1..3)

// Every value of the input deck, as read (the few adjustments made before first use are
// applied in place during setup).
struct Deck {
    Deck();

    CompReal czero;      // source concentration at time zero
    CompReal tzeromass;  // source mass at time zero
    double gamma = 0, xremove = 0, t1 = 0, t2 = 0;
    double rates = 0;
    int lysource = 0, lzsourcemax = 0, lzsourcemin = 0;
    double vd = 0;
    double porf = 0, tortf = 0, alphax = 0, alphat = 0, alphav = 0;
    CompReal retardf;
    double x1 = 0, x2 = 0;
    double tplume1 = 0, tplume2 = 0;
    CompReal yieldf;  // entries 2..4 are read
    ZoneTable decayf;
    int mdflags = 0;
    double porms = 0, tortms = 0, diffs = 0, amd = 0, volfracs = 0, difflens = 0;
    CompReal retardms;
    CompReal yieldms;  // entries 2..4 are read
    ZoneTable decayms;
    double dx = 0;
    int nx = 0;
    double dy = 0;
    int ny = 0;
    double dz = 0;
    int nz = 0;
    double dt = 0;
    int nt = 0, npt = 0;
    double tol = 0;
    int maxit = 0;
    double xwell = 0, ywell = 0, zwelltop = 0, zwellbot = 0;
};

// Per-element matrix-diffusion arrays: (n) and (n, m), n = 1..maxn, m = 1..maxm.
struct MatrixdModule {
    MatrixdModule();

    ElementInt mdflag, mdtop, mdbot, mdembed;
    ElementReal volfrac, difflen, porm, tortm, rhob, amd1, amd2;
    ElementCompReal kd, retardm, decaym, yieldm, diff, alpha, alambdar;
    ElementCompReal d, delt1, delt2, gam1, gam2, beta1, beta2;
    ElementCompReal aa1, aa2, bb1, bb2;
    ElementCompReal cn, co;
    ElementCompReal ainew1, ainew2, aiold1, aiold2;
};

// Host-grid element data.
struct GlobalVek {
    GlobalVek();

    int nelmax = 0;
    int icomp = 0;
    ElementReal area, top, bot;
};

// Working values of the source zone model.
struct SourceState {
    SourceState();

    CompReal cs2, cs3, cs4, css2, css3, css4;
    CompReal t1mass, t2mass, ctwo, csource;
    double zsource = 0, ysource = 0, area2 = 0;
    double cs5 = 0, cs6 = 0;
    double trelease = 0, smass = 0;
};

// Constant transport coefficients of the grid.
struct TransportCoefficients {
    double ayz = 0, axz = 0, axy = 0;
    double vol = 0, volh = 0;
    double dispx = 0, dispt = 0, dispv = 0;
};

// Observation well cell indices; 0 until the search finds a cell.
struct WellCells {
    int iwell = 0, jwell = 0, kwellbot = 0, kwelltop = 0;
};

// The eight plume-mass sums of a step: [component 1..4] low (matrix) and hi (transmissive).
struct PlumeMassSums {
    double lo[kComponents + 1] = {};
    double hi[kComponents + 1] = {};
    void clear() { *this = PlumeMassSums{}; }
};

struct Model {
    Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    Deck deck;

    // Concentration grid: (component 1..4, i 0..2000, j 1..50, k 1..50) for cnew and
    // (component, i 1..2000, j, k) for cold. Column 0 is the source boundary column and
    // column nx+1 the zero boundary column; row ny+1 and, for one layer, layer 2 are read as
    // zero neighbours and never written.
    CheckedArray<double, 4> cnew;
    CheckedArray<double, 4> cold;

    MatrixdModule md;
    GlobalVek gv;
    SourceState src;
    TransportCoefficients tc;
    WellCells well;
    CompReal wellconc;
    PlumeMassSums mass;

    std::string com1;  // the comment line last read

    // Time loop state.
    int ntime = 0;
    double atime = 0;
    int nprint = 0;
    int iter = 0;
    double errmax = 0;
};

}  // namespace quilmar

#include "setup/elements.hpp"

#include <cmath>
#include <ostream>

#include "text/console_line.hpp"
#include "state/zones.hpp"

namespace quilmar {

void setup_elements(Model& s, std::ostream& out) {
    Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    GlobalVek& gv = s.gv;
    constexpr double kBulkDensity = 1.6;
    int n = 0;
    // Wide counters: a count of 2147483647 ends its loop without overflowing the counter
    // (with no cells in the other directions such a grid reaches the end of the loop).
    for (long i = 1; i <= dk.nx; ++i)
        for (long j = 1; j <= dk.ny; ++j)
            for (long k = 1; k <= dk.nz; ++k) {
                ++n;
                md.mdflag(n) = dk.mdflags;
                md.volfrac(n) = dk.volfracs;
                md.difflen(n) = dk.difflens;
                md.porm(n) = dk.porms;
                md.tortm(n) = dk.tortms;
                md.rhob(n) = kBulkDensity;
                gv.area(n) = dk.dx * dk.dy;
                gv.top(n) = dk.dz;
                gv.bot(n) = 0.0;
                const double x = cell_centre(static_cast<int>(i), dk.dx);
                const int ix = reaction_zone(x, dk.x1, dk.x2);
                for (int m = 1; m <= kComponents; ++m) {
                    md.retardm(n, m) = dk.retardms(m);
                    md.kd(n, m) = (dk.retardms(m) - 1.0) * dk.porms / kBulkDensity;
                    md.yieldm(n, m) = dk.yieldms(m);
                    md.diff(n, m) = dk.diffs;
                    md.decaym(n, m) = dk.decayms(m, ix, 1);
                }
            }
    gv.nelmax = n;
    out << ConsoleLine().text("nelmax = ").value(gv.nelmax).str() << '\n';
    gv.icomp = kComponents;
}

void find_observation_well(Model& s, std::ostream& out) {
    Deck& dk = s.deck;
    WellCells& w = s.well;
    w = WellCells{};
    for (long i = 1; i <= dk.nx; ++i) {
        const double x = cell_centre(static_cast<int>(i), dk.dx);
        if (std::fabs(x - dk.xwell) <= 0.5 * dk.dx) {
            w.iwell = static_cast<int>(i);
            out << ConsoleLine().text("iwell=  ").value(w.iwell).str() << '\n';
        }
    }
    if (dk.ywell < 0) dk.ywell = -dk.ywell;
    for (long j = 1; j <= dk.ny; ++j) {
        const double y = cell_centre(static_cast<int>(j), dk.dy);
        if (std::fabs(y - dk.ywell) <= 0.5 * dk.dy) {
            w.jwell = static_cast<int>(j);
            out << ConsoleLine().text("jwell=  ").value(w.jwell).str() << '\n';
        }
    }
    for (long k = 1; k <= dk.nz; ++k) {
        const double z = cell_centre(static_cast<int>(k), dk.dz);
        if (std::fabs(z - dk.zwellbot) <= 0.5 * dk.dz) {
            w.kwellbot = static_cast<int>(k);
            out << ConsoleLine().text("kwellbot =").value(w.kwellbot).str() << '\n';
        }
        if (std::fabs(z - dk.zwelltop) <= 0.5 * dk.dz) {
            w.kwelltop = static_cast<int>(k);
            out << ConsoleLine().text("kwelltop=  ").value(w.kwelltop).str() << '\n';
        }
    }
}

}  // namespace quilmar

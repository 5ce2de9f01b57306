#include "setup/elements.hpp"

#include <cmath>
#include <initializer_list>
#include <ostream>

#include "text/console_line.hpp"
#include "state/zones.hpp"

namespace quilmar {

namespace {

constexpr double kBulkDensity = 1.6;

// Whether every element and component of the grid lies within the element arrays.
bool elements_within_capacity(const Model& s, long nel) {
    const MatrixdModule& md = s.md;
    const GlobalVek& gv = s.gv;
    bool ok = md.mdflag.covers(1, 1, nel);
    for (const ElementReal* a : std::initializer_list<const ElementReal*>{&md.volfrac, &md.difflen, &md.porm, &md.tortm, &md.rhob, &gv.area, &gv.top, &gv.bot})
        ok = ok && a->covers(1, 1, nel);
    for (const auto* a : {&md.retardm, &md.kd, &md.yieldm, &md.diff, &md.decaym})
        ok = ok && a->covers(1, 1, nel) && a->covers(2, 1, kComponents);
    return ok;
}

// The element arrays filled column by column with unchecked stores, once the whole grid is
// known to lie within them. The deck's tables are read per column, in the order the
// element loop reads them, and every element gets the same values as there.
void fill_elements(Model& s) {
    Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    GlobalVek& gv = s.gv;
    const int nz = dk.nz;
    const long per_column = static_cast<long>(dk.ny) * nz;
    const double area = dk.dx * dk.dy;
    int* const flag = md.mdflag.data() + md.mdflag.position(1);
    double* const volfrac = md.volfrac.data() + md.volfrac.position(1);
    double* const difflen = md.difflen.data() + md.difflen.position(1);
    double* const porm = md.porm.data() + md.porm.position(1);
    double* const tortm = md.tortm.data() + md.tortm.position(1);
    double* const rhob = md.rhob.data() + md.rhob.position(1);
    double* const garea = gv.area.data() + gv.area.position(1);
    double* const gtop = gv.top.data() + gv.top.position(1);
    double* const gbot = gv.bot.data() + gv.bot.position(1);
    for (long i = 1; i <= dk.nx; ++i) {
        const int ix = reaction_zone(cell_centre(static_cast<int>(i), dk.dx), dk.x1, dk.x2);
        double retard[kComponents + 1], kd[kComponents + 1], yield[kComponents + 1], decay[kComponents + 1];
        for (int m = 1; m <= kComponents; ++m) {
            retard[m] = dk.retardms(m);
            kd[m] = (dk.retardms(m) - 1.0) * dk.porms / kBulkDensity;
            yield[m] = dk.yieldms(m);
            decay[m] = dk.decayms(m, ix, 1);
        }
        const long first = (i - 1) * per_column;
        for (long e = first; e < first + per_column; ++e) {
            flag[e] = dk.mdflags;
            volfrac[e] = dk.volfracs;
            difflen[e] = dk.difflens;
            porm[e] = dk.porms;
            tortm[e] = dk.tortms;
            rhob[e] = kBulkDensity;
            garea[e] = area;
            gtop[e] = dk.dz;
            gbot[e] = 0.0;
            const int n = static_cast<int>(e + 1);
            for (int m = 1; m <= kComponents; ++m) {
                md.retardm.data()[md.retardm.position(n, m)] = retard[m];
                md.kd.data()[md.kd.position(n, m)] = kd[m];
                md.yieldm.data()[md.yieldm.position(n, m)] = yield[m];
                md.diff.data()[md.diff.position(n, m)] = dk.diffs;
                md.decaym.data()[md.decaym.position(n, m)] = decay[m];
            }
        }
    }
}

}  // namespace

void setup_elements(Model& s, std::ostream& out) {
    Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    GlobalVek& gv = s.gv;
    const long nel = static_cast<long>(dk.nx) * dk.ny * dk.nz;
    int n = 0;
    if (dk.nx >= 1 && dk.ny >= 1 && dk.nz >= 1 && elements_within_capacity(s, nel)) {
        fill_elements(s);
        n = static_cast<int>(nel);
    } else
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

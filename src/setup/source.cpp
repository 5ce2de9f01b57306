#include "setup/source.hpp"

#include <cmath>
#include <ostream>

#include "text/console_line.hpp"

namespace quilmar {
namespace {

// A negative base of a real power is taken as 0; NaN passes unchanged.
double clip(double v) { return v < 0.0 ? 0.0 : v; }

}  // namespace

void setup_source(Model& s, std::ostream& out) {
    const Deck& dk = s.deck;
    SourceState& src = s.src;
    src.zsource = (dk.lzsourcemax - dk.lzsourcemin + 1) * dk.dz;
    src.ysource = dk.lysource * dk.dy;
    src.area2 = 2.0 * src.zsource * src.ysource;
    const double g = dk.gamma;
    const double lambda = dk.rates;
    const double q = dk.vd * src.area2;
    for (int m = 1; m <= kComponents; ++m) {
        if (!has_source(dk, m)) continue;
        const double m0 = dk.tzeromass(m);
        const double c0 = dk.czero(m);
        src.cs4(m) = c0 * q / (lambda * std::pow(m0, g));
        src.cs3(m) = std::pow(m0, 1.0 - g);
        src.cs2(m) = -src.cs4(m);
        src.cs6 = 1.0 / (1.0 - g);
        src.cs5 = (g - 1.0) * lambda;
        src.t1mass(m) = std::pow(clip((src.cs3(m) + src.cs4(m)) * std::exp(src.cs5 * dk.t1) - src.cs4(m)), src.cs6);
        src.t2mass(m) = (1.0 - dk.xremove) * src.t1mass(m);
        // The remediated mass is never more than the mass left at t2 without remediation.
        const double t2massnorem =
            std::pow(clip((src.cs3(m) + src.cs4(m)) * std::exp(src.cs5 * dk.t2) - src.cs4(m)), src.cs6);
        if (src.t2mass(m) > t2massnorem) src.t2mass(m) = t2massnorem;
        out << ConsoleLine().text("tzeromass(m)=").value(dk.tzeromass(m)).str() << '\n';
        src.ctwo(m) = c0 * std::pow(src.t2mass(m) / m0, g);
        src.css4(m) = src.ctwo(m) * q / (lambda * std::pow(src.t2mass(m), g));
        src.css3(m) = std::pow(src.t2mass(m), 1.0 - g);
        src.css2(m) = -src.css4(m);
    }
}

double source_concentration(Model& s, int m, double trelease) {
    const Deck& dk = s.deck;
    SourceState& src = s.src;
    const double g = dk.gamma;
    const double lambda = dk.rates;
    const double m0 = dk.tzeromass(m);
    const double c0 = dk.czero(m);
    double c = src.csource(m);
    bool evaluated = false;
    // Before remediation: depletion from time 0.
    if (trelease > 0.0 && trelease < dk.t1) {
        src.smass = std::pow(clip((src.cs3(m) + src.cs4(m)) * std::exp((g - 1.0) * lambda * trelease) + src.cs2(m)),
                             src.cs6);
        c = 0.0;
        if (m0 > kNegligible) c = c0 * std::pow(src.smass, g) / std::pow(m0, g);
        evaluated = true;
    }
    // During remediation: the mass falls linearly from t1mass to t2mass.
    if (dk.t1 <= trelease && trelease <= dk.t2) {
        src.smass = src.t1mass(m) - (trelease - dk.t1) / (dk.t2 - dk.t1) * (src.t1mass(m) - src.t2mass(m));
        c = 0.0;
        if (m0 > kNegligible) c = c0 * std::pow(src.smass, g) / std::pow(m0, g);
        evaluated = true;
    }
    // After remediation: depletion from the mass left at t2.
    if (trelease > dk.t2) {
        src.smass = std::pow(
            clip((src.css3(m) + src.css4(m)) * std::exp((g - 1.0) * lambda * (trelease - dk.t2)) + src.css2(m)),
            src.cs6);
        c = 0.0;
        if (src.t2mass(m) > kNegligible) c = src.ctwo(m) * std::pow(src.smass, g) / std::pow(src.t2mass(m), g);
        evaluated = true;
    }
    // An exhausted source releases nothing, whichever regime found it empty. The power law
    // alone would not ensure it: with gamma = 0 it keeps releasing czero from no mass
    // (0^0 = 1), and with gamma < 0 an infinite concentration. Steps with mass left are
    // unchanged.
    if (evaluated && src.smass == 0.0) c = 0.0;
    return c;
}

void release_source(Model& s) {
    const Deck& dk = s.deck;
    SourceState& src = s.src;
    src.trelease = s.atime;
    for (int m = 1; m <= kComponents; ++m) {
        if (!has_source(dk, m)) continue;
        src.csource(m) = source_concentration(s, m, src.trelease);
        for (int j = 1; j <= dk.lysource; ++j)
            for (int k = dk.lzsourcemin; k <= dk.lzsourcemax; ++k) s.cnew(m, 0, j, k) = src.csource(m);
    }
}

}  // namespace quilmar

// The source zone: depletion of the source mass by dissolution and first-order loss with a
// power law between outflow concentration and remaining mass, and a remediation that takes
// a fraction of the mass out between t1 and t2. Checked against the closed-form solution
// of dM/dt = -Q C - lambda M, C = Cs (M/Ms)^g, evaluated here on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "setup/source.hpp"
#include "support/run_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;

// Q = vd * 2 * (lysource dy) * ((lzsourcemax - lzsourcemin + 1) dz) = 0.1 * 2 * 3 * 1 = 0.6.
constexpr double kQ = 0.6;

// Component 3 has no source mass and so no source at all; component 4 just enough mass to
// count as a source.
Deck source_deck() {
    Deck d = testing::DeckBuilder().source(1, 2.0, 1000.0).source(2, 0.5, 40.0).source(3, 7.0, 0.0)
                 .source(4, 3.0, 1e-20).source_cells(2, 2, 3).remediation(0.6, 10.0, 15.0).grid(10, 3, 4)
                 .cells(2.0, 1.5, 0.5).flow(0.1, 0.3).well(9.0, 0.5, 0.25, 0.25).take();
    d.gamma = 0.7;
    d.rates = 0.05;
    return d;
}

// The closed-form law, computed in long double from the deck values alone.
struct DepletionLaw {
    long double q, lambda, g;
    // Mass at t of a source that holds ms with outflow concentration cs at time s.
    long double mass(long double t, long double s, long double ms, long double cs) const {
        const long double a = q * cs / (lambda * std::pow(ms, g));
        const long double base = (std::pow(ms, 1 - g) + a) * std::exp((g - 1) * lambda * (t - s)) - a;
        return base <= 0 ? 0.0L : std::pow(base, 1 / (1 - g));
    }
};

struct Reference {
    DepletionLaw law;
    long double m0, c0, t1, t2, xremove;
    long double t1mass() const { return law.mass(t1, 0, m0, c0); }
    long double t2mass() const { return std::fmin((1 - xremove) * t1mass(), law.mass(t2, 0, m0, c0)); }
    long double ctwo() const { return c0 * std::pow(t2mass() / m0, law.g); }
    long double concentration(long double t) const {
        if (t < t1) return c0 * std::pow(law.mass(t, 0, m0, c0) / m0, law.g);
        if (t <= t2) {
            const long double m = t1mass() + (t - t1) / (t2 - t1) * (t2mass() - t1mass());
            return c0 * std::pow(m / m0, law.g);
        }
        const long double m = law.mass(t, t2, t2mass(), ctwo());
        return ctwo() * std::pow(m / t2mass(), law.g);
    }
};

struct SourceRun {
    Model s;
    std::ostringstream out;
    explicit SourceRun(Deck& d) {
        testing::load_deck(s, d);
        testing::set_up(s, out);
    }
    double c(int m, double t) { return source_concentration(s, m, t); }
};

TEST(SourceSetup, GeometryConstantsAndConsoleLines) {
    Deck d = source_deck();
    SourceRun r(d);
    EXPECT_DOUBLE_EQ(r.s.src.area2, 6.0);
    EXPECT_EQ(r.s.src.ysource, 3.0);
    EXPECT_EQ(r.s.src.zsource, 1.0);
    const auto lines = lines_of(r.out.str());
    // nelmax, iwell, jwell, kwellbot, kwelltop, then the components with a source.
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], " tzeromass(m)= 1000");
    EXPECT_EQ(lines[6], " tzeromass(m)= 40");
    EXPECT_EQ(lines[7], " tzeromass(m)= 1e-20");
    const Reference ref{{kQ, 0.05, 0.7}, 1000, 2, 10, 15, 0.6};
    EXPECT_NEAR(r.s.src.t1mass(1), ref.t1mass(), 1e-12 * ref.t1mass());
    EXPECT_NEAR(r.s.src.t2mass(1), 0.4 * ref.t1mass(), 1e-12 * ref.t1mass());
    EXPECT_NEAR(r.s.src.ctwo(1), ref.ctwo(), 1e-12);
    // No constants for a component without source mass.
    EXPECT_EQ(r.s.src.cs4(3), 0.0);
    EXPECT_EQ(r.s.src.t1mass(3), 0.0);
}

TEST(SourceRelease, FollowsTheDepletionLawBeforeDuringAndAfterRemediation) {
    Deck d = source_deck();
    SourceRun r(d);
    const Reference p1{{kQ, 0.05, 0.7}, 1000, 2, 10, 15, 0.6};
    const Reference p2{{kQ, 0.05, 0.7}, 40, 0.5, 10, 15, 0.6};
    for (double t : {0.25, 1.0, 5.0, 9.999, 10.0, 11.0, 12.5, 14.999, 15.0, 15.001, 20.0, 40.0, 80.0, 150.0}) {
        EXPECT_NEAR(r.c(1, t), p1.concentration(t), 1e-12 * p1.c0) << "t = " << t;
        EXPECT_NEAR(r.c(2, t), p2.concentration(t), 1e-12 * p2.c0) << "t = " << t;
    }
    // Component 2 runs dry between 120 and 150; from then on nothing leaves the source.
    EXPECT_GT(r.c(2, 120.0), 0.0);
    EXPECT_EQ(p2.concentration(150.0), 0.0L);
    EXPECT_EQ(r.c(2, 150.0), 0.0);
    EXPECT_EQ(r.s.src.smass, 0.0);
}

TEST(SourceRelease, MassSolvesTheBalanceOfTheSourceZone) {
    // dM/dt = -Q C - lambda M away from the remediation, by central differences of the mass
    // the release reports, and a linear fall of the mass during the remediation.
    Deck d = source_deck();
    SourceRun r(d);
    const double h = 1e-4;
    for (double t : {2.0, 8.0, 20.0, 30.0}) {
        const double c = r.c(1, t);
        const double m = r.s.src.smass;
        r.c(1, t + h);
        const double up = r.s.src.smass;
        r.c(1, t - h);
        const double down = r.s.src.smass;
        const double dmdt = (up - down) / (2 * h);
        EXPECT_NEAR(dmdt, -kQ * c - 0.05 * m, 1e-6 * std::fabs(dmdt)) << "t = " << t;
        EXPECT_NEAR(c, 2.0 * std::pow(m / (t < 10 ? 1000.0 : r.s.src.t2mass(1)), 0.7) *
                           (t < 10 ? 1.0 : r.s.src.ctwo(1) / 2.0),
                    1e-12);
    }
    r.c(1, 11.0);
    const double m11 = r.s.src.smass;
    r.c(1, 13.0);
    const double m13 = r.s.src.smass;
    r.c(1, 12.0);
    EXPECT_NEAR(r.s.src.smass, 0.5 * (m11 + m13), 1e-12 * m11);
}

TEST(SourceRelease, ContinuousAtTheStartAndEndOfRemediation) {
    Deck d = source_deck();
    SourceRun r(d);
    const double e = 1e-9;
    EXPECT_NEAR(r.c(1, 10.0 - e), r.c(1, 10.0), 1e-8);
    EXPECT_NEAR(r.c(1, 15.0), r.c(1, 15.0 + e), 1e-8);
    r.c(1, 10.0);
    EXPECT_EQ(r.s.src.smass, r.s.src.t1mass(1));
    EXPECT_EQ(r.c(1, 15.0), r.s.src.ctwo(1));
    EXPECT_EQ(r.s.src.smass, r.s.src.t2mass(1));
    // The remediation shows as the faster fall of the concentration between t1 and t2
    // (0.66 against 0.28 in the five time units before).
    const double fall_during = r.c(1, 10.0) - r.c(1, 15.0);
    const double fall_before = r.c(1, 5.0) - r.c(1, 10.0);
    EXPECT_GT(fall_during, 2 * fall_before);
}

TEST(SourceRelease, NegligibleMassGivesNoConcentration) {
    Deck d = source_deck();
    SourceRun r(d);
    for (double t : {1.0, 12.0, 20.0}) EXPECT_EQ(r.c(4, t), 0.0) << t;
    // Just below the threshold the component has no source at all: no line, no constants.
    Deck below = source_deck();
    below.tzeromass(4) = 9.99e-21;
    SourceRun rb(below);
    EXPECT_EQ(lines_of(rb.out.str()).size(), 7u);
    EXPECT_EQ(rb.s.src.cs3(4), 0.0);
}

TEST(SourceRelease, WholeMassRemovedStopsTheReleaseAtT2) {
    Deck d = source_deck();
    d.xremove = 1.0;
    SourceRun r(d);
    EXPECT_EQ(r.s.src.t2mass(1), 0.0);
    const Reference ref{{kQ, 0.05, 0.7}, 1000, 2, 10, 15, 1.0};
    EXPECT_NEAR(r.c(1, 12.5), ref.concentration(12.5), 1e-12);
    EXPECT_EQ(r.c(1, 15.0), 0.0);
    EXPECT_EQ(r.c(1, 15.5), 0.0);
    EXPECT_EQ(r.c(1, 100.0), 0.0);
}

TEST(SourceRelease, ConstantConcentrationAndADepletedSource) {
    // gamma = 0: the concentration stays czero while mass remains. A source of 5 with
    // Q czero = 1.2 and loss 0.05 runs dry at ln(29/24)/0.05 = 3.78, before t1. From then
    // on the emptied source releases nothing, before, during and after the remediation
    // (the power law alone, 0^0 = 1, would go on releasing czero from no mass).
    Deck d = source_deck();
    d.gamma = 0.0;
    d.tzeromass(1) = 5.0;
    SourceRun r(d);
    EXPECT_EQ(r.c(1, 1.0), 2.0);
    EXPECT_EQ(r.c(1, 5.0), 0.0);
    EXPECT_EQ(r.s.src.smass, 0.0);
    EXPECT_EQ(r.s.src.t1mass(1), 0.0);
    EXPECT_EQ(r.c(1, 12.0), 0.0);
    EXPECT_EQ(r.c(1, 15.5), 0.0);
    EXPECT_EQ(r.c(1, 30.0), 0.0);
    // With mass left the concentration is czero before, during and after remediation.
    EXPECT_EQ(r.c(2, 1.0), 0.5);
    EXPECT_EQ(r.c(2, 12.0), 0.5);
    EXPECT_EQ(r.c(2, 20.0), 0.5);
}

TEST(SourceRelease, NoRemediationWhenNothingIsRemoved) {
    // xremove = 0: the remediation period keeps a straight line between the untreated
    // masses at t1 and t2.
    Deck d = source_deck();
    d.xremove = 0.0;
    SourceRun r(d);
    const DepletionLaw law{kQ, 0.05, 0.7};
    EXPECT_NEAR(r.s.src.t2mass(1), law.mass(15, 0, 1000, 2), 1e-9);
    const Reference ref{law, 1000, 2, 10, 15, 0.0};
    for (double t : {5.0, 12.0, 30.0}) EXPECT_NEAR(r.c(1, t), ref.concentration(t), 1e-12) << t;
    // After t2 the law from t2 continues the untreated solution.
    EXPECT_NEAR(r.c(1, 30.0), 2.0 * std::pow(law.mass(30, 0, 1000, 2) / 1000, 0.7), 1e-9);
}

TEST(SourceRelease, WritesOnlyTheSourceCellsOfColumnZero) {
    Deck d = source_deck();
    SourceRun r(d);
    r.s.atime = 12.0;
    release_source(r.s);
    EXPECT_EQ(r.s.src.trelease, 12.0);
    for (int m = 1; m <= 4; ++m)
        for (int j = 1; j <= 4; ++j)
            for (int k = 1; k <= 5; ++k) {
                const bool source_cell = j <= 2 && k >= 2 && k <= 3;
                const double want = source_cell ? r.s.src.csource(m) : 0.0;
                EXPECT_EQ(r.s.cnew(m, 0, j, k), want) << m << " " << j << " " << k;
                EXPECT_EQ(r.s.cnew(m, 1, j, k), 0.0);
            }
    EXPECT_GT(r.s.src.csource(1), 0.0);
    EXPECT_EQ(r.s.src.csource(3), 0.0);
    EXPECT_EQ(r.s.src.csource(4), 0.0);
}

}  // namespace
}  // namespace quilmar

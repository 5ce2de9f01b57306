#pragma once
// Formulas of the profile method for one element and component, shared by the routines
// over the module arrays and by the wavefront solver, so that both evaluate exactly the
// same operations in the same order.
#include <cmath>

namespace quilmar::mdmath {

// Penetration depth and the moments of exp(-z/d) (times 1, z, z^2) over 0..infinity
// (bounding layer, suffix 1) and over 0..len (embedded material, suffix 2).
struct Moments {
    double d, delt1, gam1, beta1, delt2, gam2, beta2;
};

inline Moments step_moments(double alpha, double diff, double tortm, double decaym, double len, double atime) {
    Moments r{};
    double d = 0.5 * std::pow(alpha * atime, 0.5);
    // Steady-state penetration with decay; without decay the quotient is infinite and does
    // not cap, nor does a NaN.
    const double ssdecay = std::pow(diff * tortm / decaym, 0.5);
    if (d > ssdecay) d = ssdecay;
    r.d = d;
    const double d2 = d * d;
    const double d3 = d2 * d;
    r.delt1 = d;
    r.gam1 = d2;
    r.beta1 = 2.0 * d3;
    const double expterm = std::exp(-len / d);
    r.delt2 = d - d * expterm;
    r.gam2 = d2 - len * d * expterm - d2 * expterm;
    r.beta2 = 2.0 * d3 - len * len * d * expterm - 2.0 * len * d2 * expterm - 2.0 * d3 * expterm;
    return r;
}

// Terms of the fitting p = aa c0 + bb that do not depend on the concentrations: the
// implicit decay factor enters a, b and e; aa = aatop / aabot.
struct FitTerms {
    double a, b, e, aatop, aabot;
};

inline FitTerms fit_terms(double delt, double gam, double beta, double alpha, double lambdar, double d, double dt) {
    FitTerms f{};
    f.a = beta + beta * (lambdar * dt);
    f.b = gam + alpha * dt + gam * lambdar * dt;
    f.e = delt - alpha * dt / d + delt * lambdar * dt;
    f.aatop = -f.e - f.a / (2.0 * alpha * dt) + f.a / (2.0 * d * d) - lambdar * f.a / (2.0 * alpha);
    f.aabot = f.a / d + f.b;
    return f;
}

// Numerator of bb from the previous stored amount and the old cell concentration.
inline double bb_base(double aiold, double coldt, double a, double alpha, double dt) {
    return aiold + coldt * a / (2.0 * alpha * dt);
}

// The two production terms of a daughter: from the parent's stored amount and from the
// parent's cell concentration of this sweep.
inline double bb_parent_storage(double yield, double lambda_parent, double dt, double ainew_parent, double retard) {
    return yield * lambda_parent * dt * ainew_parent / retard;
}
inline double bb_parent_cell(double a, double yield, double lambda_parent, double cnewtm_1, double alpha,
                             double retard) {
    return a * yield * lambda_parent * cnewtm_1 / (2.0 * alpha * retard);
}

// Interface conductances of one bounding face (K1) and of the embedded material (K2).
inline double k_bounding(double porm, double amd1, double tortm, double diff) { return porm * amd1 * tortm * diff; }
inline double k_embedded(double amd2, double porm, double tortm, double diff) { return amd2 * porm * tortm * diff; }

// Production of a daughter in the matrix water as it enters q.
inline double parent_source(double yield, double lambda_parent, double c_parent, double d, double retard,
                            double alpha) {
    return yield * lambda_parent * c_parent * d * d / (retard * alpha);
}

// q's numerator part that is the same for both kinds of matrix.
inline double qtop1(double c, double c_old, double d, double alpha, double dt) {
    return (c - c_old) * d * d / (alpha * dt) - c;
}

}  // namespace quilmar::mdmath

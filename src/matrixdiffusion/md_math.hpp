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

// The formulas below serve the module routines (T = double, per element) and the vector
// kernels of the wavefront solver (T = four lanes, per zone) alike, so that both execute
// the same operations in the same order. Products of constants come in formed once, each
// named after what it holds.

// The two production terms of a daughter in bb's numerator: from the parent's stored amount
// (yield_lambda_dt = yield * lambda_parent * dt) and from the parent's cell concentration of
// this sweep (a_yield_lambda = a * yield * lambda_parent, two_alpha_retard = 2 alpha retard).
template <class T>
inline T bb_parent_storage(T yield_lambda_dt, T ainew_parent, T retard) {
    return yield_lambda_dt * ainew_parent / retard;
}
template <class T>
inline T bb_parent_cell(T a_yield_lambda, T c_parent, T two_alpha_retard) {
    return a_yield_lambda * c_parent / two_alpha_retard;
}
// bb of a daughter from its numerator's parts.
template <class T>
inline T bb_daughter(T base, T from_storage, T from_cell, T aabot) {
    return (base + from_storage + from_cell) / aabot;
}

// The parts of q's numerator: the one both kinds of matrix share (alpha_dt = alpha dt), the
// matrix decay's, and the production of a daughter in the matrix water (yield_lambda =
// yield * lambda_parent, retard_alpha = retard alpha).
template <class T>
inline T qtop1(T c, T c_old, T d, T alpha_dt) {
    return (c - c_old) * d * d / alpha_dt - c;
}
template <class T>
inline T q_decay(T lambdar, T c, T d, T alpha) {
    return lambdar * c * d * d / alpha;
}
template <class T>
inline T parent_source(T yield_lambda, T c_parent, T d, T retard_alpha) {
    return yield_lambda * c_parent * d * d / retard_alpha;
}

// The profile of one kind of matrix: p from the fit with bb, q from the interface condition
// (two_d = 2 d, d_2d = d (2 d)), and the stored amount (the depth integral of the profile)
// from the moments. source counts only with has_parent.
template <class T>
struct Profile {
    T p, q, stored;
};
template <class T>
inline Profile<T> profile(T aa, T bb, T delt, T gam, T beta, T c, T qtop1, T q_decay, bool has_parent, T source,
                          T two_d, T d_2d) {
    const T p = aa * c + bb;
    T qtop2 = two_d * p + q_decay;
    if (has_parent) qtop2 = qtop2 - source;
    const T q = (qtop1 + qtop2) / d_2d;
    return Profile<T>{p, q, delt * c + gam * p + beta * q};
}

// The exchange of a cell with one active matrix: k bb on the right-hand side, k (1/d - aa)
// on the diagonal, each added to what the other matrices gave.
template <class T>
inline T exchange_rhs(T sum, T k, T bb) {
    return sum + k * bb;
}
inline double exchange_diagonal(double sum, double k, double d, double aa) { return sum + k / d - k * aa; }

// Interface conductances of one bounding face (K1) and of the embedded material (K2).
inline double k_bounding(double porm, double amd1, double tortm, double diff) { return porm * amd1 * tortm * diff; }
inline double k_embedded(double amd2, double porm, double tortm, double diff) { return amd2 * porm * tortm * diff; }

}  // namespace quilmar::mdmath

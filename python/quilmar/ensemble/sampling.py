"""Sampling the uncertain inputs: Latin hypercube or plain random numbers from one seed.

A Latin hypercube of n realisations cuts each input's probability range into n equal
strata and draws once in each, in an order shuffled independently per input; the spread
of a percentile band then settles with far fewer runs than plain random sampling needs.
The same seed gives the same values on every machine (numpy's PCG64 generator), and every
scenario of an ensemble runs on the same values (common random numbers), so the
difference between two remediation options is not blurred by sampling noise.
"""
import numpy as np

METHODS = ("lhs", "random")

# Uniform numbers are kept strictly inside (0, 1): the inverse distributions of unbounded
# inputs are infinite at the ends.
_EDGE = 2.0 ** -53


def uniforms(n, nparam, method, seed):
    """An (n, nparam) array of uniform numbers in (0, 1)."""
    rng = np.random.default_rng(seed)
    u = np.empty((n, nparam))
    for j in range(nparam):
        if method == "lhs":
            u[:, j] = (rng.permutation(n) + rng.random(n)) / n
        elif method == "random":
            u[:, j] = rng.random(n)
        else:
            raise ValueError(f"sampling {method!r} is not one of {', '.join(METHODS)}")
    return np.clip(u, _EDGE, 1.0 - _EDGE)


def sample(parameters, n, method, seed):
    """Input values, an (n, len(parameters)) array: column j holds parameter j's values.
    Integer deck items (rows, layers, grid counts) take the nearest whole number."""
    u = uniforms(n, len(parameters), method, seed)
    values = np.empty_like(u)
    for j, p in enumerate(parameters):
        x = p.dist.ppf(u[:, j])
        values[:, j] = np.rint(x) if p.integer else x
    return values


def deck_values(parameters, row):
    """{item name: value} of one realisation, in the types the deck takes."""
    return {p.name: (int(v) if p.integer else float(v)) for p, v in zip(parameters, row)}

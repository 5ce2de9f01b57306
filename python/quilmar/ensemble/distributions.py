"""Distributions of the uncertain inputs of an ensemble, each with its inverse cumulative
distribution, so that a sampler's uniform numbers in (0, 1) become input values.

  uniform(low, high)          loguniform(low, high)        triangular(low, mode, high)
  normal(mean, sd)            lognormal(median, gsd)       constant(value)

Optional `low` and `high` bounds truncate the normal and the lognormal (a Darcy flux or a
decay rate cannot be negative, a porosity cannot pass 1) and limit a constant; for the other
three they are the distribution's own ends. Truncation keeps the shape of the distribution
between the bounds: a uniform number u becomes F^-1(F(low) + u (F(high) - F(low))), computed
in whichever tail of the normal keeps its precision, so that bounds far out in a tail still
give values between them instead of rounding to one end.
"""
import math

import numpy as np
from scipy.special import ndtr, ndtri

# name -> (required parameters, optional truncation bounds)
KINDS = {
    "uniform": (("low", "high"), ()),
    "loguniform": (("low", "high"), ()),
    "triangular": (("low", "mode", "high"), ()),
    "normal": (("mean", "sd"), ("low", "high")),
    "lognormal": (("median", "gsd"), ("low", "high")),
    "constant": (("value",), ("low", "high")),
}


class BadDistribution(ValueError):
    """A distribution that cannot be sampled; `key` is the parameter at fault ("dist" for
    the distribution's name, None for the whole table)."""

    def __init__(self, key, message):
        super().__init__(message)
        self.key = key


def _number(key, value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise BadDistribution(key, f"{key} = {value!r} is not a number")
    v = float(value)
    if not math.isfinite(v):
        raise BadDistribution(key, f"{key} = {value!r} is not a finite number")
    return v


def _truncated_std_normal(u, a, b):
    """Standard normal truncated to [a, b] at uniform numbers u. In the upper tail the
    mirror image is computed, where the cumulative distribution has its precision."""
    if a > 0.0:
        return -_truncated_std_normal(1.0 - u, -b, -a)
    fa, fb = ndtr(a), ndtr(b)
    return np.clip(ndtri(fa + u * (fb - fa)), a, b)


def _std_normal_mass(a, b):
    if a > 0.0:
        a, b = -b, -a
    return ndtr(b) - ndtr(a)


class Distribution:
    """One input's distribution, built from its table in the plan (without the `dist` key
    itself). Raises BadDistribution naming the parameter at fault."""

    def __init__(self, kind, params):
        if kind not in KINDS:
            raise BadDistribution("dist", f"dist = {kind!r} is not one of "
                                          f"{', '.join(KINDS)}")
        required, optional = KINDS[kind]
        for key in params:
            if key not in required and key not in optional:
                takes = ", ".join(required) + (
                    f" and optional bounds {', '.join(optional)}" if optional else "")
                raise BadDistribution(key, f"{kind} takes {takes}, not {key}")
        for key in required:
            if key not in params:
                raise BadDistribution(None, f"{kind} needs {', '.join(required)}: "
                                            f"{key} is missing")
        self.kind = kind
        self.params = {k: _number(k, v) for k, v in params.items()}
        self.low = self.params.get("low", -math.inf)
        self.high = self.params.get("high", math.inf)
        self._check()

    def _check(self):
        p, low, high = self.params, self.low, self.high
        if self.kind in ("uniform", "loguniform", "triangular") and not low < high:
            raise BadDistribution("high", f"high = {high!r} must be above low = {low!r}")
        if self.kind == "loguniform" and low <= 0.0:
            raise BadDistribution("low", f"low = {low!r} must be positive for a loguniform")
        if self.kind == "triangular" and not low <= p["mode"] <= high:
            raise BadDistribution("mode", f"mode = {p['mode']!r} must lie within low = "
                                          f"{low!r} and high = {high!r}")
        if self.kind == "normal" and p["sd"] <= 0.0:
            raise BadDistribution("sd", f"sd = {p['sd']!r} must be positive")
        if self.kind == "lognormal":
            if p["median"] <= 0.0:
                raise BadDistribution("median", f"median = {p['median']!r} must be positive")
            if p["gsd"] <= 1.0:
                raise BadDistribution("gsd", f"gsd = {p['gsd']!r} (the geometric standard "
                                             f"deviation) must be above 1")
        if self.kind in ("normal", "lognormal", "constant"):
            if "low" in p and "high" in p and not low < high and self.kind != "constant":
                raise BadDistribution("high", f"high = {high!r} must be above low = {low!r}")
            if self.kind == "constant":
                empty = not low <= p["value"] <= high
            else:
                a, b = self._z_bounds()
                empty = not _std_normal_mass(a, b) > 0.0
            if empty:
                raise BadDistribution(None, f"the bounds low = {low!r}, high = {high!r} "
                                            f"exclude every value of this {self.kind}")

    def _z_bounds(self):
        """The truncation bounds in standard normal units (of the logarithm for a
        lognormal)."""
        p, low, high = self.params, self.low, self.high
        if self.kind == "normal":
            return (low - p["mean"]) / p["sd"], (high - p["mean"]) / p["sd"]
        mu, s = math.log(p["median"]), math.log(p["gsd"])
        a = (math.log(low) - mu) / s if low > 0.0 else -math.inf
        b = (math.log(high) - mu) / s if high > 0.0 else -math.inf
        return a, b

    def ppf(self, u):
        """Values at uniform numbers u in (0, 1), increasing with u."""
        u = np.asarray(u, dtype=float)
        p, low, high = self.params, self.low, self.high
        if self.kind == "constant":
            return np.full(u.shape, p["value"])
        if self.kind == "uniform":
            return np.clip(low + u * (high - low), low, high)
        if self.kind == "loguniform":
            return np.clip(np.exp(math.log(low) + u * math.log(high / low)), low, high)
        if self.kind == "triangular":
            mode, width = p["mode"], high - low
            c = (mode - low) / width
            left = low + np.sqrt(u * width * (mode - low))
            right = high - np.sqrt((1.0 - u) * width * (high - mode))
            return np.clip(np.where(u < c, left, right), low, high)
        z = _truncated_std_normal(u, *self._z_bounds())
        if self.kind == "normal":
            x = p["mean"] + p["sd"] * z
        else:
            x = np.exp(math.log(p["median"]) + math.log(p["gsd"]) * z)
        return np.clip(x, low, high)

    def describe(self):
        args = ", ".join(f"{k}={v:g}" for k, v in self.params.items())
        return f"{self.kind}({args})"

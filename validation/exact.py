"""Closed-form solutions of the transport problems the validation cases compare against.

All concentrations are relative to the source concentration unless a `c0` is given.
Exponentials that overflow on their own (exp(v·x/D) far downstream) are formed together
with the complementary error function through the scaled erfcx.
"""
import numpy as np
from scipy.special import erfc, erfcx, erf


def _args(x, t, v, D):
    root = 2.0 * np.sqrt(D * t)
    return (x - v * t) / root, (x + v * t) / root


def ogata_banks(x, t, v, D):
    """1-D advection-dispersion, semi-infinite column, clean at t = 0, concentration held
    at 1 at x = 0 (first-type inlet)."""
    a, b = _args(np.asarray(x, float), t, v, D)
    return 0.5 * (erfc(a) + np.exp(-a * a) * erfcx(b))


def flux_inlet(x, t, v, D):
    """As `ogata_banks`, but with the inflowing water at concentration 1 and the dispersive
    flux across the inlet counted (third-type inlet: v·c − D·dc/dx = v at x = 0)."""
    x = np.asarray(x, float)
    a, b = _args(x, t, v, D)
    return (0.5 * erfc(a) + np.sqrt(v * v * t / (np.pi * D)) * np.exp(-a * a)
            - 0.5 * (1.0 + v * x / D + v * v * t / D) * np.exp(-a * a) * erfcx(b))


def decay_exponent(v, D, rate):
    """k of the steady profile exp(k·x) of v·c' = D·c'' − rate·c, written without the
    cancellation of v/(2D)·(1 − sqrt(1 + 4·rate·D/v²)) (also valid for D = 0)."""
    return -2.0 * rate / (v * (1.0 + np.sqrt(1.0 + 4.0 * rate * D / (v * v))))


def steady_decay(x, v, D, rate):
    """Steady 1-D profile with first-order decay, concentration 1 at x = 0."""
    return np.exp(decay_exponent(v, D, rate) * np.asarray(x, float))


def chain_steady(x, v, D, rates, yields, c0=(1.0, 0.0, 0.0, 0.0)):
    """Steady profiles of a decay chain 1 → 2 → … in a semi-infinite column.

    Every member is a sum of the exponentials exp(k_j·x) of the members above it and of
    its own: D·k_j² − v·k_j = rate_j, so the parent's term j feeds the daughter m with the
    coefficient yield_m·rate_(m−1)·A_(m−1,j)/(rate_m − rate_j). The rates must differ.
    `yields[m]` is the yield of member m from member m − 1 (yields[0] is not used).
    """
    x = np.asarray(x, float)
    n = len(rates)
    k = [decay_exponent(v, D, r) for r in rates]
    coef = np.zeros((n, n))
    for m in range(n):
        for j in range(m):
            coef[m, j] = yields[m] * rates[m - 1] * coef[m - 1, j] / (rates[m] - rates[j])
        coef[m, m] = c0[m] - coef[m, :m].sum()
    return np.array([sum(coef[m, j] * np.exp(k[j] * x) for j in range(m + 1))
                     for m in range(n)])


def patch_series(x, y, z, v, Dx, Dy, Dz, rate, ys, z1, z2, yb, h, terms=(400, 200)):
    """Steady concentration below a patch source in a bounded aquifer.

    Domain x ≥ 0, 0 ≤ y ≤ yb, 0 ≤ z ≤ h; no flux through y = 0 (the plume's centre plane),
    z = 0 and z = h; concentration 0 at y = yb; concentration 1 on 0 ≤ y < ys,
    z1 ≤ z < z2 of the plane x = 0 and 0 elsewhere on it. Eigenfunction series in y and z,
    each mode decaying along x with its own steady exponent.
    """
    x, y, z = (np.atleast_1d(np.asarray(a, float)) for a in (x, y, z))
    n = np.arange(terms[0])
    beta = (2 * n + 1) * np.pi / (2.0 * yb)
    ay = 2.0 / yb * np.sin(beta * ys) / beta
    m = np.arange(terms[1])
    gam = m * np.pi / h
    az = np.empty(terms[1])
    az[0] = (z2 - z1) / h
    az[1:] = 2.0 / h * (np.sin(gam[1:] * z2) - np.sin(gam[1:] * z1)) / gam[1:]
    mu = rate + Dy * beta[:, None] ** 2 + Dz * gam[None, :] ** 2
    kx = decay_exponent(v, Dx, mu)                        # (ny-terms, nz-terms)
    amp = ay[:, None] * az[None, :]
    out = np.empty(np.broadcast(x, y, z).shape)
    for idx, (xi, yi, zi) in enumerate(np.broadcast(x, y, z)):
        out.flat[idx] = np.sum(amp * np.exp(kx * xi) * np.cos(beta * yi)[:, None]
                               * np.cos(gam * zi)[None, :])
    return out


def patch_approximation(x, y, z, v, ax, ay, az, rate, ys, zs):
    """The usual closed-form screening approximation for the steady plume below a source of
    half-width ys and height zs at the top (or base) of an unbounded aquifer: lateral and
    vertical spreading of a pulse travelling at v, longitudinal dispersion only in the
    decay term."""
    x, y, z = (np.asarray(a, float) for a in (x, y, z))
    sy = 2.0 * np.sqrt(ay * x)
    sz = 2.0 * np.sqrt(az * x)
    decay = np.exp(x / (2 * ax) * (1 - np.sqrt(1 + 4 * rate * ax / v))) if ax > 0 \
        else np.exp(-rate * x / v)
    return (0.25 * decay * (erf((y + ys) / sy) - erf((y - ys) / sy))
            * (erf((z + zs) / sz) - erf((z - zs) / sz)))


def loading(t, alpha):
    """Semi-infinite matrix, clean at t = 0, interface held at 1 from t = 0: the amount
    stored per unit interface area (per unit porosity and retardation) and the pore-water
    gradient at the interface, −dc/dz."""
    t = np.asarray(t, float)
    return 2.0 * np.sqrt(alpha * t / np.pi), 1.0 / np.sqrt(np.pi * alpha * t)


def release(t, t1, alpha):
    """As `loading`, with the interface returned to 0 at t1 (superposition of a loading
    from 0 and a negative loading from t1). A negative gradient is a release."""
    t = np.asarray(t, float)
    amount, grad = loading(t, alpha)
    late = t > t1
    later = np.where(late, t - t1, 1.0)
    amount2, grad2 = loading(later, alpha)
    return amount - np.where(late, amount2, 0.0), grad - np.where(late, grad2, 0.0)


def slab_fraction(t, alpha, L, terms=200):
    """Fraction of its capacity that a slab of half-thickness L (both faces held at 1, so
    no flux through its middle) has taken up at time t: the eigenfunction series."""
    t = np.atleast_1d(np.asarray(t, float))
    n = 2 * np.arange(terms)[:, None] + 1
    return 1.0 - np.sum(8.0 / (n * n * np.pi ** 2)
                        * np.exp(-(n * np.pi) ** 2 * alpha * t[None, :] / (4 * L * L)), axis=0)


def ierfc(u):
    return np.exp(-u * u) / np.sqrt(np.pi) - u * erfc(u)


def slab_fraction_images(t, alpha, L, terms=60):
    """The same uptake from the reflections of the semi-infinite solution in the slab's
    middle plane (converges fast at short times, where the series is slow)."""
    t = np.atleast_1d(np.asarray(t, float))
    s = np.sqrt(alpha * t)
    n = np.arange(1, terms)[:, None]
    tail = np.sum((-1.0) ** n * ierfc(n * L / s[None, :]), axis=0)
    return 2.0 * s / L * (1.0 / np.sqrt(np.pi) + 2.0 * tail)


def discrete_column(nx, flow, conduct, loss, c_in=1.0, gain=None):
    """Steady solution of the program's own cell balance along one row of cells:
    (Q + 2G + L)·c_i = (Q + G)·c_(i−1) + G·c_(i+1) + gain_i, c_0 = c_in, c_(nx+1) = 0."""
    from scipy.linalg import solve_banded
    band = np.zeros((3, nx))
    band[0, 1:] = -conduct
    band[1, :] = flow + 2 * conduct + loss
    band[2, :-1] = -(flow + conduct)
    rhs = np.zeros(nx) if gain is None else np.array(gain, float)
    rhs[0] += (flow + conduct) * c_in
    return solve_banded((1, 1), band, rhs)


def discrete_ratio(flow, conduct, loss):
    """Ratio r of neighbouring cells of the same balance on an unbounded row, c_i = r^i:
    the root below 1 of G·r² − (Q + 2G + L)·r + (Q + G) = 0."""
    if conduct == 0:
        return flow / (flow + loss)
    b = flow + 2 * conduct + loss
    return 2 * (flow + conduct) / (b + np.sqrt(b * b - 4 * conduct * (flow + conduct)))

# The exact solutions of the validation report, each against an independent fine-grid
# numerical solution or a second closed form.
import os
import sys

import numpy as np
import pytest
from scipy.linalg import solve_banded

sys.path.insert(0, os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
from validation import exact  # noqa: E402


def tridiag(lower, diag, upper, rhs):
    n = len(diag)
    band = np.zeros((3, n))
    band[0, 1:], band[1], band[2, :-1] = upper, diag, lower
    return solve_banded((1, 1), band, rhs)


def column_fd(inlet, v=1.0, D=0.5, t=15.0, h=0.01, dt=0.005, length=60.0):
    """Crank-Nicolson, central differences, on x = 0..length; first-type inlet c(0) = 1 or
    third-type v·c − D·c' = v (through a ghost node), c = 0 at the far end."""
    x = np.arange(0.0, length + h / 2, h)
    n = len(x)
    a, b = D / h ** 2 + v / (2 * h), D / h ** 2 - v / (2 * h)     # from i−1 and from i+1
    lower, diag, upper = np.full(n, a), np.full(n, -2 * D / h ** 2), np.full(n, b)
    bound = np.zeros(n)
    if inlet == "first":
        lower[1] = diag[0] = upper[0] = 0.0
        bound[1] = a
    else:   # ghost c_(−1) = c_1 + 2h·v·(1 − c_0)/D
        upper[0] = a + b
        diag[0] -= 2 * h * v / D * a
        bound[0] = 2 * h * v / D * a
    c = np.zeros(n)
    c[0] = 1.0 if inlet == "first" else 0.0

    def apply(c):
        out = diag * c + bound
        out[1:] += lower[1:] * c[:-1]
        out[:-1] += upper[:-1] * c[1:]
        return out
    for _ in range(int(round(t / dt))):
        rhs = c + 0.5 * dt * (apply(c) + bound)
        c = tridiag(-0.5 * dt * lower[1:], 1 - 0.5 * dt * diag, -0.5 * dt * upper[:-1], rhs)
        if inlet == "first":
            c[0] = 1.0
    return x, c


@pytest.mark.parametrize("inlet,formula", [("first", exact.ogata_banks),
                                           ("third", exact.flux_inlet)])
def test_column_solutions_match_fine_grid(inlet, formula):
    x, c = column_fd(inlet)
    want = formula(x, 15.0, 1.0, 0.5)
    assert np.abs(c - want).max() < 2e-5
    # far downstream the closed forms stay finite where exp(v·x/D) alone overflows
    assert np.isfinite(formula(np.array([2000.0]), 15.0, 1.0, 0.5)).all()


def test_chain_matches_fine_grid_steady_solution():
    rates, yields = (0.05, 0.03, 0.08, 0.02), (0.0, 0.79, 0.74, 0.64)
    v, D, h, length = 1.0, 1.0, 0.01, 150.0
    x = np.arange(h, length, h)
    n = len(x)
    lower = np.full(n - 1, D / h ** 2 + v / (2 * h))
    upper = np.full(n - 1, D / h ** 2 - v / (2 * h))
    members = []
    for m, rate in enumerate(rates):
        rhs = np.zeros(n)
        if m == 0:
            rhs[0] = -(D / h ** 2 + v / (2 * h))
        else:
            rhs -= yields[m] * rates[m - 1] * members[-1]
        members.append(tridiag(lower, np.full(n, -2 * D / h ** 2 - rate), upper, rhs))
    want = exact.chain_steady(x, v, D, rates, yields)
    near = x < 100.0
    assert np.abs(np.array(members)[:, near] - want[:, near]).max() < 2e-5
    assert np.allclose(want[0], exact.steady_decay(x, v, D, rates[0]))


def test_discrete_column_against_its_geometric_solution():
    for flow, conduct, loss in ((0.25, 0.125, 0.005), (0.25, 0.0, 0.05)):
        c = exact.discrete_column(400, flow, conduct, loss)
        r = exact.discrete_ratio(flow, conduct, loss)
        i = np.arange(1, 101)
        assert np.allclose(c[:100], r ** i, rtol=1e-12)
        # every cell balances: inflow and dispersion in = outflow, dispersion and decay out
        prev = np.concatenate(([1.0], c[:-1]))
        nxt = np.concatenate((c[1:], [0.0]))
        assert np.allclose((flow + 2 * conduct + loss) * c,
                           (flow + conduct) * prev + conduct * nxt, atol=1e-15)


def test_patch_series_reduces_to_the_unbounded_closed_form():
    # Without longitudinal dispersion and far from every boundary the series and the
    # product of error functions solve the same problem.
    x = np.array([5.0, 20.0, 60.0])
    series = exact.patch_series(x, 0.5, 0.5, 1.0, 0.0, 0.1, 0.02, 0.01, 2.0, 0.0, 1.5,
                                60.0, 40.0, terms=(1500, 1000))
    closed = exact.patch_approximation(x, 0.5, 0.5, 1.0, 0.0, 0.1, 0.02, 0.01, 2.0, 1.5)
    assert np.allclose(series, closed, rtol=2e-3)
    # at the inlet the series rebuilds the patch: 1 inside, 0 outside
    inlet = exact.patch_series([0.0, 0.0], [1.0, 3.0], [0.5, 0.5], 1.0, 1.0, 0.1, 0.02, 0.0,
                               2.0, 0.0, 1.5, 8.0, 4.0, terms=(2000, 1000))
    assert inlet == pytest.approx([1.0, 0.0], abs=0.01)


def diffusion_fd(face, t_end, alpha=0.015, h=0.002, dt=0.005, depth=2.0):
    """Matrix pore water below a face whose concentration is face(t); Crank-Nicolson with
    backward-Euler steps after each jump of the face value. Returns amount and gradient."""
    n = int(depth / h)
    c = np.zeros(n)
    k = alpha / h ** 2
    lower, upper = np.full(n - 1, k), np.full(n - 1, k)
    diag = np.full(n, -2 * k)
    diag[-1] = -k                                      # no flux at the bottom
    times = np.arange(1, int(round(t_end / dt)) + 1) * dt
    out, last = [], None
    for t in times:
        cf = face(t)
        theta = 1.0 if last is None or cf != last else 0.5
        last = cf
        rhs = c.copy()
        if theta < 1:
            ex = diag * c
            ex[1:] += lower * c[:-1]
            ex[:-1] += upper * c[1:]
            ex[0] += k * cf
            rhs += (1 - theta) * dt * ex
        rhs[0] += theta * dt * k * cf
        c = tridiag(-theta * dt * lower, 1 - theta * dt * diag, -theta * dt * upper, rhs)
        profile = np.concatenate(([cf], c))
        amount = h * (profile.sum() - 0.5 * profile[0] - 0.5 * profile[-1])
        out.append((amount, (cf - c[0]) / h))
    return times, np.array(out)


def test_loading_and_release_match_fine_grid():
    t, fd = diffusion_fd(lambda t: 1.0 if t <= 5.0 + 1e-9 else 0.0, 10.0)
    amount, grad = exact.release(t, 5.0, 0.015)
    pick = (t > 1.0) & (abs(t - 5.0) > 1.0)
    assert np.allclose(fd[pick, 0], amount[pick], rtol=2e-4)
    assert np.allclose(fd[pick, 1], grad[pick], rtol=1e-3)
    before = t <= 5.0
    assert np.allclose(exact.loading(t[before], 0.015)[0], amount[before])


def test_slab_series_equals_image_sum():
    t = np.array([0.01, 0.5, 3.0, 20.0, 80.0])
    series = exact.slab_fraction(t, 0.015, 0.5, terms=4000)
    images = exact.slab_fraction_images(t, 0.015, 0.5)
    assert np.allclose(series, images, atol=1e-6)
    assert exact.slab_fraction(1e4, 0.015, 0.5)[0] == pytest.approx(1.0)

"""Steady centreline concentration below a patch source in 3-D.

The grid is a bounded aquifer: no flux through its centre plane, base and top, zero
concentration one cell width beyond its outer row. The exact series solves the same
bounded problem; the usual closed-form screening approximation, which assumes an
unbounded aquifer and ignores longitudinal dispersion except in the decay term, is shown
beside it.
"""
import numpy as np

from . import exact, runner
from .report import Case, pct

V, PORF = 1.0, 0.25
AX, AY = 1.0, 0.1
DX, NX, DY, DZ = 1.0, 200, 0.5, 0.5
LY, LZ = 5, 4                     # source rows 1..LY (half-width 2.5 m), layers 1..LZ (2 m)
RATE = 0.005
# Two aquifers: a thick one in which the plume stays clear of the top and the outer row
# within 200 m, and a thin one with stronger vertical dispersion that the plume fills.
AQUIFERS = {"thick": dict(ny=16, nz=10, az=0.02), "thin": dict(ny=16, nz=6, az=0.1)}
POSITIONS = (2.5, 5.5, 10.5, 20.5, 50.5, 100.5, 150.5)
QUICK_NX = 120


def simulate(nx, ny, nz, az):
    deck = dict(lysource=LY, lzsourcemax=LZ, lzsourcemin=1, vd=V * PORF, porf=PORF,
                alphax=AX, alphat=AY, alphav=az, dx=DX, nx=nx, dy=DY, ny=ny, dz=DZ, nz=nz,
                dt=1000.0, nt=9, npt=9, xwell=0.5, ywell=0.25, zwelltop=0.25, zwellbot=0.25,
                **runner.decay((RATE, 0, 0, 0)))
    x, c = runner.run(deck).snapshot(9000.0)
    line = (np.isclose(x[:, 1], 0.5 * DY)) & (np.isclose(x[:, 2], 0.5 * DZ))
    return x[line, 0], c[line]


def bounded(x, shift, ny, nz, az):
    yb = (ny + 0.5) * DY     # the zero row beyond the outer row, at its centre
    return exact.patch_series(x + shift, 0.5 * DY, 0.5 * DZ, V, max(AX, 0.5 * DX) * V,
                              AY * V, az * V, RATE, LY * DY, 0.0, LZ * DZ, yb, nz * DZ)


def analyse(case, name, nx, ny, nz, az):
    x, c = simulate(nx, ny, nz, az)
    series = bounded(x, 0.0, ny, nz, az)
    shifted = bounded(x, 0.5 * DX, ny, nz, az)
    approx = exact.patch_approximation(x, 0.5 * DY, 0.5 * DZ, V, AX, AY, az, RATE, LY * DY,
                                       LZ * DZ)
    keep = x < 0.8 * x.max()
    errs = dict(err=np.abs(c / series - 1)[keep].max(),
                err_shift=np.abs(c / shifted - 1)[keep].max(),
                err_approx=np.abs(approx / series - 1)[keep].max())
    case.summary[name] = errs
    rows = []
    for xs in POSITIONS:
        i = int(np.argmin(abs(x - xs)))
        if not keep[i]:
            continue
        where = f"{name} x={x[i]:g}"
        case.compare("c centreline", where, c[i], series[i])
        case.compare("c centreline (inlet at -dx/2)", where, c[i], shifted[i])
        case.compare("screening approximation", where, approx[i], series[i])
        rows.append([name, f"{x[i]:g}", f"{c[i]:.5f}", f"{series[i]:.5f}",
                     f"{shifted[i]:.5f}", f"{approx[i]:.5f}", f"{c[i] / series[i]:.4f}",
                     f"{approx[i] / series[i]:.4f}"])
    return dict(name=name, x=x, c=c, series=series, approx=approx, rows=rows, nz=nz, az=az,
                keep=keep, **errs)


def run(quick=False):
    case = Case("patch_3d", "Steady plume below a patch source in 3-D")
    nx = QUICK_NX if quick else NX
    results = [analyse(case, name, nx, **aq) for name, aq in AQUIFERS.items()]
    case.add(f"""
Deck: {nx} columns of {DX:g} m, {AQUIFERS['thick']['ny']} rows of {DY:g} m, layers of
{DZ:g} m, pore velocity {V:g} m/yr, dispersivities {AX:g} m along and {AY:g} m across the
flow, decay {RATE:g} 1/yr, no molecular diffusion; the source covers rows 1–{LY}
(half-width {LY * DY:g} m) and layers 1–{LZ} (the lowest {LZ * DZ:g} m); nine steps of
1000 yr. Thick aquifer: {AQUIFERS['thick']['nz']} layers, vertical dispersivity
{AQUIFERS['thick']['az']:g} m; thin aquifer: {AQUIFERS['thin']['nz']} layers,
{AQUIFERS['thin']['az']:g} m. Centreline: the cells of the first row and layer
(y = {0.5 * DY:g} m, z = {0.5 * DZ:g} m). Exact: the series solution of the same bounded
domain (no flux at y = 0, at the base and the top; zero one cell width beyond the outer
row), with the inlet at x = 0 and at x = −`dx`/2.""")
    case.table(["aquifer", "x", "model", "exact (inlet 0)", "exact (inlet −dx/2)",
                "approximation", "model / exact", "approximation / exact"],
               [row for r in results for row in r["rows"]])
    case.table(["aquifer", "model against exact", "model against exact, inlet at −dx/2",
                "approximation against exact"],
               [[r["name"], pct(r["err"]), pct(r["err_shift"]), pct(r["err_approx"])]
                for r in results])
    case.add("""
Largest relative errors over the first 80 % of the grid. The closed-form approximation
assumes an unbounded aquifer: where the plume reaches the top of a thin aquifer, the top
holds the contaminant in and the approximation falls below the exact centreline by more
and more with distance, while the model, which has the top, follows it.""")
    ax = case.figure("centreline")
    for r in results:
        line, = ax.semilogy(r["x"], r["c"], "o", ms=2, label=f"model, {r['name']}")
        ax.semilogy(r["x"], r["series"], "-", color=line.get_color(), lw=1,
                    label=f"exact series, {r['name']}")
        ax.semilogy(r["x"], r["approx"], "--", color=line.get_color(), lw=1,
                    label=f"closed-form approximation, {r['name']}")
    ax.set(xlabel="x (m)", ylabel="c / c0", title="Centreline below a patch source")
    ax.legend(fontsize=7)
    return case

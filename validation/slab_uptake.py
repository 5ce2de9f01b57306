"""Embedded material of half-thickness `difflens` filling up from water held at a constant
concentration, against the exact series solution for a slab open on both faces."""
import numpy as np

from . import exact, runner
from .aquitard_loading import alpha, matrix_deck
from .report import Case

L = 0.5                                   # `difflens`, m
DTS = (0.1, 1.0, 5.0)
TEND = 60.0                               # yr; α·t/L² up to 3.6
TIMES = (0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 40.0, 60.0)   # yr; α·t/L² = 0.06·t
QUICK = {"dts": (1.0,)}


def analyse(case, dt):
    nt = int(round(TEND / dt))
    result = runner.run(matrix_deck(2, dt, nt, volfrac=0.5, difflen=L), read=())
    t, stored = result.progress[:, 0], result.progress[:, 3]
    model = stored / L                    # fraction of the capacity c0·L
    want = exact.slab_fraction(t, alpha(), L)
    tau = alpha() * t / L ** 2
    for target in TIMES:
        i = int(np.argmin(abs(t - target)))
        if abs(t[i] - target) < 1e-9:
            case.compare("fraction taken up", f"dt={dt:g} t={t[i]:g}", model[i], want[i])
    return dict(dt=dt, t=t, tau=tau, model=model, want=want, ratio=model / want)


def at(r, target):
    i = int(np.argmin(abs(r["t"] - target)))
    ok = abs(r["t"][i] - target) < 1e-9
    return f"{r['model'][i]:.3f} ({r['ratio'][i]:.3f})" if ok else "–"


def run(quick=False):
    case = Case("slab_uptake", "Embedded material filling up")
    results = [analyse(case, dt) for dt in (QUICK["dts"] if quick else DTS)]
    case.summary["results"] = results
    case.add(f"""
Deck: as `aquitard_loading`, but embedded material (`mdflags` = 2) of `difflens` =
{L:g} m in half of each cell's volume (`volfracs` = 0.5); α = {alpha():g} m²/yr, so
L²/α = {L * L / alpha():.1f} yr; run to {TEND:g} yr. Exact: uptake of a slab of
half-thickness L with both faces at c0, 1 − Σ 8/((2n+1)²π²)·exp(−(2n+1)²π²·α·t/(4L²)).
Fraction of the capacity c0·L taken up (`vw-mass2` of the progress line over L), and in
brackets the ratio to the exact fraction:""")
    case.table(["t (yr)", "α·t/L²", "exact"] + [f"dt = {r['dt']:g}" for r in results],
               [[f"{t:g}", f"{alpha() * t / L ** 2:.3g}",
                 f"{exact.slab_fraction(t, alpha(), L)[0]:.3f}"]
                + [at(r, t) for r in results] for t in TIMES])
    last = results[0]
    case.summary["final"] = last["model"][-1]
    case.summary["peak"] = max(r["model"].max() for r in results)
    case.add(f"""
Early on the material behaves as a semi-infinite aquitard and the ratio is that of
`aquitard_loading`. Once the exact profile feels the middle of the slab (α·t/L² of
0.1 and more) the exact uptake slows down, while the profile method's shape, whose
moments are cut at L but whose depth d = ½·√(α·t) knows nothing of the middle plane, lags
further: the ratio falls to about 0.89 near α·t/L² = 1 and recovers only slowly. At
{TEND:g} yr the model holds {last['model'][-1]:.3f} of the capacity (exact
{last['want'][-1]:.3f}); no run exceeds the capacity (largest fraction
{case.summary['peak']:.3f}).""")
    ax = case.figure("uptake")
    for r in results:
        ax.plot(r["tau"], r["model"], label=f"model, dt = {r['dt']:g} yr")
    tau = np.linspace(1e-3, alpha() * TEND / L ** 2, 300)
    ax.plot(tau, exact.slab_fraction(tau * L * L / alpha(), alpha(), L), "k--", label="exact")
    ax.set(xlabel="α·t/L²", ylabel="fraction of capacity", title="Slab uptake")
    ax.legend(fontsize=7)
    return case

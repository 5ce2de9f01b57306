"""Mass stored in an aquitard below an aquifer held at a constant concentration.

One cell on an aquitard (code 1), flushed so fast by the source water that its
concentration stays at the source's (within a few parts in a million): the aquitard then
sees a constant concentration at its face from t = 0, and the amount it holds per unit
area is 2·c0·√(α·t/π). The program prints that amount for its first cell after every
step; with a constant face concentration the ratio to the exact amount depends on the
number of steps alone, whatever `dt` or α.
"""
import numpy as np

from . import exact, runner
from .report import Case

PORMS, TORTMS, DIFFS = 0.3, 0.5, 0.03
STEPS = (1, 2, 3, 5, 10, 20, 50, 100, 200, 500, 1000)
DTS = (0.1, 1.0, 5.0)
QUICK = {"dts": (1.0,), "nt": 200}


def matrix_deck(code, dt, nt, retard=1.0, volfrac=1.0, difflen=1.0, removal=None, npt=None):
    """One cell on a matrix of the given code, flushed at 1e4 m/yr by source water at
    concentration 1; `removal` takes the whole source away at that time."""
    deck = dict(vd=1e4, porf=0.25, mdflags=code, porms=PORMS, tortms=TORTMS, diffs=DIFFS,
                volfracs=volfrac, difflens=difflen, retardms=[retard, 1, 1, 1], nx=1,
                dt=dt, nt=nt, npt=npt or nt)
    if removal is not None:
        deck.update(xremove=1.0, t1=removal, t2=removal + 1e-4)
    return deck


def alpha(retard=1.0):
    return DIFFS * TORTMS / retard


def analyse(case, dt, nt, retard):
    result = runner.run(matrix_deck(1, dt, nt, retard), read=())
    t, stored = result.progress[:, 0], result.progress[:, 2]
    want, _ = exact.loading(t, alpha(retard))
    ratio = stored / want
    for n in STEPS:
        if n <= nt:
            case.compare("stored amount", f"dt={dt:g} R={retard:g} n={n} t={t[n - 1]:g}",
                         stored[n - 1], want[n - 1])
    return dict(dt=dt, retard=retard, n=np.arange(1, nt + 1), ratio=ratio)


def run(quick=False):
    case = Case("aquitard_loading", "Aquitard below an aquifer at constant concentration")
    dts = QUICK["dts"] if quick else DTS
    nt = QUICK["nt"] if quick else 1000
    results = [analyse(case, dt, nt, 1.0) for dt in dts]
    if not quick:
        results.append(analyse(case, 1.0, nt, 3.0))
    case.summary["results"] = results
    case.add(f"""
Deck: one cell of 1 m³ on an aquitard (`mdflags` = 1), `vd` = 1e4 m/yr, `porms` = {PORMS:g},
`tortms` = {TORTMS:g}, `diffs` = {DIFFS:g} m²/yr (α = {alpha():g} m²/yr with `retardms` = 1),
no decay; {nt} steps. Exact: the amount per unit area of a semi-infinite aquitard whose
face is held at the source concentration, 2·c0·√(α·t/π). Ratio of the program's stored
amount (`vw-mass1` of the progress line) to the exact one, by number of steps n:""")
    case.table(["n"] + [f"dt={r['dt']:g} R={r['retard']:g}" for r in results],
               [[n] + [f"{r['ratio'][n - 1]:.4f}" for r in results] for n in STEPS if n <= nt])
    ratios = results[0]["ratio"]
    case.summary["first"] = ratios[0]
    case.summary["last"] = ratios[-1]
    case.add("""
The ratio is the same for every `dt` and every retardation: with a constant face
concentration the profile method has no time scale of its own but the step. It does not
tend to 1 as the steps grow in number: the assumed profile c0·exp(−z/d) with
d = ½·√(α·t) is not the true erfc profile, and the step balance carries the first steps'
error along. See the closing note of this report.""")
    ax = case.figure("ratio")
    for r in results:
        ax.semilogx(r["n"], r["ratio"], label=f"dt = {r['dt']:g} yr, R = {r['retard']:g}")
    ax.axhline(1.0, color="grey", lw=0.5)
    ax.set(xlabel="number of steps n", ylabel="stored / exact",
           title="Aquitard loading: stored amount against 2·c0·√(α·t/π)")
    ax.legend(fontsize=7)
    return case

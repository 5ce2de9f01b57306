"""Plots of one quilmar_v3 run.

Reads the four result files of a run folder (discharge.out, Quilmar.out, plume_mass.out,
obs_well.out) and, when present, the captured console output (console.txt, for the title
and the deck values from its deck echo), and writes PNG figures:

  breakthrough.png   concentrations at the observation well over time
  discharge.png      mass discharge through the plume cross-section against distance,
                     at chosen times
  plume_mass.png     mass of each component in the aquifer and in the low-permeability
                     matrix over time
  plan.png           concentration map in plan view at one layer, at a snapshot time
  section.png        concentration map in a vertical section along the flow at one row,
                     with the aquitards of the deck's matrix code above and below it

With the console output the figures also mark the remediation period, the reaction-zone
boundaries x1 and x2, and the observation well (a point in plan view, its screen on the
section). A plume that reaches the last column or the outer row of the grid at more than a
stated fraction of the source concentration (--edge-fraction) is reported as a warning: the
zero-concentration boundary beyond those edges cuts it off.

Every number the program can write is read: fixed and exponent fields, the exponent form
with three digits and no letter (0.10000-100), fields of asterisks (a value too wide for its
field), NaN, Infinity and Inf. A missing or malformed file is named with the line and the
field at fault; the figures that do not need it are still made.

Usage:  quilmar plot RUN_DIR [options]      (quilmar plot --help lists them)
Needs Python 3 with matplotlib and numpy (Debian: python3-matplotlib, python3-numpy).
"""

import argparse
import math
import os
import sys

from .outputs import (NCOMP, ResultFileError, read_console, read_discharge,
                      read_plume_mass, read_snapshots, read_well)
from .plot_lines import fig_breakthrough, fig_discharge, fig_plume_mass
from .plot_maps import edge_warnings, fig_maps
from .plot_style import Style

PROG = "quilmar plot"

# ---------------------------------------------------------------------------------------

def _csv(kind, n=None, most=None, blank=False):
    """A comma-separated list: exactly n items, or 1 to `most`; with blank, an empty item
    stands for "none" (None)."""
    def parse(text):
        items = [s.strip() for s in text.split(",")]
        if n is not None and len(items) != n:
            raise argparse.ArgumentTypeError(f"expected {n} comma-separated items")
        if most is not None and len(items) > most:
            raise argparse.ArgumentTypeError(f"at most {most} comma-separated items")
        if not blank and not all(items):
            raise argparse.ArgumentTypeError("an empty item")
        try:
            return [kind(s) if s else None for s in items]
        except ValueError as e:
            raise argparse.ArgumentTypeError(str(e)) from None
    return parse


def parse_args(argv, prog=PROG):
    p = argparse.ArgumentParser(
        prog=prog, description="Plot the results of one quilmar_v3 run as PNG figures.")
    p.add_argument("run_dir", help="folder holding discharge.out, Quilmar.out, plume_mass.out, "
                                   "obs_well.out")
    p.add_argument("-o", "--out", help="folder for the PNG files (default: the run folder)")
    p.add_argument("--console", help="captured standard output of the run, for the title and "
                                     "the deck values the figures mark: remediation period, "
                                     "reaction zones, aquitards, well, source concentration "
                                     "(default: RUN_DIR/console.txt if present)")
    p.add_argument("--title", help="title line instead of the deck's first comment line")
    p.add_argument("--names", type=_csv(str, most=NCOMP), default=[],
                   help="names of the components in chain order, one to four, e.g. "
                        "PCE,TCE,DCE,VC, or TCE alone for a one-component run (components "
                        "not named are called 'component m')")
    p.add_argument("--components", type=_csv(int), default=None,
                   help="components to plot, e.g. 1,2 (default: those with any value other "
                        "than zero)")
    p.add_argument("--units", type=_csv(str, 3), default=["m", "yr", "g"],
                   help="length, time and mass unit of the deck, for the axis labels "
                        "(default m,yr,g)")
    p.add_argument("--times", type=_csv(float), default=None,
                   help="times of the discharge profiles (default: four times spread over "
                        "the run); the nearest step is used")
    p.add_argument("--time", type=float, default=None,
                   help="snapshot time of the concentration maps (default: the last "
                        "snapshot); the nearest snapshot is used")
    p.add_argument("--layer", type=int, default=None,
                   help="layer of the plan view, 1 = bottom (default: the layer holding the "
                        "highest concentration)")
    p.add_argument("--row", type=int, default=1,
                   help="row of the section, 1 = plume centre line (default 1)")
    p.add_argument("--limit", type=_csv(float, most=NCOMP, blank=True), default=None,
                   help="drinking-water limits in component order, drawn on the breakthrough "
                        "curves; leave an item empty for a component without one, e.g. "
                        "0.005,0.005,,0.002 (unit as the concentrations)")
    p.add_argument("--edge-fraction", type=float, default=0.001,
                   help="warn when the plume reaches the last column or the outer row at more "
                        "than this fraction of the source concentration (default 0.001, 0.1 %%)")
    p.add_argument("--log", action="store_true",
                   help="logarithmic colour scale on the maps and logarithmic concentration, "
                        "discharge and mass axes")
    p.add_argument("--log-decades", type=float, default=4.0,
                   help="decades shown below the maximum with --log (default 4)")
    args = p.parse_args(argv)
    if args.components is not None and not all(1 <= m <= NCOMP for m in args.components):
        p.error("--components takes numbers from 1 to 4")
    if not args.log_decades > 0:
        p.error("--log-decades must be positive")
    if args.limit is not None and not all(v is None or 0 < v < math.inf for v in args.limit):
        p.error("--limit takes positive concentrations")
    if not 0 < args.edge_fraction < math.inf:
        p.error("--edge-fraction must be positive")
    return args


def main(argv=None, prog=PROG):
    """The plot command: figures of the run folder; 0 when every figure was made."""
    args = parse_args(sys.argv[1:] if argv is None else argv, prog)
    run_dir = args.run_dir
    out_dir = args.out or run_dir
    if not os.path.isdir(run_dir):
        print(f"{prog}: {run_dir}: no such folder", file=sys.stderr)
        return 2
    os.makedirs(out_dir, exist_ok=True)
    console_path = args.console or os.path.join(run_dir, "console.txt")
    if args.console and not os.path.isfile(args.console):
        print(f"{prog}: {args.console}: missing console file", file=sys.stderr)
        return 2
    st = Style(args, read_console(console_path))

    failures = 0
    notes = []
    warnings = []

    def make(name, build):
        nonlocal failures
        target = os.path.join(out_dir, name)
        try:
            build(target)
            print(f"{prog}: wrote {target}")
        except ResultFileError as e:
            failures += 1
            print(f"{prog}: {name} not made: {e}", file=sys.stderr)

    def breakthrough(target):
        well = read_well(run_dir)
        notes.extend(well["notes"])
        fig_breakthrough(well, st, target)

    def discharge(target):
        dis = read_discharge(run_dir)
        notes.extend(dis["notes"])
        fig_discharge(dis, st, target, args.times, notes)

    def plume_mass(target):
        pm = read_plume_mass(run_dir)
        notes.extend(pm["notes"])
        fig_plume_mass(pm, st, target)

    make("breakthrough.png", breakthrough)
    make("discharge.png", discharge)
    make("plume_mass.png", plume_mass)
    try:
        snap = read_snapshots(run_dir)
        notes.extend(snap["notes"])
        warnings.extend(edge_warnings(snap, st, args.edge_fraction))
        plan = os.path.join(out_dir, "plan.png")
        section = os.path.join(out_dir, "section.png")
        fig_maps(snap, st, plan, section, args.time, args.layer, args.row, notes)
        print(f"{prog}: wrote {plan}")
        print(f"{prog}: wrote {section}")
    except ResultFileError as e:
        failures += 1
        print(f"{prog}: plan.png and section.png not made: {e}", file=sys.stderr)
    for n in dict.fromkeys(notes):
        print(f"{prog}: note: {n}", file=sys.stderr)
    for w in warnings:
        print(f"{prog}: warning: {w}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""Plots of one quilmar_v3 run.

Reads the four result files of a run folder (discharge.out, Quilmar.out, plume_mass.out,
obs_well.out) and, when present, the captured console output (console.txt, for the title,
the remediation period and the well position), and writes PNG figures:

  breakthrough.png   concentrations at the observation well over time
  discharge.png      mass discharge through the plume cross-section against distance,
                     at chosen times
  plume_mass.png     mass of each component in the aquifer and in the low-permeability
                     matrix over time
  plan.png           concentration map in plan view at one layer, at a snapshot time
  section.png        concentration map in a vertical section along the flow at one row

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

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.colors import LogNorm, Normalize  # noqa: E402
from matplotlib.ticker import LogLocator  # noqa: E402

from .outputs import (NCOMP, ResultFileError, read_console, read_discharge,  # noqa: E402
                      read_plume_mass, read_snapshots, read_well)

PROG = "quilmar plot"
COLOURS = ["tab:blue", "tab:orange", "tab:green", "tab:red"]

# ---------------------------------------------------------------------------------------
# Figures

class Style:
    def __init__(self, args, console):
        length, time, mass = args.units
        self.length, self.time, self.mass = length, time, mass
        self.conc = f"{mass}/{length}³"
        self.names = args.names
        self.components = None if args.components is None else [m - 1 for m in args.components]
        self.log = args.log
        self.decades = args.log_decades
        self.console = console
        self.title = (console or {}).get("title", "") or args.title or ""
        if args.title:
            self.title = args.title
        rec = (console or {}).get("records", {})
        self.remediation = None
        if len(rec.get(3, [])) >= 4 and rec[3][1] > 0:
            self.remediation = (rec[3][2], rec[3][3])
        self.xwell = rec[42][0] if len(rec.get(42, [])) >= 1 else None
        self.well_text = ""
        if len(rec.get(42, [])) >= 4:
            xw, yw, ztop, zbot = rec[42][:4]
            self.well_text = (f"well at x = {xw:g} {length}, y = {abs(yw):g} {length}, "
                              f"screen z = {zbot:g} to {ztop:g} {length}")

    def suptitle(self, fig, subject):
        text = subject if not self.title else f"{self.title}\n{subject}"
        fig.suptitle(text, fontsize=10)

    def mark_remediation(self, ax):
        if self.remediation:
            t1, t2 = sorted(self.remediation)
            ax.axvspan(t1, max(t2, t1), color="0.85", zorder=0, label="source remediation")

    def mark_well(self, ax):
        if self.xwell is not None:
            ax.axvline(self.xwell, color="0.4", lw=0.8, ls=":", label="observation well")


def _shown(st, data):
    """Components to draw (0-based): the chosen ones, or else those with any value other
    than zero in data (last axis: component); at least the first."""
    if st.components is not None:
        return st.components
    flat = np.asarray(data, dtype=float).reshape(-1, NCOMP)
    shown = [m for m in range(NCOMP) if np.any(flat[:, m] != 0)]
    return shown or [0]


def _panel_grid(n, width=11, height=3.6):
    """n panels, two per row; returns the figure, the panels and the lowest panel of each
    column (which carries the x axis label)."""
    rows, cols = (n + 1) // 2, min(n, 2)
    fig, axes = plt.subplots(rows, cols, figsize=(width if cols == 2 else width * 0.82,
                                                   1.3 + rows * height),
                             sharex=True, squeeze=False)
    for r, c in np.ndindex(rows, cols):
        if r * cols + c >= n:
            axes[r, c].remove()
    panels = [axes[r, c] for r, c in np.ndindex(rows, cols) if r * cols + c < n]
    bottom = []
    for c in range(cols):
        r = max(r for r in range(rows) if r * cols + c < n)
        axes[r, c].tick_params(labelbottom=True)
        bottom.append(axes[r, c])
    return fig, panels, bottom


def _mark_if_empty(ax, arrays):
    """A panel whose values are all NaN or infinite says so instead of staying blank."""
    if not any(np.isfinite(np.asarray(a, dtype=float)).any() for a in arrays):
        ax.text(0.5, 0.5, "no finite value to plot (NaN or infinite)", transform=ax.transAxes,
                ha="center", va="center", fontsize=9, color="tab:red")


def _positive_limits(arrays):
    vals = np.concatenate([np.asarray(a, dtype=float).ravel() for a in arrays])
    vals = vals[np.isfinite(vals) & (vals > 0)]
    return (vals.min(), vals.max()) if vals.size else None


def _set_log_y(ax, data, decades):
    lim = _positive_limits(data)
    if lim:
        ax.set_yscale("log")
        ax.set_ylim(max(lim[0], lim[1] * 10.0 ** -decades) / 1.5, lim[1] * 1.5)


def _figure_legend(fig, axes):
    """One legend for all panels, below them; inside the panel when there is only one.
    Returns the fraction of the figure height to keep free at the bottom."""
    if len(axes) == 1:
        axes[0].legend(fontsize=8)
        return 0.0
    handles, labels = axes[0].get_legend_handles_labels()
    fig.legend(handles, labels, loc="lower center", ncol=min(len(labels), 6), fontsize=9,
               frameon=False)
    return 0.05


def fig_breakthrough(well, st, out):
    fig, ax = plt.subplots(figsize=(8, 5))
    st.mark_remediation(ax)
    for m in _shown(st, well["conc"]):
        ax.plot(well["time"], well["conc"][:, m], color=COLOURS[m], label=st.names[m])
    _mark_if_empty(ax, [well["conc"][:, m] for m in _shown(st, well["conc"])])
    ax.set_xlabel(f"time [{st.time}]")
    ax.set_ylabel(f"concentration, mean over the well screen [{st.conc}]")
    if st.log:
        _set_log_y(ax, [well["conc"]], st.decades)
    ax.grid(alpha=0.3)
    ax.legend()
    subject = "Breakthrough curves at the observation well"
    st.suptitle(fig, f"{subject} ({st.well_text})" if st.well_text else subject)
    fig.tight_layout()
    fig.savefig(out, dpi=110)
    plt.close(fig)


def _pick(available, wanted, what, notes):
    """Indices of the available times nearest to the wanted ones (in order, no repeats)."""
    picked = []
    for w in wanted:
        i = int(np.nanargmin(np.abs(available - w)))
        if not math.isclose(available[i], w, rel_tol=1e-9, abs_tol=1e-12):
            notes.append(f"{what}: no output at time {w:g}; using the nearest, {available[i]:g}")
        if i not in picked:
            picked.append(i)
    return picked


def _default_times(times, n=4):
    """n times spread evenly up to the end of the run."""
    return [f * times[-1] for f in np.linspace(0, 1, n + 1)[1:]]


def fig_discharge(dis, st, out, times, notes):
    if times:
        picked = _pick(dis["time"], times, "discharge.out", notes)
    else:
        picked = _pick(dis["time"], _default_times(dis["time"]), "discharge.out", [])
    shown = _shown(st, dis["q"])
    fig, axes, bottom = _panel_grid(len(shown))
    cmap = plt.get_cmap("viridis")
    for m, ax in zip(shown, axes):
        for n, i in enumerate(picked):
            colour = cmap(n / max(1, len(picked) - 1) * 0.9)
            ax.plot(dis["x"], dis["q"][i, :, m], color=colour,
                    label=f"t = {dis['time'][i]:g} {st.time}")
        st.mark_well(ax)
        _mark_if_empty(ax, [dis["q"][picked, :, m]])
        if st.log:
            _set_log_y(ax, [dis["q"][picked, :, m]], st.decades)
        ax.set_title(st.names[m], fontsize=10)
        ax.set_ylabel(f"mass discharge [{st.mass}/{st.time}]")
        ax.grid(alpha=0.3)
    for ax in bottom:
        ax.set_xlabel(f"distance from the source along the flow, x [{st.length}]")
    bottom_room = _figure_legend(fig, axes)
    st.suptitle(fig, "Mass discharge through the whole plume cross-section")
    fig.tight_layout(rect=(0, bottom_room, 1, 1))
    fig.savefig(out, dpi=110)
    plt.close(fig)


def fig_plume_mass(pm, st, out):
    shown = _shown(st, np.concatenate([pm["aquifer"], pm["matrix"]]))
    fig, axes, bottom = _panel_grid(len(shown))
    for m, ax in zip(shown, axes):
        st.mark_remediation(ax)
        total = pm["aquifer"][:, m] + pm["matrix"][:, m]
        ax.plot(pm["time"], pm["aquifer"][:, m], color="tab:blue",
                label="aquifer (dissolved + sorbed)")
        ax.plot(pm["time"], pm["matrix"][:, m], color="tab:brown",
                label="low-permeability matrix")
        ax.plot(pm["time"], total, color="k", ls="--", lw=1, label="total")
        _mark_if_empty(ax, [total])
        if st.log:
            _set_log_y(ax, [pm["aquifer"][:, m], pm["matrix"][:, m], total], st.decades)
        ax.set_title(st.names[m], fontsize=10)
        ax.set_ylabel(f"mass in the plume [{st.mass}]")
        ax.grid(alpha=0.3)
    for ax in bottom:
        ax.set_xlabel(f"time [{st.time}]")
    bottom_room = _figure_legend(fig, axes)
    st.suptitle(fig, "Plume mass: aquifer and low-permeability matrix")
    fig.tight_layout(rect=(0, bottom_room, 1, 1))
    fig.savefig(out, dpi=110)
    plt.close(fig)


def _norm(field, st):
    finite = field[np.isfinite(field)]
    top = finite.max() if finite.size else 0.0
    if st.log:
        if top <= 0:
            return None
        return LogNorm(vmin=top * 10.0 ** -st.decades, vmax=top)
    return Normalize(vmin=0.0, vmax=top if top > 0 else 1.0)


def _map_figure(panels, edges_h, edges_v, st, out, subject, hlabel, vlabel, aspect_height):
    shown = _shown(st, np.stack([np.asarray(p, dtype=float).ravel() for p in panels], axis=-1))
    fig, axes = plt.subplots(len(shown), 1, figsize=(10, 1.4 + len(shown) * aspect_height),
                             sharex=True, squeeze=False)
    cmap = plt.get_cmap("magma_r").copy()
    cmap.set_under("white")
    cmap.set_bad("0.6")
    for m, ax in zip(shown, axes[:, 0]):
        field = panels[m]
        norm = _norm(field, st)
        if norm is None or not np.isfinite(field).any():
            ax.pcolormesh(edges_h, edges_v, np.ma.masked_invalid(np.zeros_like(field) * field).T,
                          cmap=cmap, norm=Normalize(1, 2), shading="flat")
            empty = "zero everywhere" if np.isfinite(field).any() else "no finite value (NaN)"
            ax.text(0.5, 0.5, empty, transform=ax.transAxes, ha="center", va="center",
                    fontsize=9)
        else:
            data = np.array(field, dtype=float)
            if st.log:
                data[data <= 0] = norm.vmin * 1e-3      # shown in the colour below the scale
            pc = ax.pcolormesh(edges_h, edges_v, np.ma.masked_invalid(data).T, cmap=cmap,
                               norm=norm, shading="flat")
            cb = fig.colorbar(pc, ax=ax, pad=0.01, extend="min" if st.log else "neither")
            if st.log:
                cb.ax.yaxis.set_major_locator(LogLocator(base=10.0, numticks=12))
            cb.set_label(f"[{st.conc}]", fontsize=8)
        if st.xwell is not None and edges_h[0] <= st.xwell <= edges_h[-1]:
            ax.axvline(st.xwell, color="deepskyblue", lw=1.0, ls=":")
        ax.set_title(st.names[m], fontsize=9, loc="left")
        ax.set_ylabel(vlabel, fontsize=8)
    axes[-1, 0].set_xlabel(hlabel)
    scale = (f"log colour scale over {st.decades:g} decades below each panel's maximum; "
             f"white: below that") if st.log else "linear colour scale from 0"
    if st.xwell is not None:
        scale += "; dotted line: observation well"
    st.suptitle(fig, f"{subject}\n{scale}")
    fig.tight_layout()
    fig.savefig(out, dpi=110)
    plt.close(fig)


def fig_maps(snap, st, out_plan, out_section, time, layer, row, notes):
    times = snap["time"]
    s = len(times) - 1 if time is None else _pick(times, [time], "Quilmar.out", notes)[0]
    c = snap["c"][s]                       # [nx, ny, nz, 4]
    nx, ny, nz = c.shape[:3]
    if layer is None:
        # the layer with the highest concentration of the first component with any
        layer = 1
        for m in range(NCOMP):
            if np.nanmax(c[..., m], initial=0.0) > 0:
                layer = int(np.nanargmax(np.nanmax(np.where(np.isfinite(c[..., m]), c[..., m], -1),
                                                   axis=(0, 1)))) + 1
                break
    if not 1 <= layer <= nz:
        raise ResultFileError(f"layer {layer} is not in the grid (layers 1 to {nz})")
    if not 1 <= row <= ny:
        raise ResultFileError(f"row {row} is not in the grid (rows 1 to {ny})")
    xe = np.arange(nx + 1) * snap["dx"]
    ye = np.arange(ny + 1) * snap["dy"]
    ze = np.arange(nz + 1) * snap["dz"]
    t = times[s]
    zc = snap["z"][layer - 1]
    _map_figure([c[:, :, layer - 1, m] for m in range(NCOMP)], xe, ye, st, out_plan,
                f"Plan view at layer {layer} (z = {zc:g} {st.length} above the base), "
                f"t = {t:g} {st.time}",
                f"x, along the flow [{st.length}]",
                f"y from centre line [{st.length}]", 1.6)
    yc = snap["y"][row - 1]
    _map_figure([c[:, row - 1, :, m] for m in range(NCOMP)], xe, ze, st, out_section,
                f"Section along the flow at row {row} (y = {yc:g} {st.length}), "
                f"t = {t:g} {st.time}",
                f"x, along the flow [{st.length}]",
                f"z above base [{st.length}]", 1.6)
    return layer


# ---------------------------------------------------------------------------------------

def _csv(kind, n=None):
    def parse(text):
        items = [s.strip() for s in text.split(",")]
        if n is not None and len(items) != n:
            raise argparse.ArgumentTypeError(f"expected {n} comma-separated items")
        try:
            return [kind(s) for s in items]
        except ValueError as e:
            raise argparse.ArgumentTypeError(str(e)) from None
    return parse


def parse_args(argv, prog=PROG):
    p = argparse.ArgumentParser(
        prog=prog, description="Plot the results of one quilmar_v3 run as PNG figures.")
    p.add_argument("run_dir", help="folder holding discharge.out, Quilmar.out, plume_mass.out, "
                                   "obs_well.out")
    p.add_argument("-o", "--out", help="folder for the PNG files (default: the run folder)")
    p.add_argument("--console", help="captured standard output of the run, for the title, the "
                                     "remediation period and the well position (default: "
                                     "RUN_DIR/console.txt if present)")
    p.add_argument("--title", help="title line instead of the deck's first comment line")
    p.add_argument("--names", type=_csv(str, NCOMP), default=[f"component {m}" for m in range(1, 5)],
                   help="names of the four components, e.g. PCE,TCE,DCE,VC")
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
    p.add_argument("--log", action="store_true",
                   help="logarithmic colour scale on the maps and logarithmic concentration, "
                        "discharge and mass axes")
    p.add_argument("--log-decades", type=float, default=4.0,
                   help="decades shown below the maximum with --log (default 4)")
    args = p.parse_args(argv)
    if args.components is not None and not all(1 <= m <= NCOMP for m in args.components):
        p.error("--components takes numbers from 1 to 4")
    if args.log_decades <= 0:
        p.error("--log-decades must be positive")
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
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

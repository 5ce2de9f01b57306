"""What every figure of the plot command shares: the deck values it marks (taken from the
deck echo of the console output), the component names and colours, and the panel layout."""

import math

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from .outputs import NCOMP  # noqa: E402

COLOURS = ["tab:blue", "tab:orange", "tab:green", "tab:red"]

# Matrix codes of the deck (record 22) with a bounding aquitard below the bottom layer, above
# the top layer, and with low-permeability material embedded in every cell.
AQUITARD_BELOW = {1, 4, 5, 7}
AQUITARD_ABOVE = {3, 4, 6, 7}
EMBEDDED = {2, 5, 6, 7}


def _record(rec, number, count):
    """The first `count` values of a deck record, or None when the echo does not hold them."""
    values = rec.get(number, [])
    return values[:count] if len(values) >= count else None


class Style:
    """Labels, names and the deck values drawn on the figures. Every deck value is optional:
    without a console file (or with a cut one) the marks that need it are left out."""

    def __init__(self, args, console):
        length, time, mass = args.units
        self.length, self.time, self.mass = length, time, mass
        self.conc = f"{mass}/{length}³"
        # Names given for the first components; the others keep a numbered name, so a
        # one-component run can be named alone and a daughter drawn anyway is still labelled.
        given = list(args.names or [])
        self.names = given + [f"component {m}" for m in range(len(given) + 1, NCOMP + 1)]
        self.components = None if args.components is None else [m - 1 for m in args.components]
        self.limits = list(getattr(args, "limit", None) or []) + [None] * NCOMP
        self.log = args.log
        self.decades = args.log_decades
        self.console = console
        self.title = args.title or (console or {}).get("title", "") or ""
        rec = (console or {}).get("records", {})

        r3 = _record(rec, 3, 4)
        self.remediation = (r3[2], r3[3]) if r3 and r3[1] > 0 else None
        r1 = _record(rec, 1, NCOMP)
        self.source_conc = r1
        r7 = _record(rec, 7, 2)
        self.zones = tuple(r7) if r7 and all(math.isfinite(v) for v in r7) else None
        r22 = _record(rec, 22, 1)
        self.mdflag = int(r22[0]) if r22 and float(r22[0]).is_integer() else None

        r42 = _record(rec, 42, 4)
        self.xwell = self.ywell = self.well_screen = None
        self.well_text = ""
        if r42:
            xw, yw, ztop, zbot = r42
            # The program mirrors a well on the far side of the centre line into the grid.
            self.xwell, self.ywell, self.well_screen = xw, abs(yw), (zbot, ztop)
            self.well_text = (f"well at x = {xw:g} {length}, y = {abs(yw):g} {length}, "
                              f"screen z = {zbot:g} to {ztop:g} {length}")

    def suptitle(self, fig, subject):
        text = subject if not self.title else f"{self.title}\n{subject}"
        fig.suptitle(text, fontsize=10)

    def mark_remediation(self, ax):
        if self.remediation:
            t1, t2 = sorted(self.remediation)
            ax.axvspan(t1, max(t2, t1), color="0.85", zorder=0, label="source remediation")

    def mark_well(self, ax, xrange):
        if self.xwell is not None and xrange[0] <= self.xwell <= xrange[1]:
            ax.axvline(self.xwell, color="0.4", lw=0.8, ls=":", label="observation well")

    def mark_zones(self, ax, xrange, label=True):
        """The reaction-zone boundaries x1 and x2 as dashed lines, named at the top of the
        panel; a boundary outside the drawn distance range is left out."""
        if not self.zones:
            return False
        drawn = False
        for name, x in zip(("x1", "x2"), self.zones):
            if not xrange[0] <= x <= xrange[1]:
                continue
            ax.axvline(x, color="tab:green", lw=0.9, ls="--",
                       label="reaction-zone boundaries x1, x2" if label and not drawn else None)
            ax.annotate(name, (x, 1.0), xycoords=("data", "axes fraction"),
                        xytext=(0, 1), textcoords="offset points", ha="center", va="bottom",
                        fontsize=7, color="tab:green")
            drawn = True
        return drawn


def shown_components(st, data):
    """Components to draw (0-based): the chosen ones, or else those with any value other
    than zero in data (last axis: component); at least the first."""
    if st.components is not None:
        return st.components
    flat = np.asarray(data, dtype=float).reshape(-1, NCOMP)
    shown = [m for m in range(NCOMP) if np.any(flat[:, m] != 0)]
    return shown or [0]


def panel_grid(n, width=11, height=3.6):
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


def mark_if_empty(ax, arrays):
    """A panel whose values are all NaN or infinite says so instead of staying blank."""
    if not any(np.isfinite(np.asarray(a, dtype=float)).any() for a in arrays):
        ax.text(0.5, 0.5, "no finite value to plot (NaN or infinite)", transform=ax.transAxes,
                ha="center", va="center", fontsize=9, color="tab:red")


def set_log_y(ax, data, decades, also=()):
    """Logarithmic y axis over the positive values of data, at most `decades` below their
    maximum; the values in `also` (marked levels such as limits) are kept in view."""
    vals = np.concatenate([np.asarray(a, dtype=float).ravel() for a in data] +
                          [np.asarray(list(also), dtype=float)])
    vals = vals[np.isfinite(vals) & (vals > 0)]
    if not vals.size:
        return
    top = vals.max()
    low = max(vals.min(), top * 10.0 ** -decades)
    marks = [v for v in also if v > 0]
    if marks:
        low = min(low, min(marks))
    ax.set_yscale("log")
    ax.set_ylim(low / 1.5, top * 1.5)


def figure_legend(fig, axes):
    """One legend for all panels, below them; inside the panel when there is only one.
    Returns the fraction of the figure height to keep free at the bottom."""
    if len(axes) == 1:
        axes[0].legend(fontsize=8)
        return 0.0
    handles, labels = axes[0].get_legend_handles_labels()
    fig.legend(handles, labels, loc="lower center", ncol=min(len(labels), 4), fontsize=9,
               frameon=False)
    return 0.05 if len(labels) <= 4 else 0.08


def save(fig, out, bottom_room=0.0):
    fig.tight_layout(rect=(0, bottom_room, 1, 1))
    fig.savefig(out, dpi=110)
    plt.close(fig)

"""The concentration maps of the plot command (plan view at one layer, section along the flow
at one row) and the check that the plume stays clear of the open edges of the grid."""

import textwrap

import numpy as np
import matplotlib.pyplot as plt
from matplotlib.colors import ListedColormap, LogNorm, Normalize
from matplotlib.patches import Rectangle
from matplotlib.ticker import LogLocator

from .outputs import NCOMP, ResultFileError
from .plot_lines import pick_times
from .plot_style import AQUITARD_ABOVE, AQUITARD_BELOW, EMBEDDED, save, shown_components

# Share of the light-to-dark colour ramp the maps use. The darkest tenth or so of the full ramp
# looks black whatever the value, so a plume whose core spans the top of the scale (as most do,
# on a linear scale and more so on a logarithmic one) would read as one black patch; the ramp
# stops at a deep purple where neighbouring levels are still told apart.
RAMP_TOP = 0.72


def map_colours():
    """Colour map of the concentration maps: near white at zero, deep purple at the panel's
    maximum; white below the scale, grey where the value is NaN."""
    cmap = ListedColormap(plt.get_cmap("magma_r")(np.linspace(0.0, RAMP_TOP, 256)),
                          name="plume")
    cmap.set_under("white")
    cmap.set_bad("0.6")
    return cmap


def _norm(field, st):
    finite = field[np.isfinite(field)]
    top = finite.max() if finite.size else 0.0
    if st.log:
        if top <= 0:
            return None
        return LogNorm(vmin=top * 10.0 ** -st.decades, vmax=top)
    return Normalize(vmin=0.0, vmax=top if top > 0 else 1.0)


def edge_warnings(snap, st, fraction):
    """Warnings for a plume that reaches the last column or the outer row of the grid at more
    than `fraction` of the source concentration. Beyond both lies a boundary held at zero
    concentration, which draws mass out of the grid: concentrations near it are too low and
    the plume is cut off. The reference is the highest source concentration of the deck, or,
    without a deck echo, the highest concentration of the snapshots. A grid of one row has no
    transverse edge to reach."""
    c = snap["c"]                                   # [nsnap, nx, ny, nz, 4]
    nx, ny = c.shape[1:3]
    source = [v for v in (st.source_conc or []) if np.isfinite(v) and v > 0]
    if source:
        reference, what = max(source), "the source concentration"
    else:
        finite = c[np.isfinite(c)]
        reference = finite.max() if finite.size else 0.0
        what = "the highest concentration of the snapshots"
    if not reference > 0:
        return []
    edges = [("last column", f"x = {snap['x'][-1]:g} {st.length}", c[:, nx - 1:nx], "nx")]
    if ny > 1:
        edges.append(("outer row", f"y = {snap['y'][-1]:g} {st.length}", c[:, :, ny - 1:ny],
                      "ny"))
    warnings = []
    for edge, where, part, item in edges:
        part = np.where(np.isfinite(part), part, 0.0)
        over = [m for m in range(NCOMP) if part[..., m].max() > fraction * reference]
        if not over:
            continue
        worst = max(over, key=lambda m: part[..., m].max())
        s, i, j, k = np.unravel_index(np.argmax(part[..., worst]), part.shape[:4])
        peak = part[s, i, j, k, worst]
        cell = f"layer {k + 1}" + ("" if edge == "outer row" else f", row {j + 1}")
        others = ", ".join(st.names[m] for m in over if m != worst)
        warnings.append(
            f"the plume reaches the {edge} ({where}) with {st.names[worst]} at {peak:.3g} "
            f"{st.conc} ({cell}, t = {snap['time'][s]:g} {st.time}), "
            f"{100 * peak / reference:.3g} % of {what}, {reference:g} {st.conc}"
            + (f" ({others} too)" if others else "")
            + f"; more than {100 * fraction:g} % there means the zero-concentration boundary "
              f"beyond it cuts the plume off: enlarge the grid ({item})")
    return warnings


def _draw_aquitards(ax, st, zmax):
    """Bands below the bottom and above the top of the section for the bounding aquitards of
    the deck's matrix code; the axis grows to show them."""
    if st.mdflag is None:
        return
    h = 0.15 * zmax
    lo, hi = 0.0, zmax
    for present, z0, where in ((st.mdflag in AQUITARD_BELOW, -h, "below"),
                               (st.mdflag in AQUITARD_ABOVE, zmax, "above")):
        if not present:
            continue
        ax.add_patch(Rectangle((0, z0), 1, h, transform=ax.get_yaxis_transform(),
                               facecolor="tan", edgecolor="saddlebrown", hatch="---", lw=0.6,
                               clip_on=False))
        ax.text(0.995, z0 + h / 2, f"aquitard {where}", transform=ax.get_yaxis_transform(),
                ha="right", va="center", fontsize=7, color="saddlebrown",
                bbox=dict(facecolor="tan", edgecolor="none", pad=0.5))
        lo, hi = min(lo, z0), max(hi, z0 + h)
    ax.set_ylim(lo, hi)


def _map_figure(panels, edges_h, edges_v, st, out, subject, hlabel, vlabel, decorate, legend):
    shown = shown_components(st, np.stack([np.asarray(p, dtype=float).ravel() for p in panels],
                                          axis=-1))
    fig, axes = plt.subplots(len(shown), 1, figsize=(10, 1.4 + len(shown) * 1.6),
                             sharex=True, squeeze=False)
    cmap = map_colours()
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
        decorate(ax)
        ax.set_xlim(edges_h[0], edges_h[-1])
        ax.set_title(st.names[m], fontsize=9, loc="left")
        ax.set_ylabel(vlabel, fontsize=8)
    axes[-1, 0].set_xlabel(hlabel)
    scale = (f"log colour scale over {st.decades:g} decades below each panel's maximum; "
             f"white: below that") if st.log else "linear colour scale from 0"
    st.suptitle(fig, subject + "\n" + "\n".join(textwrap.wrap("; ".join([scale] + legend), 110)))
    save(fig, out)


def _zone_note(st, drawn):
    return ["dashed: reaction-zone boundaries x1, x2"] if drawn else []


def fig_maps(snap, st, out_plan, out_section, time, layer, row, notes):
    times = snap["time"]
    s = len(times) - 1 if time is None else pick_times(times, [time], "Quilmar.out", notes)[0]
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
    xrange = (xe[0], xe[-1])
    well_in = st.xwell is not None and xrange[0] <= st.xwell <= xrange[1]
    in_plan = well_in and st.ywell <= ye[-1]
    zones_in = bool(st.zones) and any(xrange[0] <= x <= xrange[1] for x in st.zones)

    def plan_marks(ax):
        st.mark_zones(ax, xrange, label=False)
        if in_plan:
            # The well is a point in plan view: its x and its y mirrored into the grid.
            ax.plot([st.xwell], [st.ywell], marker="o", ms=6, mfc="deepskyblue", mec="k",
                    mew=0.8, ls="none", clip_on=False, zorder=5)

    zc = snap["z"][layer - 1]
    _map_figure([c[:, :, layer - 1, m] for m in range(NCOMP)], xe, ye, st, out_plan,
                f"Plan view at layer {layer} (z = {zc:g} {st.length} above the base), "
                f"t = {t:g} {st.time}",
                f"x, along the flow [{st.length}]",
                f"y from centre line [{st.length}]", plan_marks,
                _zone_note(st, zones_in) + (["dot: observation well"] if in_plan else []))

    # The well's row by the program's rule: the last row whose cell holds the coordinate.
    well_row = None
    if well_in:
        rows = [j + 1 for j in range(ny) if abs(snap["y"][j] - st.ywell) <= 0.5 * snap["dy"]]
        well_row = rows[-1] if rows else None
    screen_note = []
    if well_in:
        screen_note = ["bar: observation well screen" +
                       ("" if well_row == row else " (projected from row "
                        f"{well_row if well_row else 'outside the grid'})")]

    def section_marks(ax):
        st.mark_zones(ax, xrange, label=False)
        _draw_aquitards(ax, st, ze[-1])
        if well_in:
            zbot, ztop = st.well_screen
            ax.plot([st.xwell, st.xwell], [zbot, ztop], color="deepskyblue", lw=3,
                    solid_capstyle="butt", zorder=5,
                    alpha=1.0 if well_row == row else 0.6)

    extra = []
    if st.mdflag in EMBEDDED:
        extra = ["low-permeability matrix embedded in every cell"]
    yc = snap["y"][row - 1]
    _map_figure([c[:, row - 1, :, m] for m in range(NCOMP)], xe, ze, st, out_section,
                f"Section along the flow at row {row} (y = {yc:g} {st.length}), "
                f"t = {t:g} {st.time}",
                f"x, along the flow [{st.length}]",
                f"z above base [{st.length}]", section_marks,
                _zone_note(st, zones_in) + screen_note + extra)
    return layer

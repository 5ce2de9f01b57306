"""The line figures of the plot command: breakthrough at the observation well, mass discharge
against distance, and plume mass in the aquifer and the matrix over time."""

import math

import numpy as np
import matplotlib.pyplot as plt

from .plot_style import (COLOURS, figure_legend, mark_if_empty, panel_grid, save, set_log_y,
                         shown_components)


def fig_breakthrough(well, st, out):
    fig, ax = plt.subplots(figsize=(8, 5))
    st.mark_remediation(ax)
    shown = shown_components(st, well["conc"])
    limits = []
    for m in shown:
        ax.plot(well["time"], well["conc"][:, m], color=COLOURS[m], label=st.names[m])
        if st.limits[m] is not None:
            # Drinking-water limit of the component: the well water is fit to drink while its
            # curve stays below this line.
            ax.axhline(st.limits[m], color=COLOURS[m], lw=1.0, ls="--",
                       label=f"{st.names[m]} limit, {st.limits[m]:g} {st.conc}")
            limits.append(st.limits[m])
    mark_if_empty(ax, [well["conc"][:, m] for m in shown])
    ax.set_xlabel(f"time [{st.time}]")
    ax.set_ylabel(f"concentration, mean over the well screen [{st.conc}]")
    if st.log:
        set_log_y(ax, [well["conc"][:, shown]], st.decades, also=limits)
    ax.grid(alpha=0.3)
    ax.legend(fontsize=8)
    subject = "Breakthrough curves at the observation well"
    st.suptitle(fig, f"{subject} ({st.well_text})" if st.well_text else subject)
    save(fig, out)


def _finish_panels(fig, axes, bottom, st, out, ylabel, xlabel, subject):
    """Grid, labels and the shared legend of a figure with one panel per component; saves it."""
    for ax in axes:
        ax.set_ylabel(ylabel)
        ax.grid(alpha=0.3)
    for ax in bottom:
        ax.set_xlabel(xlabel)
    bottom_room = figure_legend(fig, axes)
    st.suptitle(fig, subject)
    save(fig, out, bottom_room)


def pick_times(available, wanted, what, notes):
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
        picked = pick_times(dis["time"], times, "discharge.out", notes)
    else:
        picked = pick_times(dis["time"], _default_times(dis["time"]), "discharge.out", [])
    shown = shown_components(st, dis["q"])
    fig, axes, bottom = panel_grid(len(shown))
    cmap = plt.get_cmap("viridis")
    dx = dis["x"][1] - dis["x"][0] if len(dis["x"]) > 1 else 2 * dis["x"][0]
    xrange = (dis["x"][0] - dx / 2, dis["x"][-1] + dx / 2)
    for m, ax in zip(shown, axes):
        for n, i in enumerate(picked):
            colour = cmap(n / max(1, len(picked) - 1) * 0.9)
            ax.plot(dis["x"], dis["q"][i, :, m], color=colour,
                    label=f"t = {dis['time'][i]:g} {st.time}")
        st.mark_well(ax, xrange)
        st.mark_zones(ax, xrange)
        mark_if_empty(ax, [dis["q"][picked, :, m]])
        if st.log:
            set_log_y(ax, [dis["q"][picked, :, m]], st.decades)
        ax.set_title(st.names[m], fontsize=10)
    _finish_panels(fig, axes, bottom, st, out, f"mass discharge [{st.mass}/{st.time}]",
                   f"distance from the source along the flow, x [{st.length}]",
                   "Mass discharge through the whole plume cross-section")


def fig_plume_mass(pm, st, out):
    shown = shown_components(st, np.concatenate([pm["aquifer"], pm["matrix"]]))
    fig, axes, bottom = panel_grid(len(shown))
    for m, ax in zip(shown, axes):
        st.mark_remediation(ax)
        total = pm["aquifer"][:, m] + pm["matrix"][:, m]
        ax.plot(pm["time"], pm["aquifer"][:, m], color="tab:blue",
                label="aquifer (dissolved + sorbed)")
        ax.plot(pm["time"], pm["matrix"][:, m], color="tab:brown",
                label="low-permeability matrix")
        ax.plot(pm["time"], total, color="k", ls="--", lw=1, label="total")
        mark_if_empty(ax, [total])
        if st.log:
            set_log_y(ax, [pm["aquifer"][:, m], pm["matrix"][:, m], total], st.decades)
        ax.set_title(st.names[m], fontsize=10)
    _finish_panels(fig, axes, bottom, st, out, f"mass in the plume [{st.mass}]",
                   f"time [{st.time}]", "Plume mass: aquifer and low-permeability matrix")

"""Figures of an ensemble, written as PNG files into its output folder:

  fan_<scenario>.png       percentile fan of the well concentration, one panel per component
  exceedance.png           probability of exceeding each component's limit at the well
  discharge_x<plane>.png   median and 5-95 % band of the mass discharge at each control plane
  sensitivity.png          rank correlation of each sampled input with the peak well
                           concentration and with the final matrix mass, per scenario

Only successful realisations enter a band; the title says how many of them there are.
"""
import os
import re

import numpy as np

NCOMP = 4


def _pyplot():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    return plt


def _safe(name):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", str(name))


def _panels(plt, title):
    fig, axes = plt.subplots(2, 2, figsize=(10, 7), sharex=True, constrained_layout=True)
    fig.suptitle(title)
    return fig, axes.ravel()


def _finish(plt, fig, axes, ylabel, path):
    """Titles, labels and legends of the four component panels over time; saves the figure."""
    for c, ax in enumerate(axes):
        ax.set_title(f"component {c + 1}")
        ax.set_ylabel(ylabel)
        ax.legend(loc="best", fontsize=8)
    for ax in axes[2:]:
        ax.set_xlabel("time (yr)")
    fig.savefig(path, dpi=100)
    plt.close(fig)


def _band(ax, time, values, color, label, inner=True):
    """Median line with the 5-95 % band (and the 25-75 % band when inner) of values
    (realisation, time)."""
    ok = np.isfinite(values).all(axis=1)
    if not ok.any():
        return
    q = np.percentile(values[ok], [5, 25, 50, 75, 95], axis=0)
    ax.fill_between(time, q[0], q[4], color=color, alpha=0.18, lw=0)
    if inner:
        ax.fill_between(time, q[1], q[3], color=color, alpha=0.35, lw=0)
    ax.plot(time, q[2], color=color, lw=1.5, label=label)


def fan(ds, s, limits, path):
    plt = _pyplot()
    scen = str(ds.scenario.values[s])
    n = int((ds["status"].values[s] == 0).sum())
    fig, axes = _panels(plt, f"{ds.attrs.get('title', '')}\nwell concentration, scenario "
                             f"{scen}: median, 25-75 % and 5-95 % of {n} realisations")
    time = ds.time.values
    for c, ax in enumerate(axes):
        _band(ax, time, ds["well"].values[s, :, :, c], "C0", "median")
        if limits is not None and np.isfinite(limits[c]):
            ax.axhline(limits[c], color="C3", ls="--", lw=1, label=f"limit {limits[c]:g}")
    _finish(plt, fig, axes, "concentration (g/m3)", path)


def exceedance(ds, path):
    plt = _pyplot()
    fig, axes = _panels(plt, f"{ds.attrs.get('title', '')}\nprobability of exceeding the "
                             f"limit at the well")
    time = ds.time.values
    for c, ax in enumerate(axes):
        for s, scen in enumerate(ds.scenario.values):
            ax.plot(time, ds["exceedance"].values[s, :, c], color=f"C{s}", label=str(scen))
        ax.set_ylim(-0.02, 1.02)
    _finish(plt, fig, axes, "fraction of realisations", path)


def discharge(ds, i, path):
    plt = _pyplot()
    x = float(ds.plane.values[i])
    fig, axes = _panels(plt, f"{ds.attrs.get('title', '')}\nmass discharge at x = {x:g}: "
                             f"median and 5-95 % by scenario")
    time = ds.time.values
    for c, ax in enumerate(axes):
        for s, scen in enumerate(ds.scenario.values):
            _band(ax, time, ds["discharge"].values[s, :, :, i, c], f"C{s}", str(scen),
                  inner=False)
    _finish(plt, fig, axes, "mass discharge (g/yr)", path)


def sensitivity(ds, table, path):
    """Horizontal bars: one row per input, one bar per component; left the peak well
    concentration, right the final matrix mass; one row of panels per scenario."""
    plt = _pyplot()
    params = list(ds.parameter.values)
    scens = list(ds.scenario.values)
    fig, axes = plt.subplots(len(scens), 2, figsize=(11, 1.2 + (0.5 * len(params) + 1.0)
                                                    * len(scens)),
                             squeeze=False, constrained_layout=True)
    fig.suptitle(f"{ds.attrs.get('title', '')}\nrank correlation of the sampled inputs")
    height = 0.8 / NCOMP
    y = np.arange(len(params))
    for s, scen in enumerate(scens):
        for k, (target, label) in enumerate((("peak_well", "peak well concentration"),
                                             ("final_matrix_mass", "final matrix mass"))):
            ax = axes[s, k]
            sub = table[(table.scenario == scen) & (table.target == target)]
            for c in range(NCOMP):
                rho = sub[sub.component == c + 1].set_index("parameter") \
                    .reindex(params)["rank_correlation"].to_numpy()
                ax.barh(y + (c - 1.5) * height, np.nan_to_num(rho), height=height,
                        color=f"C{c}", label=f"component {c + 1}")
            ax.set_yticks(y, params)
            ax.invert_yaxis()
            ax.set_xlim(-1, 1)
            ax.axvline(0, color="k", lw=0.6)
            ax.set_title(f"{scen}: {label}", fontsize=10)
        axes[s, 0].legend(loc="best", fontsize=7)
    fig.savefig(path, dpi=100)
    plt.close(fig)


def draw_all(ds, table, limits, out):
    """Every figure of the ensemble into folder `out`; returns the files written."""
    files = []
    for s, scen in enumerate(ds.scenario.values):
        name = f"fan_{_safe(scen)}.png"
        if os.path.join(out, name) in files:      # two names alike in safe characters
            name = f"fan_{s}_{_safe(scen)}.png"
        files.append(os.path.join(out, name))
        fan(ds, s, limits, files[-1])
    if limits is not None:
        files.append(os.path.join(out, "exceedance.png"))
        exceedance(ds, files[-1])
    for i, x in enumerate(ds.plane.values):
        files.append(os.path.join(out, f"discharge_x{float(x):g}.png"))
        discharge(ds, i, files[-1])
    if ds.sizes["parameter"]:
        files.append(os.path.join(out, "sensitivity.png"))
        sensitivity(ds, table, files[-1])
    return files

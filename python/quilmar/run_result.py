"""The results of one run folder as pandas and xarray tables.

Components are labelled c1..c4 (component 1 is the head of the chain). Masses and mass
discharges are whole-plume values, as in the result files; concentrations are per cell.
"""
import functools
import os

import numpy as np
import pandas as pd

from . import outputs
from .deck import Deck

COMPONENTS = [f"c{m}" for m in range(1, outputs.NCOMP + 1)]
BUDGET_COLUMNS = ["time", "component", "released", "out_downstream", "out_lateral",
                  "decayed_aquifer", "produced_aquifer", "decayed_matrix", "produced_matrix",
                  "change_aquifer", "change_matrix", "residual"]
DECK_FILE = "run.deck"
CONSOLE_FILE = "console.txt"
MESSAGES_FILE = "messages.txt"


class Run:
    """One run folder: the deck it ran, the console, the result files and budget.out.
    The tables are read when first asked for; a missing or malformed file raises
    quilmar.outputs.ResultFileError naming it."""

    def __init__(self, folder, status=0, messages=""):
        self.folder = os.path.abspath(folder)
        self.status = status
        self.messages = messages

    @classmethod
    def open(cls, folder):
        """An existing run folder (one that quilmar.run or `quilmar run` filled, or any
        folder with the four result files)."""
        if not os.path.isdir(folder):
            raise FileNotFoundError(f"{folder}: no such folder")
        messages = ""
        path = os.path.join(folder, MESSAGES_FILE)
        if os.path.isfile(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                messages = f.read()
        return cls(folder, 0, messages)

    def __repr__(self):
        return f"Run({self.folder!r})"

    def path(self, name):
        return os.path.join(self.folder, name)

    @functools.cached_property
    def deck(self):
        """The deck of the run (run.deck in the folder), or None."""
        path = self.path(DECK_FILE)
        return Deck.read(path) if os.path.isfile(path) else None

    @property
    def warnings(self):
        """The program's warning lines of this run."""
        return [ln for ln in self.messages.splitlines() if ": warning: " in ln]

    @functools.cached_property
    def well(self):
        """Concentration at the observation well: index time, columns c1..c4."""
        w = outputs.read_well(self.folder)
        return pd.DataFrame(w["conc"], index=pd.Index(w["time"], name="time"),
                            columns=COMPONENTS)

    @functools.cached_property
    def plume_mass(self):
        """Mass of each component in the aquifer water and in the low-permeability matrix:
        index time, columns aquifer_c1..aquifer_c4, matrix_c1..matrix_c4."""
        p = outputs.read_plume_mass(self.folder)
        data = np.hstack([p["aquifer"], p["matrix"]])
        cols = [f"aquifer_{c}" for c in COMPONENTS] + [f"matrix_{c}" for c in COMPONENTS]
        return pd.DataFrame(data, index=pd.Index(p["time"], name="time"), columns=cols)

    @functools.cached_property
    def _discharge(self):
        return outputs.read_discharge(self.folder)

    @functools.cached_property
    def discharge(self):
        """Mass discharge through each column's cross-section: index (time, x) with x the
        column centre, columns c1..c4."""
        d = self._discharge
        nstep, nx = d["q"].shape[:2]
        index = pd.MultiIndex.from_product([d["time"], d["x"]], names=["time", "x"])
        return pd.DataFrame(d["q"].reshape(nstep * nx, -1), index=index, columns=COMPONENTS)

    def discharge_at(self, x, time=None):
        """Mass discharge at a distance x from the source plane, interpolated linearly in x
        between the two column centres around it (at a centre: that column's value).
        x must lie between the first and the last column centre. Returns a DataFrame
        (index time, columns c1..c4), or a Series for one `time` of the file."""
        d = self._discharge
        values = between_columns(d["x"], d["q"], x)
        table = pd.DataFrame(values, index=pd.Index(d["time"], name="time"),
                             columns=COMPONENTS)
        return table if time is None else table.loc[time]

    @functools.cached_property
    def snapshots(self):
        """Concentration snapshots as an xarray Dataset: dimensions time, x, y, z (cell
        centres: x downstream from the source plane, y from the plume centre line, z up
        from the base), one variable per component, c1..c4."""
        import xarray as xr
        s = outputs.read_snapshots(self.folder)
        dims = ("time", "x", "y", "z")
        coords = {"time": s["time"], "x": s["x"], "y": s["y"], "z": s["z"]}
        return xr.Dataset({c: (dims, s["c"][..., m]) for m, c in enumerate(COMPONENTS)},
                          coords=coords, attrs={"dx": s["dx"], "dy": s["dy"], "dz": s["dz"]})

    @functools.cached_property
    def budget(self):
        """The mass budget (budget.out, written by runs with the budget on) as a DataFrame
        with its columns; None when the folder has no budget.out."""
        path = self.path("budget.out")
        if not os.path.isfile(path):
            return None
        table = pd.read_csv(path, float_precision="round_trip")
        if list(table.columns) != BUDGET_COLUMNS:
            raise outputs.ResultFileError(
                f"{path} line 1: header {','.join(table.columns)!r} is not the header of "
                f"budget.out ({','.join(BUDGET_COLUMNS)})")
        return table


def columns_around(xs, x):
    """(i, w): the mass discharge at x is (1 - w) times column i's plus w times column
    i + 1's, the column centres xs around x (one column: (0, 0.0), that column alone).
    ValueError when x lies outside the first and the last centre."""
    if not xs[0] <= x <= xs[-1]:
        raise ValueError(f"x = {x} lies outside the column centres "
                         f"({xs[0]:g} to {xs[-1]:g}): no discharge to interpolate")
    if len(xs) == 1:
        return 0, 0.0
    i = min(int(np.searchsorted(xs, x, side="right")) - 1, len(xs) - 2)
    return i, (x - xs[i]) / (xs[i + 1] - xs[i])


def between_columns(xs, q, x):
    """Mass discharge q[step, column, component] at x, interpolated linearly between the
    column centres xs around it (at a centre: that column's value): q_x[step, component].
    ValueError when x lies outside the first and the last centre."""
    i, w = columns_around(xs, x)
    # At a centre the column alone: its neighbour may hold NaN (a value the program could
    # not print), which a weight of zero would still carry into the result.
    if w == 0.0:
        return q[:, i, :]
    if w == 1.0:
        return q[:, i + 1, :]
    return (1.0 - w) * q[:, i, :] + w * q[:, i + 1, :]

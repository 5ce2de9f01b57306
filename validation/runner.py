"""Running the simulator on a validation deck and reading back what it wrote.

Every case starts from validation/base.deck (a constant source of concentration 1, one
reaction zone, no decay, no matrix, one cell across and one layer) and changes the items
it needs by name. The program is run as a user runs it: the deck on standard input, the
results in a folder of their own.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
try:
    from quilmar import Deck
except ImportError:
    sys.path.insert(0, os.path.join(REPO, "python"))
    from quilmar import Deck

BASE = Deck.read(os.path.join(os.path.dirname(os.path.abspath(__file__)), "base.deck"))


def decay(rates, item="decayf"):
    """A decay table with each component's rate in every zone (first period)."""
    table = np.zeros((4, 3, 3))
    table[:, :, 0] = np.asarray(rates, float)[:, None]
    return {item: table.tolist()}


def binary():
    path = os.environ.get("QUILMAR_BINARY")
    if path:
        return path
    found = sorted(glob.glob(os.path.join(REPO, "build*", "quilmar_v3")))
    if not found:
        raise RuntimeError("no quilmar_v3 binary: set QUILMAR_BINARY or build into build/")
    return found[0]


_EXP3 = re.compile(r"(\d)([+-]\d{3})$")


def number(field):
    """A result-file number; three-digit exponents are written without their letter."""
    field = field.strip()
    if "E" not in field and "e" not in field:
        field = _EXP3.sub(r"\1E\2", field)
    return float(field)


def table(path):
    """A result file as a 2-D array, header skipped."""
    with open(path) as handle:
        next(handle)
        rows = [[number(f) for f in line.split(",") if f.strip()] for line in handle]
    return np.array(rows, dtype=float)


class Run:
    """The files of one finished run, read into arrays."""

    def __init__(self, folder, console, read):
        self.folder = folder
        for name, attr in (("Quilmar.out", "field"), ("plume_mass.out", "mass"),
                           ("obs_well.out", "well"), ("discharge.out", "discharge")):
            setattr(self, attr, table(os.path.join(folder, name)) if attr in read else None)
        steps = [line for line in console.splitlines() if line.lstrip().startswith("time =")]
        # time, sweeps, stored amount per unit area at cell 1 (aquitard, embedded)
        self.progress = np.array([[float(v) for v in re.findall(
            r"=\s*(\S+)", line)] for line in steps])

    def snapshot(self, time, component=1):
        """Cell centres (x, y, z) and concentrations of the snapshot nearest `time`."""
        times = np.unique(self.field[:, 0])
        near = times[np.argmin(abs(times - time))]
        rows = self.field[self.field[:, 0] == near]
        return rows[:, 1:4], rows[:, 3 + component]


def run(items, read=("field",), keep=None):
    """Run the base deck with `items` changed; the files named in `read` (field, mass,
    well, discharge) are read and the folder is removed unless `keep` names it."""
    folder = keep or tempfile.mkdtemp(prefix="quilmar_val_")
    os.makedirs(folder, exist_ok=True)
    try:
        try:
            proc = subprocess.run([binary()], input=BASE.replace(**items).text(), text=True,
                                  capture_output=True, cwd=folder, timeout=600)
        except OSError as err:
            raise RuntimeError(f"cannot run {binary()}: {err.strerror}") from err
        if proc.returncode != 0:
            raise RuntimeError(f"quilmar_v3 stopped with status {proc.returncode} in "
                               f"{folder}: {proc.stderr.strip()}")
        return Run(folder, proc.stdout, read)
    finally:
        if keep is None:
            shutil.rmtree(folder, ignore_errors=True)

"""Running the simulator on a validation deck and reading back what it wrote.

Every case starts from one plain scenario (a constant source of concentration 1, one
reaction zone, no decay, no matrix, one cell across and one layer) and changes the records
it needs. The program is run as a user runs it: the deck on standard input, the results in
a folder of their own.
"""
import glob
import os
import re
import shutil
import subprocess
import tempfile

import numpy as np

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))

# A constant source: gamma 0 keeps the outflow concentration at czero while mass remains,
# and a mass of 1e30 never runs out. Remediation starts long after any validation run.
BASE = {
    1: "1 0 0 0", 2: "1e30 0 0 0", 3: "0 0 1e6 1.1e6", 4: "0 1 1 1 1",
    5: "1 1 0 0 0", 6: "1 1 1 1", 7: "1e9 1e9", 8: "0 0", 9: "0 0 0",
    22: "0 0.3 0.5 0 0 1 1", 23: "1 1 1 1", 24: "0 0 0",
    37: "1 10", 38: "1 1", 39: "1 1", 40: "1 1 1", 41: "1e-12 20000",
    42: "0.5 0.5 0.5 0.5",
}
for _rec in list(range(10, 22)) + list(range(25, 37)):
    BASE[_rec] = "0 0 0"


def decay_records(rates, first=10):
    """Records of the rates of components 1..4 (one rate per component, every zone)."""
    out = {}
    for m, rate in enumerate(rates):
        for zone in range(3):
            out[first + 3 * m + zone] = f"{rate!r} 0 0"
    return out


def deck_text(records, title="validation"):
    values = {**BASE, **records}
    lines = []
    for rec in range(1, 43):
        lines += [title if rec == 1 else f"record {rec}", "", str(values[rec])]
    return "\n".join(lines) + "\n"


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


def run(records, read=("field",), keep=None):
    """Run one deck; the files named in `read` (field, mass, well, discharge) are read and
    the folder is removed unless `keep` names it."""
    folder = keep or tempfile.mkdtemp(prefix="quilmar_val_")
    os.makedirs(folder, exist_ok=True)
    try:
        try:
            proc = subprocess.run([binary()], input=deck_text(records), text=True,
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

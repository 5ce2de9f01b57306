"""A finished run folder reduced to the series an ensemble keeps: the well concentrations
(obs_well.out), the aquifer and matrix masses (plume_mass.out) and the mass discharge
interpolated to the control planes (discharge.out).

A worker does this once per realisation on the same core as the runs, so the usual file,
lines of plain numbers in the program's fixed fields, is read in one pass over its bytes:
one check that every line holds the file's number of fields in digits, points, signs and
E exponents, then one conversion of all fields (Python's float rules, as the full reader's).
Anything else (asterisks for a value too wide for its field, NaN, three-digit exponents
without a letter, a cut or malformed line, a value that reads as infinite) goes through
quilmar.outputs' reader, which reads the same text to the same doubles or names the fault.
"""
import re

import numpy as np

from .. import outputs
from ..run_result import between_columns

_FIELD = rb"[0-9Ee.+\- ]*"
_LINES = {name: re.compile(rb"(?:%s,){%d}%s(?:\n(?:%s,){%d}%s)*\Z" % (
    _FIELD, len(cols) - 1, _FIELD, _FIELD, len(cols) - 1, _FIELD))
    for name, cols in outputs.HEADERS.items()}


def plain_table(folder, name):
    """values[line, column] of result file `name` when it holds only plain, finite
    numbers under its own header; None for any other file (or none)."""
    try:
        with open(f"{folder}/{name}", "rb") as f:
            data = f.read()
    except OSError:
        return None
    head, _, body = data.partition(b"\n")
    body = body.rstrip()
    if not body or [h.strip() for h in head.decode("ascii", "replace").split(",")] != \
            outputs.HEADERS[name] or not _LINES[name].match(body):
        return None
    try:
        values = np.array(body.replace(b"\n", b",").split(b","), dtype=float)
    except ValueError:
        return None
    if not np.isfinite(values).all():
        return None
    return values.reshape(-1, len(outputs.HEADERS[name]))


def _well(folder):
    v = plain_table(folder, "obs_well.out")
    if v is None:
        w = outputs.read_well(folder)
        return w["time"], w["conc"]
    return v[:, 0], v[:, 1:]


def _masses(folder):
    """(aquifer, matrix) masses by step and component."""
    v = plain_table(folder, "plume_mass.out")
    if v is None:
        p = outputs.read_plume_mass(folder)
        return p["aquifer"], p["matrix"]
    return v[:, 2::2], v[:, 1::2]


def _discharge(folder):
    """(x of the column centres, q[step, column, component])."""
    v = plain_table(folder, "discharge.out")
    if v is not None:
        # A block of lines per step, one line per column: it ends where the first
        # column's x comes round again.
        again = np.flatnonzero(v[1:, 1] == v[0, 1])
        nx = int(again[0]) + 1 if again.size else len(v)
        if len(v) % nx == 0 and v[0, 1] > 0:
            q = v.reshape(len(v) // nx, nx, -1)
            return (np.arange(nx) + 0.5) * (2.0 * v[0, 1]), q[:, :, 2:]
    d = outputs.read_discharge(folder)
    return d["x"], d["q"]


def reduce_folder(folder, planes):
    """The record of a finished run in `folder`: status 0, the step times and the series.
    A result file that cannot be read raises outputs.ResultFileError naming it; a plane
    outside the column centres raises ValueError."""
    time, well = _well(folder)
    aquifer, matrix = _masses(folder)
    xs, q = _discharge(folder)
    discharge = np.stack([between_columns(xs, q, x) for x in planes], axis=1)
    return {"status": 0, "message": "", "time": np.array(time, dtype=float), "well": well,
            "discharge": discharge, "aquifer_mass": aquifer, "matrix_mass": matrix}

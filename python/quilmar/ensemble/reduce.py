"""A finished run folder reduced to the series an ensemble keeps: the well concentrations
(obs_well.out), the aquifer and matrix masses (plume_mass.out) and the mass discharge
interpolated to the control planes (discharge.out).

A worker does this once per realisation on the same core as the runs, so the usual file,
lines of plain numbers in the program's fixed fields, is read in one pass over its bytes:
one check that every line holds the file's number of fields in digits, points, signs and
E exponents, then one conversion of the fields (Python's float rules, as the full
reader's). Of discharge.out only the lines of the columns around the control planes are
converted (some 4 of 60 columns); the others are checked for their fields only.
Anything else (asterisks for a value too wide for its field, NaN, three-digit exponents
without a letter, a cut or malformed line, a value that reads as infinite) goes through
quilmar.outputs' reader, which reads the same text to the same doubles or names the fault.
"""
import itertools

import numpy as np

from .. import outputs
from ..run_result import between_columns, columns_around

NCOMP = outputs.NCOMP
# The characters of plain numbers, their separators and line ends.
_PLAIN = b"0123456789Ee.+- ,\n"


def _plain_lines(folder, name):
    """The data lines of result file `name` (a list of bytes) when it has its own header
    and each line holds the file's number of fields, in plain-number characters; None
    otherwise."""
    try:
        with open(f"{folder}/{name}", "rb") as f:
            data = f.read()
    except OSError:
        return None
    head, _, body = data.partition(b"\n")
    body = body.rstrip()
    if not body or body.translate(None, _PLAIN) or \
            [h.strip() for h in head.decode("ascii", "replace").split(",")] != \
            outputs.HEADERS[name]:
        return None
    lines = body.split(b"\n")
    commas = len(outputs.HEADERS[name]) - 1
    if set(map(bytes.count, lines, itertools.repeat(b",", len(lines)))) != {commas}:
        return None
    return lines


def _numbers(lines, ncol):
    """values[line, column] of plain lines (a list of bytes), or None when a field is no
    number or reads as infinite."""
    try:
        values = np.array(b",".join(lines).split(b","), dtype=float)
    except ValueError:
        return None
    if not np.isfinite(values).all():
        return None
    return values.reshape(-1, ncol)


def plain_table(folder, name):
    """values[line, column] of result file `name` when it holds only plain, finite
    numbers under its own header; None for any other file (or none)."""
    lines = _plain_lines(folder, name)
    return None if lines is None else _numbers(lines, len(outputs.HEADERS[name]))


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


def _plain_discharge(lines, planes):
    """discharge[step, plane, component] from the plain lines of discharge.out, only the
    lines of the columns around the planes converted to numbers; None when those need
    the full rules. A block of lines per step, one line per column: it ends where the
    first column's x comes round again."""
    first = lines[0].split(b",")[1].strip()
    nx = next((k for k in range(1, len(lines)) if lines[k].split(b",")[1].strip() == first),
              len(lines))
    head = _numbers(lines[:1], 6)
    if len(lines) % nx or head is None or not head[0, 1] > 0:
        return None
    xs = (np.arange(nx) + 0.5) * (2.0 * head[0, 1])
    q = np.zeros((len(lines) // nx, nx, NCOMP))
    for x in planes:
        i, _ = columns_around(xs, x)
        for c in range(i, min(i + 2, nx)):
            v = _numbers(lines[c::nx], 6)
            if v is None:
                return None
            q[:, c] = v[:, 2:]
    return np.stack([between_columns(xs, q, x) for x in planes], axis=1)


def _discharge(folder, planes):
    lines = _plain_lines(folder, "discharge.out")
    q = None if lines is None else _plain_discharge(lines, planes)
    if q is None:
        d = outputs.read_discharge(folder)
        q = np.stack([between_columns(d["x"], d["q"], x) for x in planes], axis=1)
    return q


def reduce_folder(folder, planes):
    """The record of a finished run in `folder`: status 0, the step times and the series.
    A result file that cannot be read raises outputs.ResultFileError naming it; a plane
    outside the column centres raises ValueError."""
    time, well = _well(folder)
    aquifer, matrix = _masses(folder)
    return {"status": 0, "message": "", "time": np.array(time, dtype=float), "well": well,
            "discharge": _discharge(folder, planes), "aquifer_mass": aquifer,
            "matrix_mass": matrix}

"""Reading the result files of one quilmar_v3 run.

Reads the four result files of a run folder (discharge.out, Quilmar.out, plume_mass.out,
obs_well.out) and the captured console output (console.txt, for the title and the deck
echo). Every number the program can write is read: fixed and exponent fields, the exponent
form with three digits and no letter (0.10000-100), fields of asterisks (a value too wide
for its field), NaN, Infinity and Inf. A missing or malformed file is named with the line
and the field at fault.
"""

import math
import os
import re

import numpy as np

# Column names of each result file, as in its header line.
HEADERS = {
    "discharge.out": ["Time", "X", "Discharge1", "Discharge2", "Discharge3", "Discharg4"],
    "Quilmar.out": ["Time", "X", "Y", "Z", "Conc1", "Conc2", "Conc3", "Conc4"],
    "plume_mass.out": ["Time", "C1low", "C1hi", "C2low", "C2hi", "C3low", "C3hi", "C4low", "C4hi"],
    "obs_well.out": ["Time", "C1well", "C2well", "C3well", "C4well"],
}

NCOMP = 4


class ResultFileError(Exception):
    """A result file that is missing or cannot be read; the message names it."""


# ---------------------------------------------------------------------------------------
# Reading the result files

_SPECIAL = {
    "NaN": math.nan,
    "Infinity": math.inf,
    "-Infinity": -math.inf,
    "Inf": math.inf,
    "-Inf": -math.inf,
}
# A number as the program writes it: fixed point (the 0 before the point may be missing),
# or a mantissa with an exponent "E+dd" or, for three-digit exponents, a bare "+ddd".
_NUMBER = re.compile(r"([-+]?(?:\d+\.?\d*|\.\d+))(?:([EeDd][-+]?\d+)|([-+]\d{3}))?\Z")
_ASTERISKS = re.compile(r"\*+\Z")


def parse_field(text):
    """Value of one result field. Returns (value, overflow): a field of asterisks (a value
    too wide for its field) reads as NaN with overflow True. Raises ValueError otherwise."""
    t = text.strip()
    if t in _SPECIAL:
        return _SPECIAL[t], False
    if _ASTERISKS.match(t):
        return math.nan, True
    m = _NUMBER.match(t)
    if not m:
        raise ValueError(text)
    mantissa, exp_letter, exp_bare = m.groups()
    if exp_letter:
        return float(mantissa + "e" + exp_letter[1:]), False
    if exp_bare:
        return float(mantissa + "e" + exp_bare), False
    return float(mantissa), False


class Table:
    """The data lines of one result file: values[line, column] as floats, overflow[line,
    column] True where the field held asterisks, raw[line][column] the field texts."""

    def __init__(self, path, values, overflow, raw):
        self.path = path
        self.values = values
        self.overflow = overflow
        self.raw = raw
        self.notes = []


# Text of a file that holds only plain numbers: digits, points, signs, E exponents.
_PLAIN = re.compile(r"[0-9Ee.+\-, ]*\Z")


def _plain_values(data, raw, ncol):
    """The values of data lines that hold only plain numbers (the usual case, read in one
    pass), or None when a line has another field count or a field needs the full rules
    (asterisks, NaN, three-digit exponents, a malformed field). Within these characters
    Python's float reads exactly the forms parse_field reads, to the same doubles."""
    if any(len(fields) != ncol for fields in raw):
        return None
    if not all(_PLAIN.match(line) for line in data):
        return None
    try:
        return np.array([f for fields in raw for f in fields], dtype=float).reshape(-1, ncol)
    except ValueError:
        return None


def read_table(run_dir, name):
    path = os.path.join(run_dir, name)
    expected = HEADERS[name]
    if not os.path.isfile(path):
        raise ResultFileError(f"{path}: missing result file {name} (is this a run folder?)")
    with open(path, "rb") as f:
        lines = f.read().decode("ascii", errors="replace").splitlines()
    if not lines:
        raise ResultFileError(f"{path}: empty file, not even the header line")
    header = [h.strip() for h in lines[0].split(",")]
    if header != expected:
        raise ResultFileError(
            f"{path} line 1: header {lines[0].strip()!r} is not the header of {name} "
            f"({','.join(expected)})")
    data = lines[1:]
    while data and not data[-1].strip():
        data.pop()
    if not data:
        raise ResultFileError(
            f"{path}: header line only, no data (the run stopped before its first step "
            f"ended, or the deck asks for no steps)")
    ncol = len(expected)
    raw = [line.split(",") for line in data]
    overflow = np.zeros((len(data), ncol), dtype=bool)
    values = _plain_values(data, raw, ncol)
    if values is not None:
        return Table(path, values, overflow, raw)
    values = np.empty((len(data), ncol))
    raw = []
    for ln, line in enumerate(data, start=2):
        fields = line.split(",")
        if len(fields) != ncol:
            raise ResultFileError(
                f"{path} line {ln}: {len(fields)} fields, {name} lines have {ncol}")
        for c, text in enumerate(fields):
            try:
                values[ln - 2, c], overflow[ln - 2, c] = parse_field(text)
            except ValueError:
                raise ResultFileError(
                    f"{path} line {ln}: field {c + 1} ({expected[c]}) {text.strip()!r} "
                    f"is not a number") from None
        raw.append(fields)
    table = Table(path, values, overflow, raw)
    n_over = int(overflow[:, 1:].sum())
    if n_over:
        table.notes.append(
            f"{path}: {n_over} value field(s) written as asterisks (too wide for the field); "
            f"they are left out of the plots")
    return table


def _step_times(times, path, notes, what):
    """Times of a series with one entry per step (or per snapshot at every npt-th step).
    Times of 10000 or more do not fit their field and are written as asterisks; the k-th
    entry lies at k times the first, so such times are rebuilt from the first."""
    bad = ~np.isfinite(times)
    if bad.any():
        if not np.isfinite(times[0]):
            raise ResultFileError(f"{path}: the first {what} has no readable time")
        times = times.copy()
        times[bad] = (np.flatnonzero(bad) + 1) * times[0]
        notes.append(f"{path}: {int(bad.sum())} time(s) of 10000 or more were written as "
                     f"asterisks; rebuilt from the step length")
    return times


def _block_length(keys, path, what):
    """Lines per block: a block ends where the first line's key comes round again."""
    first = keys[0]
    for n, key in enumerate(keys[1:], start=1):
        if key == first:
            return n
    return len(keys)


def _first_length(col, path, label):
    v = col[0]
    if not (np.isfinite(v) and v > 0):
        raise ResultFileError(f"{path} line 2: first cell centre {label} is not a positive number")
    return v


def read_well(run_dir):
    t = read_table(run_dir, "obs_well.out")
    time = _step_times(t.values[:, 0], t.path, t.notes, "line")
    return {"time": time, "conc": t.values[:, 1:], "notes": t.notes}


def read_plume_mass(run_dir):
    t = read_table(run_dir, "plume_mass.out")
    time = _step_times(t.values[:, 0], t.path, t.notes, "line")
    return {"time": time, "matrix": t.values[:, 1::2], "aquifer": t.values[:, 2::2], "notes": t.notes}


def read_discharge(run_dir):
    """Mass discharge by step and column: time[nstep], x[nx], q[nstep, nx, 4]."""
    t = read_table(run_dir, "discharge.out")
    nx = _block_length([f[1].strip() for f in t.raw], t.path, "column")
    if len(t.raw) % nx:
        raise ResultFileError(
            f"{t.path}: {len(t.raw)} data lines are not whole blocks of {nx} columns "
            f"(file cut short?)")
    nstep = len(t.raw) // nx
    v = t.values.reshape(nstep, nx, -1)
    time = _step_times(v[:, 0, 0], t.path, t.notes, "step")
    dx = 2.0 * _first_length(v[:, 0, 1], t.path, "x")
    x = (np.arange(nx) + 0.5) * dx
    return {"time": time, "x": x, "q": v[:, :, 2:], "notes": t.notes}


def read_snapshots(run_dir):
    """Concentration snapshots: time[nsnap], x[nx], y[ny], z[nz], dx, dy, dz and
    c[nsnap, nx, ny, nz, 4]. The grid follows from the order of the lines (x outer, z
    inner) and the first cell centres, so coordinates written as asterisks do no harm."""
    t = read_table(run_dir, "Quilmar.out")
    keys = [tuple(s.strip() for s in f[1:4]) for f in t.raw]
    ncell = _block_length(keys, t.path, "cell")
    if len(keys) % ncell:
        raise ResultFileError(
            f"{t.path}: {len(keys)} data lines are not whole snapshots of {ncell} cells "
            f"(file cut short?)")
    nz = _block_length([k[2] for k in keys[:ncell]], t.path, "layer")
    nyz = _block_length([k[1:] for k in keys[:ncell]], t.path, "row")
    if nyz % nz or ncell % nyz:
        raise ResultFileError(f"{t.path}: the cell coordinates of the first snapshot do not "
                              f"form a regular grid")
    ny, nx = nyz // nz, ncell // nyz
    nsnap = len(keys) // ncell
    v = t.values.reshape(nsnap, nx, ny, nz, -1)
    time = _step_times(v[:, 0, 0, 0, 0], t.path, t.notes, "snapshot")
    dx = 2.0 * _first_length(v[:, 0, 0, 0, 1], t.path, "x")
    dy = 2.0 * _first_length(v[:, 0, 0, 0, 2], t.path, "y")
    dz = 2.0 * _first_length(v[:, 0, 0, 0, 3], t.path, "z")
    return {
        "time": time, "dx": dx, "dy": dy, "dz": dz,
        "x": (np.arange(nx) + 0.5) * dx, "y": (np.arange(ny) + 0.5) * dy,
        "z": (np.arange(nz) + 0.5) * dz, "c": v[..., 4:], "notes": t.notes,
    }


def read_console(path):
    """Title (the deck's first comment line) and deck values from the deck echo at the
    top of the console output: the value echo of record r is line 3r. Returns None when
    there is no console file."""
    if not path or not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    info = {"title": lines[0].strip() if lines else "", "records": {}}
    for r in range(1, 43):
        if 3 * r > len(lines):
            break
        try:
            info["records"][r] = [float(v) for v in lines[3 * r - 1].split()]
        except ValueError:
            break  # not a deck echo: keep what was read
    return info

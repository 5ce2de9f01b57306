"""`quilmar check DECK`: read a deck as the program does and show what it means.

Prints every value as `name = value` in deck order (names as `quilmar run --set` takes
them), the source rows and layers and the well cells the deck resolves to, and warnings:
values after a record's last value that the program does not read, the program's own
warnings, and discretisation advice (quilmar.advice). Exits 0, with or without warnings,
and 2 with the program's message when the program would reject the deck.

The program's own checks come from running it on the deck in a scratch folder and stopping
it as soon as its first time step is done: every check and warning comes before that.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from . import advice
from .deck import Deck, format_value
from .deck_reader import DeckError
from .names import RECORDS

PROGRAM_PREFIX = "quilmar_v3: "


class ProgramCheck:
    """What the program said of a deck before its first step: status 2 and its message
    when it rejects the deck, its warning lines, and whether the first step converged."""

    def __init__(self, status, warnings, message, first_step_failed):
        self.status = status
        self.warnings = warnings
        self.message = message
        self.first_step_failed = first_step_failed


def program_check(deck, binary):
    with tempfile.TemporaryDirectory(prefix="quilmar-check-") as scratch:
        deck_path = os.path.join(scratch, "check.deck")
        deck.write(deck_path)
        err_path = os.path.join(scratch, "stderr.txt")
        with open(deck_path, "rb") as stdin, open(err_path, "wb") as err:
            proc = subprocess.Popen([binary], stdin=stdin, stdout=subprocess.PIPE, stderr=err,
                                    cwd=scratch)
            stepped = False
            for line in proc.stdout:
                if line.lstrip().startswith(b"time ="):
                    stepped = True
                    break
            if stepped and proc.poll() is None:
                proc.kill()     # the setup is through: the time steps are not needed
            proc.stdout.close()
            status = proc.wait()
        with open(err_path, "rb") as f:
            lines = f.read().decode("utf-8", errors="replace").splitlines()
    warnings = [ln for ln in lines if ln.startswith(PROGRAM_PREFIX + "warning:")]
    others = [ln[len(PROGRAM_PREFIX):] if ln.startswith(PROGRAM_PREFIX) else ln
              for ln in lines if ln not in warnings]
    first_step_failed = status == 1 and not stepped
    return ProgramCheck(status, warnings, "\n".join(others), first_step_failed)


def _span(first, last, h):
    return f"{(first - 1) * h:g} to {last * h:g}"


def describe_cells(deck):
    """The source and well lines of the report."""
    src = deck.source_cells()
    lines = [f"source: rows 1 to {deck.lysource} (y {_span(1, deck.lysource, deck.dy)} from "
             f"the centre line), layers {deck.lzsourcemin} to {deck.lzsourcemax} "
             f"(z {_span(deck.lzsourcemin, deck.lzsourcemax, deck.dz)} above the base); "
             f"area {src.area:g} for the whole plume, water through it vd*area = "
             f"{deck.vd * src.area:g} per unit time"]
    w = deck.well_cells()
    col = (f"column {w.iwell} (x {_span(w.iwell, w.iwell, deck.dx)})" if w.iwell else
           "no column (the well samples the source plane)")
    row = f"row {w.jwell} (y {_span(w.jwell, w.jwell, deck.dy)})" if w.jwell else "no row"
    if w.kwellbot and w.kwelltop:
        lay = (f"layers {w.kwellbot} to {w.kwelltop} (z {_span(w.kwellbot, w.kwelltop, deck.dz)})"
               f" averaged" if w.kwellbot <= w.kwelltop else
               f"bottom layer {w.kwellbot} above top layer {w.kwelltop}")
    else:
        lay = "no layer for " + " and ".join(
            n for n, k in (("zwellbot", w.kwellbot), ("zwelltop", w.kwelltop)) if not k)
    lines.append(f"well: {col}, {row}, {lay}")
    return lines


def surplus_warnings(deck, program_warnings):
    """Records whose line goes on with a number, unless the program already said so."""
    out = []
    for record, count, text in deck.surplus():
        said = f"warning: deck record {record}: the line goes on"
        if any(said in w for w in program_warnings):
            continue
        items = ", ".join(dict.fromkeys(e.item for e in RECORDS[record - 1]))
        out.append(f"deck record {record} ({items}): {count} values read; the line goes on "
                   f"with \"{text}\", which reads as a number but is not read (a value too "
                   f"many?)")
    return out


def main(argv, prog):
    parser = argparse.ArgumentParser(
        prog=prog, description="Read a deck as the program does: its values by name, the "
        "source and well cells it resolves to, and warnings. Exit status 0, or 2 when the "
        "program would reject the deck.")
    parser.add_argument("deck", help="the deck file")
    args = parser.parse_args(argv)
    try:
        deck = Deck.read(args.deck)
    except OSError as e:
        print(f"{prog}: {args.deck}: {e.strerror}", file=sys.stderr)
        return 2
    except DeckError as e:
        print(f"{prog}: {args.deck}: {e}", file=sys.stderr)
        return 2
    print(f"deck: {args.deck}")
    print(f"title: {deck.title.rstrip()}")
    print()
    for name, value in deck.elements():
        print(f"{name} = {format_value(value)}")
    print()
    for line in describe_cells(deck):
        print(line)

    from .runner import find_binary
    try:
        checked = program_check(deck, find_binary())
    except FileNotFoundError as e:
        checked = None
        print(f"{prog}: the program's own checks were not run: {e}", file=sys.stderr)
    warnings = surplus_warnings(deck, checked.warnings if checked else [])
    if checked:
        warnings += checked.warnings
        if checked.first_step_failed:
            warnings.append(f"the first time step does not converge within maxit = "
                            f"{deck.maxit} sweeps: the run would stop with status 1 "
                            f"({checked.message.strip()})")
    warnings += [f"advice: {a.text}" for a in advice.advise(deck)]
    print()
    print(f"warnings: {len(warnings)}")
    for w in warnings:
        print(f"  {w}")
    sys.stdout.flush()
    if checked and checked.status == 2:
        print(f"{prog}: {args.deck}: {checked.message}", file=sys.stderr)
        return 2
    return 0

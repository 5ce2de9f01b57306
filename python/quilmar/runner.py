"""Running the simulator on a deck in a folder of its own: `quilmar.run(deck, workdir)` in
Python, `quilmar run DECK [--set NAME=VALUE ...] --out DIR [--threads N]` on the command line.

The folder receives the deck (run.deck), the console (console.txt), the program's messages
on its error stream (messages.txt), the four result files and, with the budget on,
budget.out.
"""
import argparse
import os
import re
import subprocess
import sys

from .deck import Deck
from .deck_reader import DeckError
from .run_result import CONSOLE_FILE, DECK_FILE, MESSAGES_FILE, Run

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_TREE = os.path.abspath(os.path.join(HERE, "..", ".."))
_STEP_LINE = re.compile(r"\s*time =\s*\S+\s+iterations =")


class RunError(Exception):
    """A run that the program ended with a status other than 0: `.status` is its exit
    status, `.message` what it reported on its error stream, `.folder` the run folder."""

    def __init__(self, status, message, folder=None):
        self.status = status
        self.message = message
        self.folder = folder
        super().__init__(message.strip() or f"the program ended with status {status}")


def find_binary():
    """The simulator: $QUILMAR_BINARY, else build/quilmar_v3 of the source tree this package
    lies in. FileNotFoundError names both when neither is there."""
    path = os.environ.get("QUILMAR_BINARY")
    if path:
        if not os.path.isfile(path):
            raise FileNotFoundError(f"QUILMAR_BINARY={path}: no such file")
        return path
    path = os.path.join(SOURCE_TREE, "build", "quilmar_v3")
    if os.path.isfile(path):
        return path
    raise FileNotFoundError(f"no simulator binary: set QUILMAR_BINARY, or build it into {path}")


def run(deck, workdir, threads=None, budget=True, progress=False):
    """Runs a deck (a Deck, or the path of a deck file) in `workdir` (made if missing) and
    returns its Run. threads sets the program's thread count (QUILMAR_THREADS); budget
    asks the program for budget.out; progress shows a bar by time step. A run that the
    program ends with a status other than 0 raises RunError; the folder keeps what the
    program wrote until it stopped."""
    if not isinstance(deck, Deck):
        deck = Deck.read(deck)
    os.makedirs(workdir, exist_ok=True)
    deck.write(os.path.join(workdir, DECK_FILE))
    # A budget.out left by an earlier run in this folder would be taken for this run's.
    for stale in ("budget.out", MESSAGES_FILE):
        if os.path.exists(os.path.join(workdir, stale)):
            os.remove(os.path.join(workdir, stale))
    env = dict(os.environ)
    if threads is not None:
        if int(threads) < 1:
            raise ValueError(f"threads = {threads}: at least 1")
        env["QUILMAR_THREADS"] = str(int(threads))
    command = [find_binary()] + (["--budget"] if budget else [])
    bar = None
    if progress:
        from tqdm import tqdm
        bar = tqdm(total=max(deck.nt, 0), unit="step", desc=os.path.basename(
            os.path.abspath(workdir)), file=sys.stderr)
    with open(os.path.join(workdir, DECK_FILE), "rb") as stdin, \
            open(os.path.join(workdir, CONSOLE_FILE), "wb") as console:
        if bar is None:
            # Without a bar the console goes straight to its file: no pipe to copy and no
            # reader thread, which an ensemble would pay in every realisation.
            proc = subprocess.run(command, stdin=stdin, stdout=console,
                                  stderr=subprocess.PIPE, cwd=workdir, env=env)
            messages = proc.stderr
        else:
            proc = subprocess.Popen(command, stdin=stdin, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, cwd=workdir, env=env)
            messages = _follow(proc, console, bar)
    if bar is not None:
        bar.close()
    text = messages.decode("utf-8", errors="replace")
    if text:
        with open(os.path.join(workdir, MESSAGES_FILE), "w", encoding="utf-8") as f:
            f.write(text)
    if proc.returncode != 0:
        raise RunError(proc.returncode, text, os.path.abspath(workdir))
    return Run(workdir, proc.returncode, text)


def _follow(proc, console, bar):
    """Copies the console into its file line by line, advancing the bar at every step
    line, while a thread collects the error stream; returns the error stream's bytes."""
    import threading
    chunks = []
    reader = threading.Thread(target=lambda: chunks.append(proc.stderr.read()), daemon=True)
    reader.start()
    try:
        for line in proc.stdout:
            console.write(line)
            if _STEP_LINE.match(line.decode("latin-1")):
                bar.update(1)
    finally:
        proc.stdout.close()
        proc.wait()
        reader.join()
        proc.stderr.close()
    return b"".join(chunks)


# --- the command line ------------------------------------------------------------------

def parse_settings(deck, settings):
    """The deck with NAME=VALUE settings applied; each VALUE is read as the deck reads a
    value (a real or an integer by the item's type). A whole per-component item takes its
    values separated by commas: czero=100,0,0,0."""
    changes = {}
    for text in settings:
        name, sep, value = text.partition("=")
        name = name.strip()
        if not sep or not name:
            raise DeckError(f"--set {text}: expected NAME=VALUE")
        if name in deck.names() and getattr(deck, name).__class__ is tuple:
            changes[name] = [v.strip() for v in value.split(",")]
        else:
            changes[name] = value
    return deck.replace(**changes)


def main(argv, prog):
    parser = argparse.ArgumentParser(
        prog=prog, description="Run a deck, with items changed by name, in a folder of its "
        "own: the folder receives the deck (run.deck), console.txt, the four result files and "
        "budget.out. Exits with the program's status.")
    parser.add_argument("deck", help="the deck file")
    parser.add_argument("--set", action="append", default=[], metavar="NAME=VALUE",
                        help="change an item: xremove=0.5, 'decayf[1,2,1]=0.2', "
                             "czero=100,0,0,0 (repeatable)")
    parser.add_argument("--out", required=True, metavar="DIR", help="the run folder")
    parser.add_argument("--threads", type=int, metavar="N", help="threads of the program")
    parser.add_argument("--no-budget", action="store_true", help="do not write budget.out")
    parser.add_argument("--quiet", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)
    if args.threads is not None and args.threads < 1:
        parser.error(f"--threads {args.threads}: at least 1")
    try:
        deck = parse_settings(Deck.read(args.deck), args.set)
    except OSError as e:
        print(f"{prog}: {args.deck}: {e.strerror}", file=sys.stderr)
        return 2
    except DeckError as e:
        print(f"{prog}: {args.deck}: {e}", file=sys.stderr)
        return 2
    try:
        result = run(deck, args.out, threads=args.threads, budget=not args.no_budget,
                     progress=not args.quiet)
    except FileNotFoundError as e:
        print(f"{prog}: {e}", file=sys.stderr)
        return 2
    except OSError as e:        # the run folder: a file of that name, no permission, no space
        print(f"{prog}: --out {args.out}: {e.strerror}", file=sys.stderr)
        return 2
    except RunError as e:
        sys.stderr.write(e.message)
        return e.status if e.status > 0 else 128 - e.status
    sys.stderr.write(result.messages)
    print(f"{prog}: run folder {os.path.abspath(args.out)}")
    return 0

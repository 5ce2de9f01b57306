"""The command line: `quilmar COMMAND [options]`, one module per command.

Every command module has a function main(argv, prog) that parses its own options and
returns the exit status: 0 done, 2 a usage or input error, otherwise the status of the
simulator run that failed.
"""
import importlib
import os
import sys

# command -> (module that runs it, one-line description for `quilmar --help`)
COMMANDS = {
    "check": ("quilmar.check", "read a deck as the program does and list its items by name, "
                               "with the resolved source and well cells and warnings"),
    "run": ("quilmar.runner", "run a deck (with items changed by name) in a folder of its own"),
    "plot": ("quilmar.plot", "figures of a run folder: breakthrough, discharge, plume mass, maps"),
    "ensemble": ("quilmar.ensemble.cli", "Monte Carlo ensembles of runs on a Dask cluster"),
    "validate": (None, "run the validation cases against exact solutions and rewrite "
                       "docs/validation.md"),
}


def usage():
    width = max(len(c) for c in COMMANDS)
    lines = ["usage: quilmar COMMAND [options]      (quilmar COMMAND --help for its options)", "",
             "commands:"]
    lines += [f"  {c:<{width}}  {text}" for c, (_, text) in COMMANDS.items()]
    return "\n".join(lines)


def _validate(argv, prog):
    # The validation cases live beside the package in the source tree, not in it.
    here = os.path.dirname(os.path.abspath(__file__))
    folder = os.path.join(here, "..", "..", "validation")
    if not os.path.isfile(os.path.join(folder, "run_all.py")):
        print(f"{prog}: the validation cases are not here (they come with the source tree, "
              f"in validation/)", file=sys.stderr)
        return 2
    sys.path.insert(0, os.path.abspath(folder))
    return importlib.import_module("run_all").main(argv, prog)


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if not argv or argv[0] in ("-h", "--help"):
        print(usage())
        return 0
    if argv[0] == "--version":
        from . import __version__
        print(f"quilmar {__version__}")
        return 0
    command, rest = argv[0], argv[1:]
    if command not in COMMANDS:
        print(f"quilmar: unknown command '{command}'\n{usage()}", file=sys.stderr)
        return 2
    prog = f"quilmar {command}"
    module = COMMANDS[command][0]
    if module is None:
        return _validate(rest, prog)
    return importlib.import_module(module).main(rest, prog)

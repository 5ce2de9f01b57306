"""quilmar: Python tools for the quilmar_v3 plume simulator.

The simulator is a separate program; this package talks to it only through its files and
exit statuses: it reads and writes decks, runs the program in a folder of its own, reads
the result files into pandas and xarray, draws figures and runs ensembles.
"""

__version__ = "3.0"

from .deck import Deck  # noqa: E402
from .deck_reader import DeckError  # noqa: E402

__all__ = ["Deck", "DeckError", "run", "Run", "RunError"]

# run, Run and RunError bring in pandas: imported when first used, so that reading and
# checking decks stays quick.
_LAZY = {"run": "runner", "RunError": "runner", "Run": "run_result"}


def __getattr__(name):
    if name in _LAZY:
        import importlib
        return getattr(importlib.import_module(f".{_LAZY[name]}", __name__), name)
    raise AttributeError(f"module 'quilmar' has no attribute {name!r}")

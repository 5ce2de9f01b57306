#!/usr/bin/python3
"""Plots of one quilmar_v3 run: the same as `tools/quilmar plot` (see quilmar.plot).

Usage:  plot_run.py RUN_DIR [options]      (plot_run.py --help lists them)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from quilmar.plot import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main(prog="plot_run"))

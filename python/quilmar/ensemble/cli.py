"""`quilmar ensemble PLAN.toml --out DIR [--scheduler ADDRESS] [--workers N] [--keep]`."""
import argparse
import os
import signal
import sys

from ..deck import DeckError
from .plan import PlanError, read_plan
from .realisation import STATUS_ERROR
from .store import OutputFolderError


def main(argv, prog):
    parser = argparse.ArgumentParser(
        prog=prog, description="Run a Monte Carlo ensemble of a deck on a Dask cluster: "
        "sampled inputs, scenarios with common random numbers, results in DIR/ensemble.nc, "
        "DIR/summary.csv and figures. Started again with the same --out, it runs only what "
        "is missing. See docs/ensembles.md.")
    parser.add_argument("plan", help="the ensemble plan (TOML)")
    parser.add_argument("--out", required=True, metavar="DIR", help="the output folder")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="run on an existing Dask cluster (tcp://host:8786) instead of "
                             "a local one")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--keep", action="store_true",
                        help="keep each run's folder under DIR/runs/ for inspection")
    parser.add_argument("--no-figures", action="store_true", help="write no figures")
    parser.add_argument("--quiet", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error(f"--workers {args.workers}: at least 1")
    if args.workers is not None and args.scheduler:
        parser.error("--workers sets the size of a local cluster; with --scheduler the "
                     "cluster has the workers started for it")
    from .driver import Unfinished, failures, run
    stopped = _stop_on_signals()
    resume = (f"the finished realisations are kept in {args.out}: start again with the "
              f"same --out to run the rest")
    try:
        plan = read_plan(args.plan)
        ds = run(plan, args.out, scheduler=args.scheduler, workers=args.workers,
                 keep=args.keep, progress=not args.quiet, draw=not args.no_figures)
    except (PlanError, OutputFolderError, DeckError, ConnectionError, Unfinished,
            FileNotFoundError) as e:     # FileNotFoundError: no program for a local cluster
        print(f"{prog}: {e}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"{prog}: stopped by {stopped[-1] if stopped else 'SIGINT'}; {resume}",
              file=sys.stderr)
        return 130
    except OSError as e:     # the scheduler lost, a disk full
        print(f"{prog}: {e}; {resume}", file=sys.stderr)
        return 2
    bad = failures(ds)
    total = ds.sizes["scenario"] * ds.sizes["realisation"]
    for scen, r, status, message in bad[:10]:
        first = message.splitlines()[0] if message else ""
        print(f"{prog}: scenario {scen}, realisation {r}: status {status}: {first}",
              file=sys.stderr)
    if len(bad) > 10:
        print(f"{prog}: ... and {len(bad) - 10} more failed realisations (see status and "
              f"message in ensemble.nc)", file=sys.stderr)
    print(f"{prog}: {total - len(bad)} of {total} realisations done, {len(bad)} failed; "
          f"results in {os.path.abspath(args.out)}")
    unstarted = [b for b in bad if b[2] == STATUS_ERROR]
    if unstarted:
        print(f"{prog}: {len(unstarted)} realisation(s) could not start the program on their "
              f"worker ({unstarted[0][3]}); mend the workers and start again with the same "
              f"--out: those are run again", file=sys.stderr)
        return 2
    return 0


def _stop_on_signals():
    """SIGTERM (a batch queue's end of time, a kill) stops the ensemble as Ctrl-C does:
    the realisations under way are cancelled and the finished ones stay saved."""
    names = []

    def stop(signum, frame):
        names.append(signal.Signals(signum).name)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    return names

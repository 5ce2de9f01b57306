"""One realisation on a worker: the scenario's deck with the realisation's sampled values,
run in a scratch folder of its own on one thread, reduced to the few series the ensemble
keeps (well concentrations, mass discharge at the control planes, aquifer and matrix
masses), and the folder removed unless it is to be kept.

This module is imported once per worker process; a task carries only the scenario and
realisation numbers and the sampled values, the decks travel once per worker.
"""
import os
import shutil
import signal
import tempfile
from dataclasses import dataclass

import numpy as np

from ..runner import RunError, run
from .reduce import reduce_folder

NCOMP = 4
# Statuses beside the program's own (0 done, 1 no convergence, 2 rejected; negative: the
# program was killed by that signal).
STATUS_UNREADABLE = 3    # the program ended with 0 but its result files could not be read
STATUS_LOST = 4          # the realisation's worker died each time it was tried
STATUS_ERROR = 5         # the program could not be started (no binary on the worker)
# A program stopped by an interrupt, a termination or a hang-up (status 128 + N when it
# stopped itself after a whole step, -N when the signal ended it) was stopped with the
# ensemble: its realisation is not recorded, so that a new start runs it again.
STOPS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
STOPPED = {128 + int(n) for n in STOPS} | {-int(n) for n in STOPS}


@dataclass
class Job:
    """What every task of an ensemble shares: the deck of each scenario (sampled values
    still to be set), the x of the control planes and where run folders go."""
    decks: list                 # one Deck per scenario, in scenario order
    scenario_dirs: list         # folder name of each scenario under keep_root
    planes: list
    keep_root: str = None       # keep each run's folder under this root (None: remove it)
    scratch: str = None         # parent of the scratch folders (None: the system's temp)


def empty(ntime, nplane, status, message):
    """The record of a realisation without results: NaN series of the given length."""
    nan = np.full((ntime, NCOMP), np.nan)
    return {"status": status, "message": message, "time": np.full(ntime, np.nan),
            "well": nan, "discharge": np.full((ntime, nplane, NCOMP), np.nan),
            "aquifer_mass": nan.copy(), "matrix_mass": nan.copy()}


def run_one(job, s, r, values):
    """Runs realisation r of scenario s with the sampled `values` ({item: value}); returns
    its record (a dict of small arrays, the status and the program's message)."""
    deck = job.decks[s].replace(**values)
    if job.keep_root:
        folder = os.path.join(job.keep_root, job.scenario_dirs[s], f"r{r:05d}")
        os.makedirs(folder, exist_ok=True)
    else:
        folder = tempfile.mkdtemp(prefix=f"quilmar-s{s}-r{r}-", dir=job.scratch)
    try:
        try:
            run(deck, folder, threads=1, budget=False)
            record = reduce_folder(folder, job.planes)
        except RunError as e:
            record = empty(0, len(job.planes), e.status, e.message.strip())
            record["stopped"] = e.status in STOPPED
        except OSError as e:
            record = empty(0, len(job.planes), STATUS_ERROR, f"cannot run the program: {e}")
        except Exception as e:   # noqa: BLE001 - a result file the reader rejects
            record = empty(0, len(job.planes), STATUS_UNREADABLE,
                           f"results unreadable: {e}")
    finally:
        if not job.keep_root:
            shutil.rmtree(folder, ignore_errors=True)
    record["scenario"], record["realisation"] = s, r
    return record


def run_batch(job, tasks):
    """Runs several realisations [(s, r, values), ...] one after the other; returns their
    records. Batching a few realisations per task spares the scheduler's work per task."""
    return [run_one(job, s, r, values) for s, r, values in tasks]

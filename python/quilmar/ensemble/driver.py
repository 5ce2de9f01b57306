"""An ensemble from plan to results: sample the inputs, run what the output folder does not
hold yet, then write ensemble.nc, summary.csv, sensitivity.csv and the figures."""

import threading
import time

import numpy as np

from ..runner import find_binary
from . import figures, results
from .execute import Cluster, execute, progress_bar
from .realisation import STATUS_ERROR, Job
from .sampling import deck_values, sample
from .plan import Plan, read_plan
from .store import Store, scenario_dir


def run(plan, out, client=None, *, scheduler=None, workers=None, keep=False, progress=False,
        draw=True, timings=None):
    """Runs the ensemble of `plan` (a plan file or a read Plan) into folder `out` and
    returns its xarray Dataset (also written to out/ensemble.nc).

    client: a distributed.Client to run on (left open); otherwise `scheduler` (an address,
    tcp://host:8786) or a LocalCluster of `workers` single-threaded processes (default: one
    per core). keep: keep each run's folder under out/runs/. A folder that already holds
    part of the same ensemble is completed, not started again. timings: a dict that
    receives the wall time of each phase (cluster: reading, sampling and starting
    the cluster; realisations; gather: reading back the records of an earlier start;
    results; figures), in s. A local cluster is closed while the results are written."""
    clock = _Clock(timings)
    if not isinstance(plan, Plan):
        plan = read_plan(plan)
    if client is None and not scheduler:
        find_binary()   # a local cluster runs this machine's program: none, and nothing starts
    samples = sample(plan.parameters, plan.realisations, plan.sampling, plan.seed)
    store = Store(out, plan)
    names = list(plan.scenarios)
    dirs = [scenario_dir(i, n) for i, n in enumerate(names)]
    # A realisation whose worker could not start the program is run again: it says nothing
    # of the realisation, and the worker may have been mended since.
    todo = store.missing(again=(STATUS_ERROR,))
    # The records of this start's realisations, as saved; the others are read back.
    done = {}

    def save(record):
        saved = store.save(record)
        done[saved["scenario"], saved["realisation"]] = saved

    if todo:
        job = Job([plan.scenario_decks[n] for n in names], dirs, list(plan.control_planes),
                  keep_root=store.path("runs") if keep else None)
        tasks = [(s, r, deck_values(plan.parameters, samples[r])) for s, r in todo]
        total = len(names) * plan.realisations
        bar = progress_bar(total, total - len(todo), progress)
        try:
            cluster = Cluster(client, scheduler, workers)
            try:
                clock.lap("cluster")
                execute(cluster.client, job, tasks, f"quilmar-{plan.fingerprint()[:12]}",
                        save, bar)
                clock.lap("realisations")
            except BaseException:
                cluster.close()
                raise
        finally:
            if bar is not None:
                bar.close()
        # A local cluster takes most of a second to stop; it stops while the results are
        # written. Its client is closed first: an open one would be taken for the writing
        # of ensemble.nc, and closed under it.
        cluster.close_client()
        closing = _Closing(cluster)
    else:
        closing = None
    try:
        records = [[done.get((s, r)) or store.load(s, r) for r in range(plan.realisations)]
                   for s in range(len(names))]
        lost = [(s, r) for s, row in enumerate(records) for r, rec in enumerate(row)
                if rec is None]
        if lost:
            raise Unfinished(f"{len(lost)} realisation(s) have no record in "
                             f"{store.path('parts')} (their runs were stopped by a signal, or "
                             f"the record could not be read back); start again with the same "
                             f"output folder to run them")
        ds = finish(plan, samples, records, store, draw, clock)
    finally:
        if closing is not None:
            closing.join()
    return ds


class _Closing(threading.Thread):
    """Closes a cluster in the background; join() waits for it and raises what the
    closing raised."""

    def __init__(self, cluster):
        super().__init__(name="quilmar-cluster-close")
        self.cluster = cluster
        self.error = None
        self.start()

    def run(self):
        try:
            self.cluster.close()
        except BaseException as e:  # noqa: BLE001 - handed to the thread that joins
            self.error = e

    def join(self, timeout=None):
        super().join(timeout)
        if self.error is not None:
            raise self.error


class Unfinished(Exception):
    """An ensemble whose realisations did not all leave a record."""


class _Clock:
    def __init__(self, timings):
        self.timings = timings
        self.last = time.perf_counter()

    def lap(self, name):
        now = time.perf_counter()
        if self.timings is not None:
            self.timings[name] = now - self.last
        self.last = now


def finish(plan, samples, records, store, draw=True, clock=None):
    clock = clock or _Clock(None)
    clock.lap("gather")
    ds = results.assemble(plan, samples, records)
    store.write_file("ensemble.nc", lambda p: ds.to_netcdf(p, engine="netcdf4"))
    store.write_file("summary.csv",
                     lambda p: results.summary(ds).to_csv(p, index=False, float_format="%.8g"))
    table = results.sensitivity(ds)
    store.write_file("sensitivity.csv",
                     lambda p: table.to_csv(p, index=False, float_format="%.4f"))
    clock.lap("results")
    if draw:
        figures.draw_all(ds, table, plan.limits, store.out)
        clock.lap("figures")
    return ds


def failures(ds):
    """(scenario, realisation, status, message) of every failed realisation."""
    st = ds["status"].values
    return [(str(ds.scenario.values[s]), int(r), int(st[s, r]), str(ds["message"].values[s, r]))
            for s, r in zip(*np.nonzero(st))]


def same_values(a, b):
    """True when two ensemble datasets hold the same numbers bit for bit (NaN equal to
    NaN): the check of a resumed or a cluster ensemble against a plain one."""
    for name in ("samples", "status", "well", "discharge", "aquifer_mass", "matrix_mass",
                 "exceedance"):
        x, y = np.asarray(a[name].values), np.asarray(b[name].values)
        if x.shape != y.shape or x.tobytes() != y.tobytes():
            return False
    return True


__all__ = ["run", "finish", "failures", "same_values"]

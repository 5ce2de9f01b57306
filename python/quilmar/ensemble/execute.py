"""Running the realisations on Dask distributed: a LocalCluster of one single-threaded
worker process per core by default, or an existing cluster by its scheduler's address.

Each task runs one realisation, or a few in a row in a large ensemble; the scenario decks
go to the workers once (scattered), so a task carries only numbers and sampled values.
Results come back as they finish and are handed to the caller at once (which saves them), so
a stop loses only the realisations under way. A worker that dies takes its tasks with it;
the scheduler gives them to another worker, and a realisation whose worker dies every time
it is tried is recorded as lost instead of stopping the ensemble.
"""
import logging
import os
import sys

from .realisation import STATUS_LOST, empty, run_batch


def cores():
    """Processors this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


# Housekeeping of a local cluster whose workers share the cores with the runs. By default
# an idle 2-worker cluster takes some 140 ms of CPU per second (7 % of two cores): each
# worker samples its threads' stacks every 10 ms for a profile, every process checks its
# event loop every 20 ms and its memory every 100 ms, and the scheduler looks for work to
# steal every 100 ms. None of it changes what runs where or what a run gives; with these
# settings the same cluster takes some 20 ms per second. A worker's memory is still
# watched, once a second.
QUIET_CLUSTER = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "1s",
    "distributed.worker.memory.monitor-interval": "1s",
    "distributed.admin.system-monitor.interval": "2s",
    "distributed.scheduler.work-stealing": False,
}


class Cluster:
    """A Dask client for an ensemble: on a new LocalCluster (closed again with this
    object), on an existing scheduler, or the caller's own client (left open)."""

    def __init__(self, client=None, scheduler=None, workers=None):
        self._cluster = None
        self._own_client = client is None
        if client is not None:
            self.client = client
            return
        from distributed import Client
        if scheduler:
            try:
                self.client = Client(scheduler, timeout="20s")
            except (OSError, TimeoutError) as e:
                raise ConnectionError(f"cannot reach the Dask scheduler at {scheduler}: "
                                      f"{e}") from None
            return
        import dask
        from distributed import LocalCluster
        n = workers or cores()
        # One process per worker, one thread each: every run is one single-threaded
        # program, so n workers keep n cores busy. Bound to the loopback interface only.
        # The workers share their cores with the runs, so the cluster keeps its own
        # housekeeping quiet (QUIET_CLUSTER) and serves no status pages.
        with dask.config.set(QUIET_CLUSTER):
            self._cluster = LocalCluster(n_workers=n, threads_per_worker=1, processes=True,
                                         host="127.0.0.1", dashboard_address=None,
                                         worker_dashboard_address=None,
                                         silence_logs=logging.ERROR)
            self.client = Client(self._cluster)

    def close_client(self):
        """Closes the client made here (a few ms). While it is open it is Dask's default,
        and xarray would write NetCDF files under its locks."""
        if self._own_client and self.client.status not in ("closing", "closed"):
            self.client.close()

    def close(self):
        self.close_client()
        if self._cluster is not None:
            self._cluster.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def batch_sizes(ntasks, nworkers, most=12):
    """Realisations per task, in the order the tasks are taken: each task takes half of
    what is left per worker, at most `most` and at least one. The scheduler's and the
    client's cost per task (some 10 ms of CPU on the same cores as the runs) is shared
    while plenty is left, and the last tasks run one realisation each, so that the
    workers end close together. At most `most` in a row also bounds what a stop or a lost
    worker takes with it, and how far the progress bar jumps."""
    sizes, left = [], ntasks
    while left > 0:
        size = max(1, min(most, left // (2 * max(nworkers, 1))))
        sizes.append(size)
        left -= size
    return sizes


def execute(client, job, tasks, key_prefix, on_record, progress=None):
    """Runs the tasks [(scenario, realisation, values), ...] and calls on_record(record)
    for each as it finishes. progress: a tqdm-like bar to advance, or None."""
    from distributed import as_completed
    from distributed.scheduler import KilledWorker
    if not tasks:
        return
    nworkers = len(client.scheduler_info().get("workers", {}))
    batches, i = [], 0
    for size in batch_sizes(len(tasks), nworkers):
        batches.append(tasks[i:i + size])
        i += size
    shared = client.scatter(job, broadcast=True, hash=False)
    keys = [f"{key_prefix}-s{b[0][0]}-r{b[0][1]}-{len(b)}" for b in batches]
    # One message to the scheduler for all of them; they run in this order.
    futures = dict(zip(client.map(run_batch, [shared] * len(batches), batches, key=keys,
                                  pure=False, retries=1), batches))
    failed = 0
    unfinished = set(futures)
    try:
        for f in as_completed(futures):
            unfinished.discard(f)
            try:
                records = f.result()
            except KilledWorker as e:
                records = []
                for s, r, _ in futures[f]:
                    rec = empty(0, len(job.planes), STATUS_LOST,
                                f"the worker died each time this realisation ran: {e}")
                    rec["scenario"], rec["realisation"] = s, r
                    records.append(rec)
            f.release()
            for record in records:
                if record.get("stopped"):
                    continue           # stopped by a signal: left to run again
                on_record(record)
                failed += record["status"] != 0
            if progress is not None:
                progress.set_postfix_str(f"failed {failed}", refresh=False)
                progress.update(len(records))
    finally:
        # Only what has not finished (after a stop): the scheduler has forgotten the
        # finished tasks, and waits a second for each key it does not know before it
        # gives up cancelling it.
        if unfinished:
            client.cancel(list(unfinished))


def progress_bar(total, done, enabled):
    """A bar of realisations done (with the failed count and the time left), or None."""
    if not enabled:
        return None
    from tqdm import tqdm
    return tqdm(total=total, initial=done, unit="run", desc="realisations", file=sys.stderr,
                smoothing=0.1)

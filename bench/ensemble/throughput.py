#!/usr/bin/python3
"""Ensemble throughput: the wall time of an ensemble against the time of the same
realisations run one by one as plain program runs and shared among the workers, and where
the per-realisation overhead goes.

    bench/ensemble/throughput.py [--realisations 200] [--workers N] [--deck DECK] [--repeat 3]

1. The base deck's single-run time: the median wall time of 11 plain runs on one thread
   (QUILMAR_THREADS=1), each in a scratch folder as the ensemble runs them.
2. The realisations' own decks: the deck with each realisation's five sampled inputs. The
   sampled inputs change the work of a run (the Darcy flux changes the sweeps per step), so
   the ideal is taken from these runs, not from the base deck's.
3. --repeat rounds, each of:
   a. every realisation's deck as a plain run, one at a time: their sum / workers is the
      round's ideal;
   b. the same plain runs, `workers` at a time (the machine's own bound: what concurrent
      runs cost each other on shared cores, with no Python beside them);
   c. the ensemble on a local cluster of --workers single-threaded workers (default: one per
      core).
   The rounds alternate because this machine's speed drifts by 10-20 % from one minute to
   the next; each ensemble is set against the plain runs of its own round.
4. The worker side alone: the same realisation function run serially in this process, its
   own CPU time (deck writing, following the console, reading and reducing the results,
   removing the folder) apart from the program's.
5. The CPU time per realisation of the program runs, of the worker processes and of the
   client's process (its main thread saving records; its other threads: the scheduler and
   the client's communication), over the realisations on a running cluster; and of every
   process of the whole ensembles of step 3. CPU times hold on a busy machine, where wall
   times do not.

The default deck (chain_60x10x5x70.deck, 70 steps on a 60 x 10 x 5 grid) runs in about
0.1 s on one thread; chain_60x10x5.deck is the same case over 40 steps (about 0.07 s).

The target: the ensemble takes at most 1.25 x (realisations x single-run time / workers).
The binary is $QUILMAR_BINARY, else build/quilmar_v3 of this tree.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "python"))

from quilmar.runner import find_binary  # noqa: E402
from quilmar.ensemble import read_plan, run  # noqa: E402
from quilmar.ensemble.execute import cores  # noqa: E402
from quilmar.ensemble.realisation import Job, run_one  # noqa: E402
from quilmar.ensemble.sampling import deck_values, sample  # noqa: E402

PLAN = """deck = "{deck}"
realisations = {n}
sampling = "lhs"
seed = 1
[parameters.vd]
dist = "lognormal"
median = 10.0
gsd = 1.5
[parameters.alphax]
dist = "uniform"
low = 2.5
high = 10.0
[parameters."decayf[1,2,1]"]
dist = "loguniform"
low = 0.1
high = 1.0
[parameters."tzeromass[1]"]
dist = "triangular"
low = 2e5
mode = 5e5
high = 1e6
[parameters."retardms[1]"]
dist = "normal"
mean = 6.0
sd = 1.0
low = 1.0
"""


def plain_run(binary, deck):
    """Wall time (s) of one plain run of a deck file on one thread, in a scratch folder."""
    env = dict(os.environ, QUILMAR_THREADS="1")
    folder = tempfile.mkdtemp(prefix="quilmar-bench-")
    try:
        with open(deck, "rb") as stdin, open(os.path.join(folder, "console.txt"), "wb") as out:
            t = time.perf_counter()
            subprocess.run([binary], stdin=stdin, stdout=out, cwd=folder, env=env, check=True)
            return time.perf_counter() - t
    finally:
        shutil.rmtree(folder)


def single_run_time(binary, deck, runs=11):
    return statistics.median(plain_run(binary, deck) for _ in range(runs))


def plain_runs(binary, decks, at_once):
    """(sum of the run times, wall time, CPU time of the runs) of plain runs of every deck,
    at_once at a time."""
    t, c = time.perf_counter(), os.times()
    with ThreadPoolExecutor(at_once) as pool:
        times = list(pool.map(lambda d: plain_run(binary, d), decks))
    c1 = os.times()
    cpu = c1.children_user + c1.children_system - c.children_user - c.children_system
    return sum(times), time.perf_counter() - t, cpu


def write_decks(plan, folder):
    """The deck file of every realisation (the plan's deck with its sampled values)."""
    values = sample(plan.parameters, plan.realisations, plan.sampling, plan.seed)
    paths = []
    for r, v in enumerate(values):
        paths.append(os.path.join(folder, f"r{r:05d}.deck"))
        plan.deck.replace(**deck_values(plan.parameters, v)).write(paths[-1])
    return paths


def worker_side(plan, count=20):
    """(wall, own CPU, program CPU) per realisation, run serially in this process."""
    values = sample(plan.parameters, plan.realisations, plan.sampling, plan.seed)
    job = Job([plan.deck], ["s0"], list(plan.control_planes))
    run_one(job, 0, 0, deck_values(plan.parameters, values[0]))
    t, c = time.perf_counter(), os.times()
    for r in range(count):
        run_one(job, 0, r, deck_values(plan.parameters, values[r % len(values)]))
    t1, c1 = time.perf_counter(), os.times()
    own = (c1.user + c1.system - c.user - c.system) / count
    child = (c1.children_user + c1.children_system - c.children_user - c.children_system) / count
    return (t1 - t) / count, own, child


def _usage():
    import resource
    me, kids = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(
        resource.RUSAGE_CHILDREN)
    return me.ru_utime + me.ru_stime, kids.ru_utime + kids.ru_stime


def _thread_cpu():
    """CPU time (s) of this process's main thread and of its other threads (the event
    loop that runs the scheduler and the client's communication)."""
    tick = os.sysconf("SC_CLK_TCK")
    main, other = 0.0, 0.0
    for tid in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{tid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue                  # a thread that ended meanwhile
        cpu = (int(fields[11]) + int(fields[12])) / tick
        if int(tid) == os.getpid():
            main += cpu
        else:
            other += cpu
    return main, other


def cpu_split(plan, folder, workers):
    """CPU per realisation of the program runs, of the worker processes themselves, and of
    this process's main thread (saving records) and other threads (scheduler and client),
    measured over the realisations alone on a cluster started beforehand."""
    from quilmar.ensemble.execute import Cluster, execute
    from quilmar.ensemble.store import Store
    values = sample(plan.parameters, plan.realisations, plan.sampling, plan.seed)
    job = Job([plan.deck], ["s0"], list(plan.control_planes))
    tasks = [(0, r, deck_values(plan.parameters, values[r])) for r in range(plan.realisations)]
    store = Store(os.path.join(folder, "split"), plan)
    with Cluster(workers=workers) as cluster:
        client = cluster.client
        before, t = client.run(_usage), _thread_cpu()
        execute(client, job, tasks, "bench-split", store.save)
        after, t1 = client.run(_usage), _thread_cpu()
    n = plan.realisations
    return {"program": sum(after[w][1] - before[w][1] for w in after) / n,
            "worker": sum(after[w][0] - before[w][0] for w in after) / n,
            "client main thread": (t1[0] - t[0]) / n,
            "scheduler and client threads": (t1[1] - t[1]) / n}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--realisations", type=int, default=200)
    parser.add_argument("--workers", type=int, default=None)
    parser.add_argument("--deck", default=os.path.join(HERE, "chain_60x10x5x70.deck"))
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--figures", action="store_true", help="draw the figures too")
    args = parser.parse_args()
    binary = find_binary()
    workers = args.workers or cores()
    n = args.realisations
    deck = os.path.abspath(args.deck)
    single = single_run_time(binary, deck)
    print(f"binary {binary}\ndeck {deck}\nworkers {workers}, realisations {n}")
    print(f"base deck, single run (1 thread, median of 11): {single:.4f} s; "
          f"{n} x that / {workers} = {n * single / workers:.2f} s")
    rounds = []
    folder = tempfile.mkdtemp(prefix="quilmar-bench-ens-")
    try:
        plan_path = os.path.join(folder, "plan.toml")
        with open(plan_path, "w") as f:
            f.write(PLAN.format(deck=deck, n=n))
        plan = read_plan(plan_path)
        decks = write_decks(plan, folder)
        for k in range(args.repeat):
            one, _, one_cpu = plain_runs(binary, decks, 1)
            _, together, _ = plain_runs(binary, decks, workers)
            out = os.path.join(folder, f"out{k}")
            timings = {}
            t, c = time.perf_counter(), os.times()
            ds = run(plan, out, workers=workers, draw=args.figures, timings=timings)
            timings["total"] = time.perf_counter() - t
            # CPU of this process (client and scheduler) and of every process of the local
            # cluster (workers and their program runs, reaped when the cluster closed)
            c1 = os.times()
            timings["cpu"] = (c1.user + c1.system + c1.children_user + c1.children_system
                              - c.user - c.system - c.children_user - c.children_system)
            shutil.rmtree(out)
            ideal = one / workers
            rounds.append({"ideal": ideal, "plain at once": together / ideal,
                           "realisations": timings["realisations"] / ideal,
                           "total": timings["total"] / ideal,
                           "cpu": timings["cpu"] / one_cpu})
            failed = int((ds["status"].values != 0).sum())
            print(f"round {k + 1}: plain runs one at a time {one:.2f} s (mean "
                  f"{1000 * one / n:.1f} ms), ideal {ideal:.2f} s; {workers} at a time "
                  f"{together:.2f} s = {together / ideal:.3f} x; ensemble "
                  + ", ".join(f"{p} {v:.2f} s" for p, v in timings.items() if p != "cpu")
                  + f"; realisations {rounds[-1]['realisations']:.3f} x, total "
                  f"{rounds[-1]['total']:.3f} x the ideal; {failed} failed", flush=True)
        split = cpu_split(plan, folder, workers)
        wall, own, child = worker_side(plan)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    med = {p: statistics.median(r[p] for r in rounds) for p in rounds[0]}
    print(f"median of {len(rounds)} rounds against the ideal (target 1.25): ensemble "
          f"{med['total']:.3f} x (realisations phase {med['realisations']:.3f} x); plain "
          f"runs {workers} at a time {med['plain at once']:.3f} x")
    print(f"worker side alone, serial: {wall * 1000:.1f} ms wall, {own * 1000:.1f} ms own CPU "
          f"(deck, console, results, clean-up), {child * 1000:.1f} ms program CPU")
    print("CPU per realisation on a running cluster: " + ", ".join(
        f"{k} {v * 1000:.1f} ms" for k, v in split.items()))
    print(f"  of the worker's: {own * 1000:.1f} ms the realisation's own work (as serial), "
          f"{(split['worker'] - own) * 1000:.1f} ms Dask's (and the same work's extra cost in "
          f"a larger process); overhead against the program's CPU on the cluster: "
          f"{(sum(split.values()) / split['program'] - 1) * 100:.1f} %")
    print(f"CPU of every process of the ensemble: {med['cpu']:.3f} x the CPU of the plain "
          f"runs one at a time")


if __name__ == "__main__":
    main()

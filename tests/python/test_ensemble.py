# Ensembles end to end on a tiny deck (a 15 x 4 x 3 grid over ten steps): failed runs
# recorded, realisations equal to single runs, resume, and a cluster of a scheduler and two
# workers started here on 127.0.0.1 giving the local cluster's numbers.
import json
import os
import signal
import subprocess
import time

import numpy as np
import pytest
import xarray as xr

from quilmar import Deck, Run
from quilmar.ensemble import OutputFolderError, run, same_values

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOLS = os.path.join(REPO, "tools", "quilmar")
PYTHON = "/usr/bin/python3"
PLAN = """deck = "tiny.deck"
realisations = {n}
seed = 11
[parameters.vd]
dist = "lognormal"
median = 10.0
gsd = 1.5
[parameters."decayf[1,2,1]"]
dist = "loguniform"
low = 0.1
high = 1.0
[parameters.porf]                # below 0 the program rejects the deck
dist = "uniform"
low = {porf_low}
high = 0.4
[scenarios.no_action]
xremove = 0.0
[scenarios.remove_90]
xremove = 0.9
[outputs]
control_planes = [25.0, 62.5]
limits = [0.005, 0.005, 0.07, 0.002]
"""


@pytest.fixture(scope="module")
def env():
    path = os.environ.get("QUILMAR_BINARY") or os.path.join(REPO, "build", "quilmar_v3")
    if not os.path.isfile(path):
        pytest.skip("no quilmar_v3 binary: set QUILMAR_BINARY or build into build/")
    before = os.environ.get("QUILMAR_BINARY")
    os.environ["QUILMAR_BINARY"] = path          # for the workers of the local clusters
    yield dict(os.environ, QUILMAR_BINARY=path, PYTHONPATH=os.path.join(REPO, "python"))
    if before is None:
        del os.environ["QUILMAR_BINARY"]
    else:
        os.environ["QUILMAR_BINARY"] = before


def make_case(folder, n, porf_low, nt=10):
    deck = Deck.read(os.path.join(REPO, "examples", "solvent_chain.deck")).replace(
        dx=10.0, nx=15, dy=2.0, ny=4, dz=1.0, nz=3, dt=20.0 / nt, nt=nt, npt=nt, lysource=2,
        lzsourcemax=3, lzsourcemin=1, xwell=62.5, ywell=1.0, zwelltop=2.5, zwellbot=0.5,
        x1=40.0, x2=80.0)
    deck.write(os.path.join(folder, "tiny.deck"))
    path = os.path.join(folder, "plan.toml")
    with open(path, "w") as f:
        f.write(PLAN.format(n=n, porf_low=porf_low))
    return path


@pytest.fixture(scope="module")
def client(env):
    from distributed import Client, LocalCluster
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                           host="127.0.0.1", dashboard_address="127.0.0.1:0",
                           worker_dashboard_address="127.0.0.1:0")
    c = Client(cluster)
    yield c
    c.close()
    cluster.close()


def test_failures_single_run_identity_and_resume(tmp_path, client, env):
    plan = make_case(str(tmp_path), n=6, porf_low=-0.15)
    out = str(tmp_path / "out")
    ds = run(plan, out, client=client, draw=False)
    assert not os.path.exists(os.path.join(out, "runs"))    # run folders removed unless kept
    st = ds["status"].values
    assert (st == 0).any() and (st == 2).any() and set(np.unique(st)) <= {0, 2}
    porf = ds["samples"].sel(parameter="porf").values
    assert ((st == 2) == (porf <= 0)).all()           # the same realisations in each scenario
    bad = st != 0
    assert np.isnan(ds["well"].values[bad]).all()
    assert all("porf" in m for m in ds["message"].values[bad])
    limit = np.array([0.005, 0.005, 0.07, 0.002])
    ok = ~bad[0]
    expect = (ds["well"].values[0, ok] > limit).mean(axis=0)
    assert np.array_equal(ds["exceedance"].values[0], expect)

    # realisation r of each scenario equals a single run of the deck with the same values
    r = int(np.flatnonzero(ok)[0])
    for s, xremove in enumerate((0.0, 0.9)):
        sets = [f"xremove={xremove!r}"] + [f"{p}={float(v)!r}" for p, v in
                                           zip(ds.parameter.values, ds["samples"].values[r])]
        single = str(tmp_path / f"single{s}")
        argv = [TOOLS, "run", os.path.join(str(tmp_path), "tiny.deck"), "--out", single,
                "--quiet"] + [a for kv in sets for a in ("--set", kv)]
        subprocess.run(argv, env=env, check=True, timeout=120, capture_output=True)
        one = Run.open(single)
        got = ds.isel(scenario=s, realisation=r)
        assert np.array_equal(got["well"].values, one.well.to_numpy())
        assert np.array_equal(got["matrix_mass"].values,
                              one.plume_mass.filter(like="matrix_").to_numpy())
        assert np.array_equal(got["aquifer_mass"].values,
                              one.plume_mass.filter(like="aquifer_").to_numpy())
        for i, x in enumerate(ds.plane.values):
            assert np.array_equal(got["discharge"].values[:, i], one.discharge_at(x).to_numpy())

    # a stop leaves some records missing: a new start runs those alone, to the same numbers
    parts = os.path.join(out, "parts")
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(parts) for f in fs)
    gone = files[1::4]
    for f in gone + [os.path.join(out, "ensemble.nc")]:
        os.remove(f)
    before = {f: os.stat(f).st_mtime_ns for f in files if f not in gone}
    again = run(plan, out, client=client, draw=False)
    assert same_values(ds, again)
    assert all(os.path.isfile(f) for f in gone)
    assert before == {f: os.stat(f).st_mtime_ns for f in before}
    assert same_values(ds, xr.open_dataset(os.path.join(out, "ensemble.nc")))

    # another plan is refused in this folder, and nothing in it is touched
    with open(plan) as f:
        text = f.read()
    with open(plan, "w") as f:
        f.write(text.replace("seed = 11", "seed = 12"))
    with pytest.raises(OutputFolderError, match="another plan"):
        run(plan, out, client=client, draw=False)
    assert same_values(ds, xr.open_dataset(os.path.join(out, "ensemble.nc")))


def _stop(procs):
    for p in procs:
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    for p in procs:
        try:
            p.wait(timeout=15)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(timeout=15)


def _listening(procs):
    """Local addresses of the TCP sockets the processes listen on (from /proc)."""
    inodes = set()
    for p in procs:
        fd_dir = f"/proc/{p.pid}/fd"
        for fd in os.listdir(fd_dir):
            target = os.readlink(os.path.join(fd_dir, fd))
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
    out = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            for line in f.readlines()[1:]:
                cols = line.split()
                if cols[3] == "0A" and cols[9] in inodes:      # state LISTEN
                    host, port = cols[1].split(":")
                    ip = ".".join(str(int(host[i:i + 2], 16)) for i in (6, 4, 2, 0)) \
                        if len(host) == 8 else host
                    out.append(f"{ip}:{int(port, 16)}")
    return out


def test_two_worker_cluster_equals_local_default(tmp_path, env):
    # One worker is killed while the ensemble runs: its realisations go to the other.
    plan = make_case(str(tmp_path), n=10, porf_low=0.2, nt=100)
    local, remote = str(tmp_path / "local"), str(tmp_path / "remote")
    cli = [TOOLS, "ensemble", plan, "--quiet"]
    done = subprocess.run(cli + ["--out", local], env=env, timeout=300, capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr
    for name in ("fan_no_action.png", "fan_remove_90.png", "exceedance.png",
                 "discharge_x25.png", "sensitivity.png", "summary.csv"):
        assert os.path.getsize(os.path.join(local, name)) > 0

    address_file = str(tmp_path / "scheduler.json")
    procs = []
    try:
        procs.append(subprocess.Popen(
            [PYTHON, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1", "--port",
             "0", "--dashboard-address", "127.0.0.1:0", "--scheduler-file", address_file],
            env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 60
        while not os.path.isfile(address_file) and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(0.5)
        with open(address_file) as f:
            address = json.load(f)["address"]
        assert address.startswith("tcp://127.0.0.1:")
        for k in range(2):
            procs.append(subprocess.Popen(
                [PYTHON, "-m", "distributed.cli.dask_worker", address, "--host", "127.0.0.1",
                 "--nthreads", "1", "--no-nanny", "--dashboard-address", "127.0.0.1:0",
                 "--local-directory",
                 str(tmp_path / f"w{k}")], env=dict(env, TMPDIR=str(tmp_path)),
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL))
        from distributed import Client
        with Client(address, timeout="30s") as c:
            c.wait_for_workers(2, timeout=60)
        assert _listening(procs) and all(a.startswith("127.0.0.1:") for a in _listening(procs))
        ensemble = subprocess.Popen(cli + ["--out", remote, "--scheduler", address,
                                           "--no-figures"], env=env, stderr=subprocess.PIPE,
                                    text=True)
        procs.append(ensemble)
        parts = os.path.join(remote, "parts")
        saved = 0
        deadline = time.monotonic() + 120
        while saved == 0 and ensemble.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
            saved = sum(len(fs) for _, _, fs in os.walk(parts))
        procs[2].kill()
        assert 0 < saved < 20, saved            # killed while realisations were under way
        _, err = ensemble.communicate(timeout=300)
        assert ensemble.returncode == 0, err
    finally:
        _stop(procs)
    a = xr.open_dataset(os.path.join(local, "ensemble.nc"))
    b = xr.open_dataset(os.path.join(remote, "ensemble.nc"))
    assert same_values(a, b) and (a["status"].values == 0).all()


def test_local_client_closed_before_results_are_written(tmp_path, env, monkeypatch):
    # xarray writes ensemble.nc under the locks of Dask's default client; the local
    # cluster's client, closing in the background, must not be that client any more.
    import quilmar.ensemble.driver as driver
    made, seen = [], []

    class Recording(driver.Cluster):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            made.append(self)

    def finish(*args, **kwargs):
        seen.append(made[0].client.status)
        return real_finish(*args, **kwargs)

    real_finish = driver.finish
    monkeypatch.setattr(driver, "Cluster", Recording)
    monkeypatch.setattr(driver, "finish", finish)
    plan = make_case(str(tmp_path), n=2, porf_low=0.2)
    ds = run(plan, str(tmp_path / "out"), workers=1, draw=False)
    assert seen == ["closed"] and (ds["status"].values == 0).all()


def test_realisations_whose_worker_had_no_program_run_again(tmp_path, client, env):
    def set_binary(path):
        os.environ["QUILMAR_BINARY"] = path

    plan = make_case(str(tmp_path), n=3, porf_low=0.2)
    out = str(tmp_path / "out")
    client.run(set_binary, str(tmp_path / "no_such_program"))
    try:
        broken = run(plan, out, client=client, draw=False)
    finally:
        client.run(set_binary, env["QUILMAR_BINARY"])
    assert (broken["status"].values == 5).all()
    mended = run(plan, out, client=client, draw=False)
    assert (mended["status"].values == 0).all()

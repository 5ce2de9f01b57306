# Results of an ensemble from its records (failed realisations left out of every statistic),
# the one-pass reading of result files the workers rely on, and the cutting of an
# ensemble into tasks.
import types

import numpy as np
import pytest

from quilmar import outputs
from quilmar.ensemble import results


def fake_plan(nreal):
    deck = types.SimpleNamespace(dt=1.0, nt=3, title="t")
    params = [types.SimpleNamespace(name=n, dist=types.SimpleNamespace(describe=lambda: "d"))
              for n in ("rises", "fixed")]
    return types.SimpleNamespace(
        scenarios={"a": {}}, realisations=nreal, control_planes=[10.0], parameters=params,
        deck=deck, deck_path="d", sampling="lhs", seed=1, limits=[0.5, np.nan, 0.5, 0.5],
        fingerprint=lambda: "f")


def record(level, status=0, nt=3):
    well = np.full((nt, 4), level)
    return {"status": status, "message": "" if status == 0 else "rejected",
            "time": np.arange(1.0, nt + 1), "well": well,
            "discharge": np.full((nt, 1, 4), 10 * level), "aquifer_mass": well,
            "matrix_mass": well * 2}


def test_failed_realisations_left_out_of_statistics():
    levels = [0.1, 0.2, 0.6, 0.8, 0.9]
    recs = [record(v) for v in levels] + [record(0.0, status=2), record(1.0, nt=2)]
    samples = np.array([[v, 3.0] for v in levels + [0.0, 1.0]])
    ds = results.assemble(fake_plan(len(recs)), samples, [recs])
    assert list(ds["status"].values[0]) == [0] * 5 + [2, 3]   # a short series is not kept
    assert np.isnan(ds["well"].values[0, 5:]).all()
    assert np.array_equal(ds["exceedance"].values[0, :, 0], [0.6] * 3)     # 3 of 5 above
    assert np.isnan(ds["exceedance"].values[0, :, 1]).all()               # no limit
    table = results.summary(ds)
    well = table[(table.quantity == "well") & (table.component == 1)]
    assert (well.n == 5).all() and np.allclose(well.p50, 0.6)
    rho = results.sensitivity(ds).set_index(["parameter", "target", "component"])
    assert rho.loc[("rises", "peak_well", 1), "rank_correlation"] == pytest.approx(1.0)
    assert np.isnan(rho.loc[("fixed", "final_matrix_mass", 2), "rank_correlation"])


def test_plain_result_lines_read_as_by_the_full_rules(tmp_path):
    rng = np.random.default_rng(3)
    values = rng.lognormal(0.0, 8.0, size=(50, 4))
    lines = [" Time, C1well, C2well, C3well, C4well"]
    for k, row in enumerate(values):
        fields = [f"{(k + 1) * 0.5:10.5f}"] + [
            f" 0.{int(round(abs(m) * 1e8)):08d}E{e:+03d}" for m, e in
            (((v / 10 ** np.floor(np.log10(v) + 1)), int(np.floor(np.log10(v) + 1)))
             for v in row)]
        lines.append(",".join(fields))
    (tmp_path / "obs_well.out").write_text("\n".join(lines) + "\n")
    fast = outputs.read_table(str(tmp_path), "obs_well.out")
    slow = np.array([[outputs.parse_field(f)[0] for f in line.split(",")] for line in lines[1:]])
    assert fast.values.tobytes() == slow.tobytes()
    # a field too wide for its width and a three-digit exponent take the full rules
    lines[7] = ",".join(f if c != 2 else "***************" for c, f in
                        enumerate(lines[7].split(",")))
    lines[9] = ",".join(f if c != 1 else "    0.10000-100" for c, f in
                        enumerate(lines[9].split(",")))
    (tmp_path / "obs_well.out").write_text("\n".join(lines) + "\n")
    mixed = outputs.read_table(str(tmp_path), "obs_well.out")
    assert mixed.overflow[6, 2] and np.isnan(mixed.values[6, 2])
    assert mixed.values[8, 1] == 1e-101
    slow[6, 2], slow[8, 1] = np.nan, 1e-101
    assert np.array_equal(mixed.values, slow, equal_nan=True)
    lines[11] = lines[11].replace(lines[11].split(",")[3], " 0.5E+0x")
    (tmp_path / "obs_well.out").write_text("\n".join(lines) + "\n")
    with pytest.raises(outputs.ResultFileError, match="line 12: field 4"):
        outputs.read_table(str(tmp_path), "obs_well.out")


def _field(v):
    """A value as the program writes it: 0.dddddddE+ee, or a bare three-digit exponent."""
    if v == 0.0:
        return "  0.00000000E+00"
    e = int(np.floor(np.log10(abs(v)))) + 1
    m = f"{'-' if v < 0 else ' '}0.{int(round(abs(v) / 10.0 ** e * 1e8)):08d}"
    return m + (f"E{e:+03d}" if abs(e) < 100 else f"{e:+04d}")


def _write(folder, name, header, rows):
    text = header + "\n" + "".join(",".join(row) + "\n" for row in rows)
    (folder / name).write_text(text)


def test_reduction_reads_the_run_tables_numbers(tmp_path):
    from quilmar import Run
    from quilmar.ensemble.reduce import reduce_folder
    rng = np.random.default_rng(5)
    nt, nx, planes = 5, 6, [2.5, 11.0, 27.5]
    t = [f"{0.5 * (k + 1):10.3f}" for k in range(nt)]
    conc = rng.lognormal(-5.0, 3.0, (nt, 8))
    q = rng.lognormal(2.0, 3.0, (nt, nx, 4))
    _write(tmp_path, "obs_well.out", " Time, C1well, C2well, C3well, C4well",
           [[t[k]] + [_field(v) for v in conc[k, :4]] for k in range(nt)])
    _write(tmp_path, "plume_mass.out", " Time,C1low,C1hi,C2low,C2hi,C3low,C3hi,C4low,C4hi",
           [[t[k]] + [_field(v) for v in conc[k]] for k in range(nt)])
    disc = [[t[k], f"{5.0 * i + 2.5:9.3f}"] + [_field(v) for v in q[k, i]]
            for k in range(nt) for i in range(nx)]
    _write(tmp_path, "discharge.out", " Time, X, Discharge1, Discharge2, Discharge3, "
           "Discharg4", disc)

    def same_as_run():
        run = Run(str(tmp_path))
        rec = reduce_folder(str(tmp_path), planes)
        mass = run.plume_mass
        expect = {"time": run.well.index.to_numpy(), "well": run.well.to_numpy(),
                  "aquifer_mass": mass.filter(like="aquifer_").to_numpy(),
                  "matrix_mass": mass.filter(like="matrix_").to_numpy(),
                  "discharge": np.stack([run.discharge_at(x).to_numpy() for x in planes], 1)}
        for k, v in expect.items():
            assert rec[k].shape == v.shape and np.array_equal(rec[k], v, equal_nan=True), k
        return rec

    assert not np.isnan(same_as_run()["discharge"]).any()
    # fields the one-pass reading leaves to the full rules: asterisks, a bare three-digit
    # exponent, an exponent too large for a double
    disc[7][3] = "***************"
    disc[8][4] = "    0.10000-100"
    _write(tmp_path, "discharge.out", " Time, X, Discharge1, Discharge2, Discharge3, "
           "Discharg4", disc)
    _write(tmp_path, "obs_well.out", " Time, C1well, C2well, C3well, C4well",
           [[t[k]] + [_field(v) for v in conc[k, :4]] + (["1E999"] if k == 2 else [])
            for k in range(nt)])
    with pytest.raises(outputs.ResultFileError, match="line 4: 6 fields"):
        reduce_folder(str(tmp_path), planes)
    _write(tmp_path, "obs_well.out", " Time, C1well, C2well, C3well, C4well",
           [[t[k]] + [_field(v) for v in conc[k, :3]] + ["  0.1E999" if k == 2 else
                                                         _field(conc[k, 3])]
            for k in range(nt)])
    rec = same_as_run()
    assert np.isnan(rec["discharge"][1, 1, 1]) and rec["well"][2, 3] == np.inf
    # a line cut short, a malformed field: named by the full reader
    _write(tmp_path, "discharge.out", " Time, X, Discharge1, Discharge2, Discharge3, "
           "Discharg4", disc[:-1])
    with pytest.raises(outputs.ResultFileError, match="not whole blocks of 6 columns"):
        reduce_folder(str(tmp_path), planes)
    disc[3][5] = " 0.5E+0x"
    _write(tmp_path, "discharge.out", " Time, X, Discharge1, Discharge2, Discharge3, "
           "Discharg4", disc)
    with pytest.raises(outputs.ResultFileError, match="line 5: field 6"):
        reduce_folder(str(tmp_path), planes)


def test_runs_stopped_by_a_signal_are_not_recorded(tmp_path, monkeypatch):
    import os
    from quilmar import Deck
    from quilmar.ensemble.realisation import Job, run_one
    repo = os.path.join(os.path.dirname(__file__), "..", "..")
    job = Job([Deck.read(os.path.join(repo, "examples", "solvent_chain.deck"))], ["s0"],
              [102.5], scratch=str(tmp_path))
    program = tmp_path / "program"
    monkeypatch.setenv("QUILMAR_BINARY", str(program))
    for status, stopped in ((143, True), (130, True), (2, False), (1, False)):
        program.write_text(f"#!/bin/sh\ncat >/dev/null\necho 'stop {status}' >&2\n"
                           f"exit {status}\n")
        program.chmod(0o755)
        rec = run_one(job, 0, 3, {"vd": 5.0})
        assert (rec["status"], rec["stopped"], rec["message"]) == (status, stopped,
                                                                   f"stop {status}")
    assert os.listdir(tmp_path) == ["program"]       # no scratch folder left behind


@pytest.mark.parametrize("n, workers", [(1, 2), (7, 2), (200, 2), (401, 3), (50, 64)])
def test_tasks_cover_every_realisation_and_end_one_by_one(n, workers):
    from quilmar.ensemble.execute import batch_sizes
    sizes = batch_sizes(n, workers)
    assert sum(sizes) == n and min(sizes) >= 1 and max(sizes) <= 12
    assert sizes == sorted(sizes, reverse=True)
    assert sizes[-min(n, 2 * workers):] == [1] * min(n, 2 * workers)
    if n >= 200:
        assert len(sizes) <= n / 6

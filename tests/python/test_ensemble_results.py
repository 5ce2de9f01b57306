# Results of an ensemble from its records (failed realisations left out of every statistic)
# and the one-pass reading of result files the workers rely on.
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

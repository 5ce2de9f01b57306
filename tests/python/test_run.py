# Tests of quilmar.run, the Run tables and `quilmar run` on a small cut of the solvent-chain
# example: the folder's files equal a direct run's byte for byte, the tables agree with the
# result files, and failures carry the program's status and message.
import filecmp
import os
import subprocess

import numpy as np
import pandas as pd
import pytest

import quilmar
from quilmar import Deck, Run, RunError
from quilmar.run_result import between_columns
from quilmar.runner import find_binary

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(REPO, "tools", "quilmar")
RESULTS = ["discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out", "console.txt"]


def small():
    return Deck.read(os.path.join(REPO, "examples", "solvent_chain.deck")).replace(
        nx=24, ny=4, nz=4, nt=6, npt=3)


@pytest.fixture(scope="module")
def small_run(tmp_path_factory):
    return quilmar.run(small(), str(tmp_path_factory.mktemp("small")), threads=1)


def direct(deck_path, folder):
    os.makedirs(folder)
    with open(deck_path, "rb") as deck, open(os.path.join(folder, "console.txt"), "wb") as out:
        status = subprocess.run([find_binary()], stdin=deck, stdout=out, cwd=folder).returncode
    assert status == 0
    return folder


def test_command_line_set_equals_a_hand_edited_deck(tmp_path):
    base = tmp_path / "base.deck"
    small().write(base)
    # The hand-edited deck: the record line of xremove changed in a text editor.
    lines = base.read_text().split("\n")
    assert lines[8].startswith("1.0  0.9  10.0  12.0")
    lines[8] = "1.0 0.5 10.0 12.0"
    lines[32] = "0.25 0.5 0.5"                         # decayf(1,2,1..3)
    hand = tmp_path / "hand.deck"
    hand.write_text("\n".join(lines))
    expect = direct(hand, str(tmp_path / "hand"))
    out = tmp_path / "set"
    proc = subprocess.run([TOOL, "run", str(base), "--set", "xremove=0.5",
                           "--set", "decayf[1,2,1]=0.25", "--out", str(out), "--threads", "2"],
                          capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert "6/6" in proc.stderr                      # the progress bar went through every step
    for name in RESULTS:
        assert filecmp.cmp(os.path.join(expect, name), out / name, shallow=False), name
    assert Deck.read(out / "run.deck") == Deck.read(hand)


@pytest.mark.parametrize("args, status, message", [
    (["--set", "lysource=9"], 2, "quilmar_v3: deck record 4, item 2 (lysource): 9 must lie in 1 to ny"),
    (["--set", "maxit=1"], 1, "quilmar_v3: "),
    (["--set", "nx=2.5"], 2, 'deck record 37, item 2 (nx): "2.5" is not an integer'),
    (["--set", "nosuch=1"], 2, "deck item nosuch: no such item"),
    (["--set", "xremove"], 2, "--set xremove: expected NAME=VALUE"),
    (["--out", "base.deck"], 2, "base.deck: File exists"),
])
def test_command_line_failures_exit_with_the_programs_status(tmp_path, args, status, message):
    base = tmp_path / "base.deck"
    small().write(base)
    proc = subprocess.run([TOOL, "run", str(base), "--out", str(tmp_path / "o"), *args,
                           "--quiet"], capture_output=True, text=True, timeout=300,
                          cwd=tmp_path)
    assert proc.returncode == status
    assert message in proc.stderr


def test_run_error_carries_status_message_and_the_written_files(tmp_path):
    with pytest.raises(RunError) as caught:
        quilmar.run(small().replace(zwelltop=99.0), str(tmp_path / "bad"))
    assert caught.value.status == 2
    assert "deck record 42, item 3 (zwelltop): 99 matches no layer" in caught.value.message
    assert os.path.isfile(tmp_path / "bad" / "console.txt")
    assert "zwelltop" in (tmp_path / "bad" / "messages.txt").read_text()


def test_tables_agree_with_the_result_files(small_run):
    run = Run.open(small_run.folder)
    assert run.deck == small()
    dis = run.discharge
    assert dis.shape == (6 * 24, 4) and list(dis.columns) == ["c1", "c2", "c3", "c4"]
    assert dis.index.names == ["time", "x"]
    np.testing.assert_array_equal(dis.index.levels[0], 0.5 * np.arange(1, 7))
    assert run.well.shape == (6, 4) and run.plume_mass.shape == (6, 8)
    assert (run.plume_mass.loc[3.0, "matrix_c1"] > 0) and run.plume_mass.loc[3.0, "aquifer_c1"] > 0
    snap = run.snapshots
    assert snap["c1"].dims == ("time", "x", "y", "z") and snap["c1"].shape == (2, 24, 4, 4)
    # The well averages its screened layers at its column and row (exact to the written digits).
    cells = run.deck.well_cells()
    at_well = snap["c2"].isel(x=cells.iwell - 1, y=cells.jwell - 1,
                              z=slice(cells.kwellbot - 1, cells.kwelltop)).mean("z")
    np.testing.assert_allclose(at_well, run.well["c2"].loc[[1.5, 3.0]], rtol=1e-4)


def test_discharge_between_column_centres(small_run):
    run, q = small_run, small_run.discharge.loc[3.0]
    np.testing.assert_array_equal(run.discharge_at(102.5, time=3.0), q.loc[102.5])
    np.testing.assert_allclose(run.discharge_at(100.0, time=3.0),
                               0.5 * (q.loc[97.5] + q.loc[102.5]), rtol=1e-15)
    np.testing.assert_allclose(run.discharge_at(99.0)["c1"].loc[3.0],
                               0.7 * q.loc[97.5, "c1"] + 0.3 * q.loc[102.5, "c1"], rtol=1e-15)
    np.testing.assert_array_equal(run.discharge_at(117.5, time=3.0), q.loc[117.5])
    for x in (2.4, 117.6):
        with pytest.raises(ValueError, match="outside the column centres"):
            run.discharge_at(x)
    # at a centre, a neighbour the program could not print (NaN) is not carried along
    xs = np.array([2.5, 7.5, 12.5])
    assert between_columns(xs, np.array([[[1.0], [2.0], [np.nan]]]), 7.5)[0, 0] == 2.0
    assert between_columns(xs[:2], np.array([[[np.nan], [3.0]]]), 7.5)[0, 0] == 3.0


def test_budget_table(small_run, tmp_path):
    folder = tmp_path / "copy"
    os.makedirs(folder)
    for name in RESULTS:
        (folder / name).write_bytes(open(os.path.join(small_run.folder, name), "rb").read())
    assert Run.open(folder).budget is None
    # The run's own budget.out: one line per step and component, at the steps of the files.
    b = small_run.budget
    assert b.shape == (6 * 4, 12) and list(b["component"][:4]) == [1, 2, 3, 4]
    np.testing.assert_array_equal(b["time"].unique(), small_run.well.index)
    header = ("time,component,released,out_downstream,out_lateral,decayed_aquifer,"
              "produced_aquifer,decayed_matrix,produced_matrix,change_aquifer,change_matrix,"
              "residual\n")
    (folder / "budget.out").write_text(header + "0.5,1,0.1,0,0,0,0,0,0,0,0,2.2250738585072014e-308\n")
    b = Run.open(folder).budget
    assert b.shape == (1, 12) and b["residual"][0] == 2.2250738585072014e-308
    assert b["component"].dtype == np.int64
    (folder / "budget.out").write_text("time,comp\n1,1\n")
    with pytest.raises(quilmar.outputs.ResultFileError, match="is not the header of budget.out"):
        Run.open(folder).budget
    # A run without the budget does not leave an earlier budget.out behind.
    quilmar.run(small().replace(nt=1), str(folder), budget=False)
    assert not os.path.exists(folder / "budget.out")
    assert isinstance(Run.open(folder).well, pd.DataFrame)

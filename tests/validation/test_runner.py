# The premises the validation cases rest on: what they read from the program's files is
# what they take it for, and the decks set up the conditions the exact solutions assume.
import os
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
from validation import run_all, runner  # noqa: E402
from validation.aquitard_loading import PORMS, matrix_deck  # noqa: E402


@pytest.fixture(scope="module")
def have_binary():
    try:
        runner.binary()
    except RuntimeError as err:
        pytest.skip(str(err))


def test_result_numbers_parse_in_every_printed_form():
    assert runner.number(" 0.12500E+02") == 12.5
    assert runner.number("-0.50000E-03") == -5e-4
    assert runner.number(" 0.10000-100") == pytest.approx(1e-101)
    assert runner.number(" 0.17977+309") == pytest.approx(1.7977e308)
    assert runner.number("   2.500") == 2.5


def test_loading_deck_holds_the_face_and_reports_the_matrix_mass(have_binary):
    # retardation 2: the stored amount of the progress line is per unit porosity and
    # retardation, and the mass file holds porms·R·(whole-plume area 2 m²)·amount
    run = runner.run(matrix_deck(1, 0.5, 40, retard=2.0, npt=1), read=("field", "mass"))
    stored = run.progress[:, 2]
    assert np.allclose(run.mass[:, 1], PORMS * 2.0 * 2.0 * stored, rtol=1e-7)
    assert np.abs(run.field[:, 4] - 1.0).max() < 1e-4          # face at the source value


def test_release_deck_removes_the_whole_source_at_t1(have_binary):
    run = runner.run(matrix_deck(1, 1.0, 30, removal=20.0, npt=1))
    conc = run.field[:, 4]
    assert conc[19] == pytest.approx(1.0, abs=1e-4)              # t = 20: still on
    assert conc[20:].max() < 1e-3                                # afterwards only release


def test_constant_source_stays_constant(have_binary):
    run = runner.run(dict(porf=0.25, alphax=0.1, vd=0.25, nx=3, dt=500.0, nt=4, npt=1))
    # pure upwind with no decay: every cell at the source concentration at steady state
    assert np.allclose(run.field[run.field[:, 0] == 2000.0, 4], 1.0, atol=1e-9)


def test_failures_are_reported_not_hidden(have_binary, tmp_path, capsys, monkeypatch):
    with pytest.raises(RuntimeError, match="status 2"):
        runner.run(dict(dx=0.0))
    monkeypatch.setenv("QUILMAR_BINARY", str(tmp_path / "missing"))
    code = run_all.main(["--quick", "--case", "steady_decay", "--docs", str(tmp_path),
                         "--csv", str(tmp_path / "r.csv")])
    assert code == 2
    assert "validate:" in capsys.readouterr().err
    assert not (tmp_path / "validation.md").exists()

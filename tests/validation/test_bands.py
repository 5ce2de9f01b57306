# The quick subset of the validation: the program against the exact solutions, asserting
# every measured value the report's error bands rest on.
import csv
import os
import sys

import pytest

sys.path.insert(0, os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
from validation import bands, run_all, runner  # noqa: E402


@pytest.fixture(scope="module")
def cases():
    try:
        runner.binary()
    except RuntimeError as err:
        pytest.skip(str(err))
    return run_all.run_cases(quick=True)


def test_every_band_holds(cases):
    checks = bands.evaluate(cases)
    assert len(checks) >= 40          # every rule with measured values is exercised
    over = [f"{rule.split(' (')[0]}, {what}: {value:.4f} > {limit}"
            for rule, what, value, limit in checks if value > limit]
    assert not over, "\n".join(over)


def test_scheme_reproduces_its_own_steady_solution(cases):
    # to the printed five digits: a change to any coefficient of the cell balance shows
    for r in cases["steady_decay"].summary["results"]:
        assert r["err_discrete"] < 5.5e-5, (r["dx"], r["rate"])
    for r in cases["chain_steady"].summary["results"]:
        assert max(r["err_discrete"]) < 5.5e-5, r["dx"]


def test_source_face_is_the_inlet_the_report_names(cases):
    for r in cases["ogata_banks"].summary["results"]:
        if r["peclet"] <= 1 and r["courant"] == 0.1:
            # first type at −dx/2 explains most of the residual
            assert r["err_shift"] < 0.3 * r["err"], r
        if r["peclet"] >= 2:
            # no dispersive exchange with the source plane: a flux inlet fits better
            assert r["err_flux"] < r["err_shift"], r
        # the 50 % front lags by about (dx + v·dt)/2 (dx = 1 m, v = 1 m/yr)
        if r["peclet"] <= 2:
            assert 0.45 < r["lag"] / (1 + r["courant"]) < 0.65, (r["peclet"], r["courant"])


def test_matrix_ratios_stay_where_the_report_puts_them(cases):
    loading = cases["aquitard_loading"].summary["results"][0]["ratio"]
    assert loading[0] == pytest.approx(0.823, abs=0.005)
    assert loading[-1] == pytest.approx(12 / 11 * (3.14159265 ** 0.5) / 2, abs=0.003)
    for r in cases["aquitard_release"].summary["results"]:
        assert 0.38 < bands._after(r, "stored", 80.0) < 0.52       # empties too early
        assert 1.4 < bands._after(r, "rate", 20.0) < 1.65          # over-releases later
    for r in cases["slab_uptake"].summary["results"]:
        assert r["model"].max() <= 1.0                             # never overfills


def test_command_writes_page_and_table(cases, tmp_path):
    checks = run_all.write_outputs(cases, str(tmp_path), str(tmp_path / "results.csv"), 1.0,
                                   True)
    with open(tmp_path / "results.csv") as handle:
        rows = list(csv.DictReader(handle))
    assert list(rows[0]) == ["case", "quantity", "where", "model", "exact", "ratio"]
    assert {r["case"] for r in rows} == set(cases)
    ratio = [r for r in rows if r["exact"] not in ("0", "nan")][0]
    assert float(ratio["ratio"]) == pytest.approx(float(ratio["model"]) / float(ratio["exact"]),
                                                  rel=1e-5)
    page = (tmp_path / "validation.md").read_text()
    for rule in bands.RULES:
        assert rule["quantity"] in page
    for case in cases.values():
        for name, _ in case.figures:
            assert (tmp_path / "validation" / name).stat().st_size > 1000
            assert f"(validation/{name})" in page
    assert "EXCEEDED" not in page and len(checks) > 0


def test_check_advice_agrees_with_measured_errors(cases):
    # `quilmar check` warns exactly where the validation measured more than 5 %: fronts
    # 20 cells out, and steady decaying plumes on grids with dx <= 2*alphax.
    from quilmar import advice
    from validation import ogata_banks, steady_decay

    def rules(items):
        return {a.rule for a in advice.advise(runner.BASE.replace(**items))}
    for r in cases["ogata_banks"].summary["results"]:
        if r["t"] == 20.0:
            flagged = rules(ogata_banks.deck_items(r["peclet"], r["courant"], (20.0,)))
            assert bool(flagged & {"peclet", "courant"}) == (r["err"] > 0.05), \
                (r["peclet"], r["courant"], r["err"])
    for r in cases["steady_decay"].summary["results"]:
        flagged = rules(steady_decay.steady_deck(r["dx"], (r["rate"], 0, 0, 0)))
        assert ("cell_decay" in flagged) == (r["err_user"] > 0.05), (r["dx"], r["rate"])

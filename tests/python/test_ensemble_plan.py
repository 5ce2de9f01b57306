# Ensemble plans and sampling: faults named with their line before anything runs; sampled
# values inside their bounds, stratified, reproducible.
import os

import numpy as np
import pytest

from quilmar.ensemble.distributions import Distribution
from quilmar.ensemble.sampling import sample, uniforms
from quilmar.ensemble.plan import PlanError, read_plan

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DECK = os.path.join(REPO, "examples", "solvent_chain.deck").replace("\\", "/")
GOOD = f'''deck = "{DECK}"
realisations = 4
[parameters.vd]
dist = "lognormal"
median = 10.0
gsd = 1.5
[scenarios.a]
xremove = 0.5
'''


def write(tmp_path, text):
    path = tmp_path / "plan.toml"
    path.write_text(text)
    return str(path)


@pytest.mark.parametrize("change, line, words", [
    (("[parameters.vd]", "[parameters.vdd]"), 3, "no such item"),
    (('dist = "lognormal"', 'dist = "weibull"'), 4, "not one of"),
    (("gsd = 1.5", "gsd = 1.5\nhigh = -1.0"), 3, "exclude every value"),
    (("gsd = 1.5", "gsd = 0.5"), 6, "must be above 1"),
    (("gsd = 1.5", "gsd = 1.5\nmode = 3"), 7, "not mode"),
    (("[parameters.vd]", "[parameters.czero]"), 3, '"czero[1]"'),
    (("[parameters.vd]", "[parameters.dt]"), 3, "time steps"),
    (("xremove = 0.5", "vd = 3.0"), 8, "also sampled"),
    (("xremove = 0.5", "nx = 2.5"), 8, "not an integer"),
    (("realisations = 4", "realisations = 0"), 2, "at least 1"),
    (("realisations = 4", "realisations = 4\nsamplin = 'lhs'"), 3, "unknown key"),
    (("[scenarios.a]", "[outputs]\ncontrol_planes = [5000.0]\n[scenarios.a]"), 8,
     "outside the column centres"),
    (("[scenarios.a]", "[outputs]\nlimits = [1, 2]\n[scenarios.a]"), 8, "one per component"),
    (("[scenarios.a]", "[outputs]\ncontrol_planes = []\n[scenarios.a]"), 8, "at least one x"),
    (("xremove = 0.5", "xremove = [0.5"), None, "not valid TOML"),
])
def test_plan_faults_named_with_their_line(tmp_path, change, line, words):
    path = write(tmp_path, GOOD.replace(*change))
    with pytest.raises(PlanError) as err:
        read_plan(path)
    text = str(err.value)
    assert words in text
    if line is not None:
        assert text.startswith(f"{path} line {line}:"), text


def test_plan_reads_items_scenarios_and_defaults(tmp_path):
    plan = read_plan(write(tmp_path, GOOD + '[parameters."decayf[1,2,1]"]\ndist = "constant"\n'
                                          'value = 0.25\n[parameters.lysource]\n'
                                          'dist = "uniform"\nlow = 1\nhigh = 3\n'))
    assert [p.name for p in plan.parameters] == ["vd", "decayf[1,2,1]", "lysource"]
    assert [p.integer for p in plan.parameters] == [False, False, True]
    assert plan.scenario_decks["a"].xremove == 0.5 and plan.deck.xremove == 0.9
    assert plan.sampling == "lhs" and plan.control_planes == [102.5] and plan.limits is None
    values = sample(plan.parameters, 50, "lhs", 3)
    assert (values[:, 1] == 0.25).all()
    assert set(values[:, 2]) <= {1.0, 2.0, 3.0}          # integer items take whole numbers


def test_sampling_bounds_strata_and_seed():
    u = uniforms(40, 3, "lhs", 5)
    for j in range(3):    # one value in each of the 40 strata of every input
        assert sorted(np.floor(u[:, j] * 40).astype(int)) == list(range(40))
    assert np.array_equal(u, uniforms(40, 3, "lhs", 5))
    assert not np.array_equal(u, uniforms(40, 3, "lhs", 6))
    r = uniforms(1000, 1, "random", 1)
    assert 0.0 < r.min() and r.max() < 1.0
    p = np.linspace(0.001, 0.999, 999)
    cases = [
        (Distribution("normal", {"mean": 0.0, "sd": 1.0, "low": 9.0, "high": 10.0}), 9.0, 10.0),
        (Distribution("normal", {"mean": 0.0, "sd": 1.0, "low": -30.0, "high": -29.0}),
         -30.0, -29.0),
        (Distribution("lognormal", {"median": 20.0, "gsd": 2.0, "high": 25.0}), 0.0, 25.0),
        (Distribution("triangular", {"low": 1.0, "mode": 1.0, "high": 4.0}), 1.0, 4.0),
        (Distribution("loguniform", {"low": 1e-3, "high": 1e3}), 1e-3, 1e3),
    ]
    for dist, low, high in cases:
        x = dist.ppf(p)
        assert low <= x.min() and x.max() <= high, dist.describe()
        assert (np.diff(x) > 0).all(), dist.describe()   # far tails do not collapse to a bound
    assert Distribution("lognormal", {"median": 20.0, "gsd": 2.0}).ppf(0.5) == pytest.approx(20.0)
    assert Distribution("loguniform", {"low": 1e-3, "high": 1e3}).ppf(0.5) == pytest.approx(1.0)


def test_output_folders_that_cannot_take_the_ensemble_are_refused(tmp_path):
    from quilmar.ensemble.store import OutputFolderError, Store
    plan = read_plan(write(tmp_path, GOOD))
    (tmp_path / "a_file").write_text("x")
    (tmp_path / "theirs").mkdir()
    (tmp_path / "theirs" / "notes.txt").write_text("x")
    for name, words in (("a_file", "is a file"), ("theirs", "not empty")):
        with pytest.raises(OutputFolderError, match=words):
            Store(str(tmp_path / name), plan)
    assert (tmp_path / "a_file").read_text() == "x"
    assert os.listdir(tmp_path / "theirs") == ["notes.txt"]

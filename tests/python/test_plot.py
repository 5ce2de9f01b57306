# Tests of the plot command (quilmar plot, and tools/plot_run.py which runs it) on runs of
# small decks: it must read every field the program can write, draw all figures, and name
# the file, line and field when something is wrong.
import contextlib
import glob
import io
import math
import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(REPO, "tools", "plot_run.py")
sys.path.insert(0, os.path.join(REPO, "python"))
from quilmar import outputs  # noqa: E402
from quilmar import plot as plot_module  # noqa: E402

FIGURES = ["breakthrough.png", "discharge.png", "plume_mass.png", "plan.png", "section.png"]


def binary():
    path = os.environ.get("QUILMAR_BINARY")
    if path:
        return path
    found = sorted(glob.glob(os.path.join(REPO, "build*", "quilmar_v3")))
    if not found:
        pytest.skip("no quilmar_v3 binary: set QUILMAR_BINARY or build into build/")
    return found[0]


# A small scenario: 8 x 3 x 3 cells, a four-member chain, every kind of matrix (code 7).
BASE = {
    1: "100 0 0 0", 2: "1e6 0 0 0", 3: "1.0 0.5 1.0 2.0", 4: "0.01 2 3 1 10",
    5: "0.3 0.5 2.0 0.2 0.02", 6: "2 1.5 1.2 1", 7: "10 25", 8: "0 0", 9: "0.79 0.74 0.64",
    22: "7 0.4 0.3 0.03 0 0.8 0.1", 23: "3 2 1.5 1.2", 24: "0.79 0.74 0.64",
    37: "5 8", 38: "2 3", 39: "1 3", 40: "0.5 6 3", 41: "1e-8 300",
    42: "12.5 1.0 2.5 0.5",
}
for rec in range(10, 22):
    BASE[rec] = "0.3 0 0"          # decay in the aquifer, every component and zone
for rec in range(25, 37):
    BASE[rec] = "0.05 0 0"         # decay in the matrix


def deck_text(title, changes=None):
    values = {**BASE, **(changes or {})}
    lines = []
    for rec in range(1, 43):
        lines += [title if rec == 1 else f"record {rec}", "", values[rec]]
    return "\n".join(lines) + "\n"


def run_deck(folder, title, changes=None, status=0):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "console.txt"), "w") as console:
        proc = subprocess.run([binary()], input=deck_text(title, changes), text=True,
                              stdout=console, stderr=subprocess.PIPE, cwd=folder, timeout=120)
    assert proc.returncode == status, proc.stderr
    return folder


class Outcome:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def plot(run_dir, *options):
    """The tool on a run folder, in this process (matplotlib is imported once)."""
    out = os.path.join(run_dir, "png")
    stdout, stderr = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(stdout), contextlib.redirect_stderr(stderr):
        code = plot_module.main([run_dir, "-o", out, *options])
    return Outcome(code, stdout.getvalue(), stderr.getvalue()), out


def plot_command(*args):
    """The tool as a user runs it, in a process of its own."""
    return subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True,
                          timeout=300, env=dict(os.environ, MPLBACKEND="Agg"))


def made(out):
    return sorted(f for f in FIGURES if os.path.isfile(os.path.join(out, f)))


def assert_png(path):
    with open(path, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n", path
    assert os.path.getsize(path) > 5000, path


@pytest.fixture(scope="module")
def base_run(tmp_path_factory):
    return run_deck(str(tmp_path_factory.mktemp("base")), "Small chain over clay, code 7")


@pytest.fixture
def run_copy(base_run, tmp_path):
    dst = str(tmp_path / "run")
    shutil.copytree(base_run, dst, ignore=shutil.ignore_patterns("png"))
    return dst


def rewrite_field(path, line_no, field_no, text):
    """Replace one comma-separated field (1-based line and field numbers), keeping its width."""
    with open(path) as f:
        lines = f.read().splitlines()
    fields = lines[line_no - 1].split(",")
    width = len(fields[field_no - 1])
    fields[field_no - 1] = text.rjust(width)
    lines[line_no - 1] = ",".join(fields)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


# --- reading single fields ---------------------------------------------------------------

@pytest.mark.parametrize("text, value", [
    (" 0.12500E+02", 12.5),
    ("-0.12500E+02", -12.5),
    (" 0.00000E+00", 0.0),
    (" 0.10000-100", 1e-101),
    (" 0.17977+309", 1.7977e308),
    ("-0.49407-323", -4.9407e-324),
    (" 0.12345678E-03", 1.2345678e-4),
    ("   2.500", 2.5),
    ("  -0.500", -0.5),
    (".500", 0.5),
    ("-.500", -0.5),
    ("9999.999", 9999.999),
    ("  10.00000", 10.0),
    ("    Infinity", math.inf),
    ("   -Infinity", -math.inf),
    ("     Inf", math.inf),
    ("    -Inf", -math.inf),
])
def test_field_values(text, value):
    got, overflow = outputs.parse_field(text)
    assert not overflow
    assert got == pytest.approx(value, rel=1e-12, abs=0)


@pytest.mark.parametrize("text, overflow", [("         NaN", False), ("********", True),
                                            ("************", True)])
def test_fields_without_a_value_read_as_nan(text, overflow):
    got, flag = outputs.parse_field(text)
    assert math.isnan(got) and flag == overflow


@pytest.mark.parametrize("text", ["", "   ", "abc", "0.1E", "0.10000-10", "1.2.3", "nan",
                                  "inf", "0x10", "**1", "1,5", "0.5 E+01"])
def test_fields_that_are_not_numbers(text):
    with pytest.raises(ValueError):
        outputs.parse_field(text)


# --- a whole run -------------------------------------------------------------------------

def test_all_figures_from_a_run(base_run):
    out = os.path.join(base_run, "png")
    proc = plot_command(base_run, "-o", out, "--names", "PCE,TCE,DCE,VC")
    assert proc.returncode == 0, proc.stderr
    assert made(out) == sorted(FIGURES)
    for f in FIGURES:
        assert_png(os.path.join(out, f))
        assert f"wrote {os.path.join(out, f)}" in proc.stdout


def test_log_scale_and_chosen_views(base_run):
    proc, out = plot(base_run, "--log", "--time", "1.5", "--layer", "3", "--row", "2",
                     "--times", "0.5,3", "--components", "2,4", "--units", "ft,d,lb")
    assert proc.returncode == 0, proc.stderr
    assert made(out) == sorted(FIGURES)


def test_grid_and_steps_rebuilt_from_the_files(base_run):
    snap = outputs.read_snapshots(base_run)
    assert snap["c"].shape == (2, 8, 3, 3, 4)
    np.testing.assert_allclose(snap["time"], [1.5, 3.0])
    np.testing.assert_allclose(snap["x"], 2.5 + 5 * np.arange(8))
    np.testing.assert_allclose(snap["y"], [1, 3, 5])
    np.testing.assert_allclose(snap["z"], [0.5, 1.5, 2.5])
    dis = outputs.read_discharge(base_run)
    assert dis["q"].shape == (6, 8, 4)
    np.testing.assert_allclose(dis["time"], 0.5 * np.arange(1, 7))
    # Each column's discharge is 2 vd dy dz times the sum of its cells' concentrations:
    # holds only if the lines of both files were put back in the right cells and steps.
    for s, step in ((0, 2), (1, 5)):
        expect = 2 * 10 * 2 * 1 * snap["c"][s].sum(axis=(1, 2))
        np.testing.assert_allclose(dis["q"][step], expect, rtol=2e-4)
    well = outputs.read_well(base_run)
    np.testing.assert_allclose(well["conc"][2], snap["c"][0, 2, 0, 0:3].mean(axis=0), rtol=1e-4)
    pm = outputs.read_plume_mass(base_run)
    assert pm["matrix"].shape == pm["aquifer"].shape == (6, 4)
    assert (pm["matrix"][-1] > 0).all() and (pm["aquifer"][-1] > 0).all()


def test_console_gives_title_and_deck_values(base_run):
    info = outputs.read_console(os.path.join(base_run, "console.txt"))
    assert info["title"] == "Small chain over clay, code 7"
    assert info["records"][3] == [1.0, 0.5, 1.0, 2.0]
    assert info["records"][42] == [12.5, 1.0, 2.5, 0.5]


def test_three_digit_exponents_of_a_run(tmp_path):
    run = run_deck(str(tmp_path / "huge"), "Huge concentrations",
                   {1: "1e150 0 0 0", 2: "1e155 0 0 0"})
    with open(os.path.join(run, "Quilmar.out")) as f:
        text = f.read()
    assert re.search(r" 0\.\d{5}\+1\d\d,", text), "the run wrote no three-digit exponent"
    snap = outputs.read_snapshots(run)
    assert 1e140 < np.nanmax(snap["c"][..., 0]) < 1e151
    proc, out = plot(run, "--log")
    assert proc.returncode == 0, proc.stderr
    assert made(out) == sorted(FIGURES)


def test_a_run_that_overflows_stops_before_its_values_turn_nan(tmp_path):
    # The program stops a step whose values are not finite (status 1) and keeps only the
    # steps before it: here none, so every file holds its header alone. The tool names
    # each file as holding no data and makes no figure from it, without a traceback.
    run = run_deck(str(tmp_path / "nan"), "Overflowing source",
                   {1: "1e150 0 0 0", 2: "1e160 0 0 0"}, status=1)
    for name in ("discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"):
        with open(os.path.join(run, name)) as f:
            assert len(f.read().splitlines()) == 1, name
    proc, out = plot(run, "--log")
    assert proc.returncode == 1 and made(out) == []
    assert "no data" in proc.stderr and "Traceback" not in proc.stderr


def test_times_beyond_the_field_width(tmp_path):
    # Times of 10000 and more are written as asterisks; the tool rebuilds them.
    run = run_deck(str(tmp_path / "long"), "Long steps", {40: "4000 3 1"})
    with open(os.path.join(run, "obs_well.out")) as f:
        assert f.read().splitlines()[3].startswith("**********,")
    np.testing.assert_allclose(outputs.read_well(run)["time"], [4000, 8000, 12000])
    np.testing.assert_allclose(outputs.read_discharge(run)["time"], [4000, 8000, 12000])
    np.testing.assert_allclose(outputs.read_snapshots(run)["time"], [4000, 8000, 12000])
    proc, out = plot(run)
    assert proc.returncode == 0, proc.stderr
    assert "written as asterisks" in proc.stderr
    assert made(out) == sorted(FIGURES)


def test_nan_infinity_and_asterisk_values(run_copy):
    well = os.path.join(run_copy, "obs_well.out")
    rewrite_field(well, 3, 2, "NaN")
    rewrite_field(well, 4, 3, "Infinity")
    rewrite_field(well, 5, 4, "-Inf")
    rewrite_field(well, 6, 5, "*" * 15)
    conc = os.path.join(run_copy, "Quilmar.out")
    rewrite_field(conc, 2, 5, "NaN")
    rewrite_field(conc, 3, 6, "-Infinity")
    rewrite_field(conc, 40, 5, "Inf")
    w = outputs.read_well(run_copy)["conc"]
    assert math.isnan(w[1, 0]) and w[2, 1] == math.inf and w[3, 2] == -math.inf
    assert math.isnan(w[4, 3])
    c = outputs.read_snapshots(run_copy)["c"]
    assert math.isnan(c[0, 0, 0, 0, 0]) and c[0, 0, 0, 1, 1] == -math.inf
    for options in ((), ("--log",)):
        proc, out = plot(run_copy, *options)
        assert proc.returncode == 0, proc.stderr
        assert made(out) == sorted(FIGURES)
        assert "obs_well.out: 1 value field(s) written as asterisks" in proc.stderr


# --- files that are missing or malformed -------------------------------------------------

def test_missing_file_is_named_and_the_other_figures_are_made(run_copy):
    os.remove(os.path.join(run_copy, "obs_well.out"))
    proc, out = plot(run_copy)
    assert proc.returncode == 1
    assert "breakthrough.png not made" in proc.stderr
    assert "obs_well.out: missing result file" in proc.stderr
    assert made(out) == sorted(set(FIGURES) - {"breakthrough.png"})


@pytest.mark.parametrize("damage, message", [
    (lambda p: rewrite_field(p, 5, 3, "abc"),
     "discharge.out line 5: field 3 (Discharge1) 'abc' is not a number"),
    (lambda p: rewrite_field(p, 7, 4, "0.1234E"),
     "discharge.out line 7: field 4 (Discharge2) '0.1234E' is not a number"),
    (lambda p: open(p, "a").write("   3.500,    2.500,  0.1E+01\n"),
     "discharge.out line 50: 3 fields, discharge.out lines have 6"),
    (lambda p: open(p, "a").write("   3.500,    2.500,  0.1E+01,  0.1E+01,  0.1E+01,  0.1E+01\n"),
     "49 data lines are not whole blocks of 8 columns"),
    (lambda p: open(p, "w").write(" Time, X, Discharge1, Discharge2, Discharge3, Discharg4\n"),
     "discharge.out: header line only, no data"),
    (lambda p: open(p, "w").write(" Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4\n   0.500, 2.5\n"),
     "discharge.out line 1: header 'Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4' is not the header of discharge.out"),
    (lambda p: open(p, "w").close(), "discharge.out: empty file"),
])
def test_malformed_file_is_named_with_line_and_field(run_copy, damage, message):
    damage(os.path.join(run_copy, "discharge.out"))
    proc, out = plot(run_copy)
    assert proc.returncode == 1
    assert "discharge.png not made" in proc.stderr
    assert message in proc.stderr
    assert made(out) == sorted(set(FIGURES) - {"discharge.png"})


def test_no_snapshot_and_a_layer_outside_the_grid(run_copy, tmp_path):
    proc, out = plot(run_copy, "--layer", "4")
    assert proc.returncode == 1
    assert "layer 4 is not in the grid (layers 1 to 3)" in proc.stderr
    with open(os.path.join(run_copy, "Quilmar.out"), "w") as f:
        f.write(" Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4\n")
    proc, out = plot(run_copy)
    assert proc.returncode == 1
    assert "plan.png and section.png not made" in proc.stderr
    assert "Quilmar.out: header line only" in proc.stderr
    proc = plot_command(str(tmp_path / "nowhere"))
    assert proc.returncode == 2 and "no such folder" in proc.stderr


# --- deck marks, limits, names and the edge warning ----------------------------------------

from quilmar import plot_maps  # noqa: E402


@pytest.mark.parametrize("options, error", [
    (("--names", "A,B,C,D,E"), "at most 4"), (("--names", "PCE,,DCE"), "an empty item"),
    (("--limit", "0.005,-1"), "positive"), (("--limit", "1,2,3,4,5"), "at most 4"),
    (("--edge-fraction", "0"), "positive"),
])
def test_bad_options_are_usage_errors(base_run, options, error):
    proc = plot_command(base_run, *options)
    assert proc.returncode == 2 and error in proc.stderr


def test_one_component_run_named_alone_with_a_limit(tmp_path):
    run = run_deck(str(tmp_path / "one"), "TCE alone", {9: "0 0 0", 24: "0 0 0"})
    proc, out = plot(run, "--names", "TCE", "--limit", "0.005", "--log")
    assert proc.returncode == 0, proc.stderr
    assert made(out) == sorted(FIGURES)
    st = plot_module.Style(plot_module.parse_args([run, "--names", "TCE", "--limit", ",0.07"]),
                           None)
    assert st.names == ["TCE", "component 2", "component 3", "component 4"]
    assert st.limits[:4] == [None, 0.07, None, None]


def test_the_small_grid_is_reported_and_the_example_is_not(base_run, tmp_path):
    proc, _ = plot(base_run)
    assert "warning: the plume reaches the last column (x = 37.5 m)" in proc.stderr
    assert "warning: the plume reaches the outer row (y = 5 m)" in proc.stderr
    assert "of the source concentration, 100 g/m³" in proc.stderr and proc.returncode == 0
    assert "warning" not in plot(base_run, "--edge-fraction", "0.9")[0].stderr
    run = str(tmp_path / "example")
    os.makedirs(run)
    with open(os.path.join(REPO, "examples", "solvent_chain.deck")) as deck, \
            open(os.path.join(run, "console.txt"), "w") as console:
        subprocess.run([binary()], stdin=deck, stdout=console, cwd=run, check=True, timeout=120)
    proc, out = plot(run)
    assert proc.returncode == 0 and "warning" not in proc.stderr, proc.stderr


def test_edge_warning_without_a_deck_echo_and_with_one_row():
    st = plot_module.Style(plot_module.parse_args(["x", "--names", "PCE,TCE"]), None)
    c = np.zeros((2, 4, 1, 2, 4))
    c[1, 0, 0, 0, 0] = 10.0                    # the peak, away from the edges
    c[0, 3, 0, 1, 1] = 0.5                     # TCE at the last column, 5 % of the peak
    c[1, 3, 0, 0, 2] = np.nan
    snap = {"c": c, "x": [1, 3, 5, 7], "y": [1], "time": [1.0, 2.0]}
    [w] = plot_maps.edge_warnings(snap, st, 0.01)
    assert w.startswith("the plume reaches the last column (x = 7 m) with TCE at 0.5 g/m³ "
                        "(layer 2, row 1, t = 1 yr), 5 % of the highest concentration of the "
                        "snapshots, 10 g/m³")
    assert plot_maps.edge_warnings(snap, st, 0.05) == []


def test_map_colours_stay_apart_at_the_top_of_the_scale():
    def lightness(rgb):
        lin = [v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4 for v in rgb[:3]]
        return 116 * (0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2]) ** (1 / 3) - 16
    cmap = plot_maps.map_colours()
    steps = [lightness(cmap(v)) for v in np.linspace(0, 1, 11)]
    assert all(a > b for a, b in zip(steps, steps[1:]))      # darker with concentration
    assert steps[-1] > 20 and steps[-2] - steps[-1] > 4      # the top is no black patch


@pytest.mark.parametrize("code, below, above", [(7, True, True), (1, True, False),
                                                (3, False, True), (2, False, False)])
def test_marks_of_the_deck_on_the_maps(base_run, tmp_path, monkeypatch, code, below, above):
    figures = {}
    monkeypatch.setattr(plot_maps, "save", lambda fig, out: figures.update({out: fig}))
    st = plot_module.Style(plot_module.parse_args([base_run, "--layer", "2"]),
                           outputs.read_console(os.path.join(base_run, "console.txt")))
    assert st.zones == (10.0, 25.0) and st.mdflag == 7
    st.mdflag = code
    plot_maps.fig_maps(outputs.read_snapshots(base_run), st, "plan", "section", None, 2, 1, [])
    plan, section = figures["plan"].axes[0], figures["section"].axes[0]
    # The well is one point in plan view at its x and y; on the section, its screen.
    points = [ln for ln in plan.lines if len(ln.get_xdata()) == 1]
    assert [(p.get_xdata()[0], p.get_ydata()[0]) for p in points] == [(12.5, 1.0)]
    bars = [ln for ln in section.lines if list(ln.get_xdata()) == [12.5, 12.5]]
    assert [list(b.get_ydata()) for b in bars] == [[0.5, 2.5]]
    zones = {ln.get_xdata()[0] for ln in plan.lines if ln.get_linestyle() == "--"}
    assert zones == {10.0, 25.0}
    lo, hi = section.get_ylim()
    assert (lo < 0) == below and (hi > 3) == above
    assert ("embedded" in figures["section"]._suptitle.get_text()) == (code in (2, 7))
    plot_maps.plt.close("all")

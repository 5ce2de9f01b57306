# Tests of `quilmar check` and the discretisation advice: the listing by name, the resolved
# cells, warnings (surplus values, the program's own, advice) and the program's rejections.
import os
import subprocess

import pytest

from quilmar import Deck, advice
from quilmar import check

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(REPO, "tools", "quilmar")
EXAMPLE = os.path.join(REPO, "examples", "solvent_chain.deck")


def run_check(capsys, tmp_path, deck):
    path = tmp_path / "c.deck"
    if isinstance(deck, str):
        path.write_text(deck)
    else:
        deck.write(path)
    status = check.main([str(path)], "quilmar check")
    out, err = capsys.readouterr()
    return status, out, err


def test_a_fourth_yield_value_is_warned_and_the_deck_listed(tmp_path):
    text = open(EXAMPLE).read().replace("\n0.79  0.74  0.64\n", "\n0.79  0.74  0.64  0.5\n", 1)
    path = tmp_path / "four.deck"
    path.write_text(text)
    proc = subprocess.run([TOOL, "check", str(path)], capture_output=True, text=True,
                          timeout=120)
    assert proc.returncode == 0, proc.stderr
    out = proc.stdout
    assert "\nyieldf[4] = 0.64\n" in out and "\ndecayf[1,2,1] = 0.5\n" in out
    assert out.index("czero[1] = ") < out.index("xremove = ") < out.index("zwellbot = ")
    assert "deck record 9" in out and '"0.5"' in out
    assert out.count('"0.5"') == 1          # said once, by the program or by the check
    assert "source: rows 1 to 2 (y 0 to 4 from the centre line), layers 2 to 4 (z 1 to 4" in out
    assert "well: column 21 (x 100 to 105), row 1 (y 0 to 2), layers 1 to 3 (z 0 to 3)" in out


def test_program_warnings_before_and_after_the_setup(capsys, tmp_path):
    deck = Deck.read(EXAMPLE).replace(volfracs=0.5, nt=20000, maxit=1, xwell=1e4)
    status, out, err = run_check(capsys, tmp_path, deck)
    assert status == 0, err
    assert "quilmar_v3: warning: deck record 22, item 6 (volfracs): 0.5 is below 1" in out
    assert "quilmar_v3: warning: deck record 40, item 1 (dt): 0.5 with nt = 20000" in out
    assert "quilmar_v3: warning: deck record 42, item 1 (xwell)" in out
    assert "well: no column (the well samples the source plane)" in out
    assert "the first time step does not converge within maxit = 1 sweeps" in out


@pytest.mark.parametrize("change, message", [
    ({"lysource": 21}, "deck record 4, item 2 (lysource): 21 must lie in 1 to ny = 20"),
    ({"zwellbot": 4.5}, "deck record 42, item 4 (zwellbot): 4.5 lies in layer 5, above layer 3"),
])
def test_rejected_decks_exit_2_with_the_programs_message(capsys, tmp_path, change, message):
    status, out, err = run_check(capsys, tmp_path, Deck.read(EXAMPLE).replace(**change))
    assert status == 2
    assert f"quilmar check: {tmp_path / 'c.deck'}: {message}" in err
    status, out, err = run_check(capsys, tmp_path, open(EXAMPLE).read().replace(
        "0.01  2  4  2  10.0", "0.01  2.0  4  2  10.0"))
    assert status == 2 and 'deck record 4, item 2 (lysource): "2.0" is not an integer' in err


def test_advice_rules():
    deck = Deck.read(EXAMPLE).replace(dt=0.02)          # dx 5, alphax 5, courant <= 0.12
    assert advice.advise(deck) == []
    flagged = {a.rule: a for a in advice.advise(deck.replace(
        alphax=1.0, dt=2.0, **{"decayf[2,3,1]": 1.0}))}
    assert set(flagged) == {"peclet", "courant", "step_decay", "cell_decay"}
    assert flagged["peclet"].value == 5.0
    assert flagged["courant"].value == pytest.approx(10 * 2 / (0.3 * 1.1 * 5))
    assert flagged["step_decay"].value == pytest.approx(1.0 * 2 / 1.8)
    # Zone 3 starts at x2 = 200: a grid that ends before it is not judged by zone 3's rates.
    fast = deck.replace(**{"decayf[1,3,1]": 10.0})
    assert [a.rule for a in advice.advise(fast)] == ["cell_decay"]
    assert advice.advise(fast.replace(nx=40)) == []
    assert [a.rule for a in advice.advise(deck.replace(alphax=0.0))] == ["peclet"]

# Tests of quilmar.Deck against the program itself: the same values, the same rejections
# with the same messages, the same well cells, and written decks that read back to the
# same doubles.
import glob
import os
import subprocess

import pytest

from quilmar import Deck, DeckError
from quilmar.runner import find_binary

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DECKS = sorted(glob.glob(os.path.join(REPO, "examples", "*.deck")) +
               glob.glob(os.path.join(REPO, "bench", "*.deck")))
SMALL = os.path.join(REPO, "examples", "solvent_chain.deck")


def program_echo(text, tmp_path):
    """(value echo lines of the 42 records, the rest of the console, stderr, status). The
    run is stopped once the echo and the setup lines are out, so large decks cost little."""
    binary = find_binary()
    proc = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, cwd=tmp_path)
    proc.stdin.write(text if isinstance(text, bytes) else text.encode("latin-1"))
    proc.stdin.close()
    lines = []
    for raw in proc.stdout:
        lines.append(raw.decode("latin-1").rstrip("\n"))
        if raw.startswith(b"  time ="):
            break
    proc.kill()
    proc.stdout.close()
    err = proc.stderr.read().decode("latin-1")
    proc.stderr.close()
    status = proc.wait()
    return [lines[3 * r - 1] for r in range(1, 43) if 3 * r <= len(lines)], lines[126:], err, status


def echo_values(deck):
    """The echo the program would show for each record: values in deck order."""
    out, vals = [], [v for _, v in deck.elements()]
    from quilmar.names import RECORDS
    for rec in RECORDS:
        out.append([vals.pop(0) for _ in rec])
    return out


@pytest.mark.parametrize("path", DECKS, ids=os.path.basename)
def test_round_trip_of_every_shipped_deck(path, tmp_path):
    deck = Deck.read(path)
    written = tmp_path / "written.deck"
    deck.write(written)
    again = Deck.read(written)
    assert again == deck and again.text() == deck.text()
    with open(path, "rb") as f:
        original_echo, original_setup, _, _ = program_echo(f.read(), tmp_path)
    written_echo, written_setup, _, _ = program_echo(written.read_bytes(), tmp_path)
    assert written_echo == original_echo and written_setup == original_setup
    # The program echoes each real in its shortest exact form: the values must be equal.
    assert [[float(t) for t in line.split()] for line in original_echo] == echo_values(deck)
    # Comment lines are kept.
    assert deck.title == open(path, encoding="utf-8").readline().rstrip("\n")
    assert deck.comments(42) == Deck.read(written).comments(42)
    # The well cells the program reports in its setup lines.
    cells = deck.well_cells()
    setup = " ".join(original_setup)
    assert f"iwell=   {cells.iwell}" in setup and f"jwell=   {cells.jwell}" in setup
    assert f"kwellbot = {cells.kwellbot}" in setup and f"kwelltop=   {cells.kwelltop}" in setup


def small_deck(record_lines):
    """A deck from the solvent-chain example with some records' value lines replaced."""
    deck = Deck.read(SMALL)
    lines = deck.text().split("\n")
    for r, text in record_lines.items():
        lines[3 * r - 1] = text
    return "\n".join(lines)


# Free-format rules: each case is a set of record lines and the values they must give.
@pytest.mark.parametrize("records, expect", [
    ({3: "1.0, 0.5 ,, 12.0"}, {"gamma": 1.0, "xremove": 0.5, "t1": 0.0, "t2": 12.0}),
    ({3: "2*0.25 / 7 7"}, {"gamma": 0.25, "xremove": 0.25, "t1": 0.0, "t2": 0.0}),
    ({3: "1D0 2.5d-1\n\n  3*7.5e0"}, {"gamma": 1.0, "xremove": 0.25, "t1": 7.5, "t2": 7.5}),
    ({1: "4* 9", 3: "1 .5 3. +4"}, {"czero": (0.0, 0.0, 0.0, 0.0), "t1": 3.0, "t2": 4.0}),
    ({3: "0.1 0.9 10 12\r", 4: "0.01,2,4,2,10.0,"}, {"gamma": 0.1, "lysource": 2, "vd": 10.0}),
    ({9: "0.79 0.74 0.64 0.5 yield note"}, {"yieldf": (0.0, 0.79, 0.74, 0.64)}),
    ({10: "1*0.3, 2*", 3: "1e-400 -0 4.9e-324 1.7976931348623157e308"},
     {"decayf[1,1,1]": 0.3, "decayf[1,1,2]": 0.0, "gamma": 0.0, "t1": 5e-324}),
])
def test_free_format_values_agree_with_the_program(records, expect, tmp_path):
    text = small_deck(records)
    deck = Deck.parse(text)
    for name, value in expect.items():
        assert deck.get(name) == value, name
    echo, _, _, status = program_echo(text, tmp_path)
    assert status != 2 and len(echo) == 42
    assert [[float(t) for t in line.split()] for line in echo] == echo_values(deck)
    assert Deck.parse(deck.text()) == deck


@pytest.mark.parametrize("records", [
    {4: "0.01 2.0 4 2 10"}, {4: "0.01 1e1 4 2 10"}, {4: "0.01 3000000000 4 2 10"},
    {3: "1.0 abc"}, {3: "1.0 1e999"}, {3: "1.0 0.5 0*3"}, {3: "1.0 -2*3"}, {3: "1. 1.2.3"},
    {3: "1.0 0.5 1e"}, {3: "1.0 \x01\x02" + "x" * 50}, {42: "1 2"}, {41: ""},
])
def test_rejections_carry_the_programs_message(records, tmp_path):
    text = small_deck(records)
    if 41 in records:  # cut the deck inside record 41
        text = text[:text.index(records[41] + "\nRecord 42")]
    with pytest.raises(DeckError) as caught:
        Deck.parse(text)
    _, _, err, status = program_echo(text, tmp_path)
    assert status == 2
    assert err.strip() == f"quilmar_v3: {caught.value}"


@pytest.mark.parametrize("newline", ["\r", "\r\n"])
def test_line_ends_other_than_lf(newline, tmp_path):
    text = small_deck({3: "1.0\n0.5 10 12"}).replace("\n", newline)
    deck = Deck.parse(text)
    assert deck == Deck.parse(small_deck({3: "1.0\n0.5 10 12"}))
    echo, _, _, status = program_echo(text, tmp_path)
    assert [[float(t) for t in line.split()] for line in echo] == echo_values(deck)


def test_missing_comment_line():
    text = "\n".join(open(SMALL).read().split("\n")[:7])
    with pytest.raises(DeckError, match="deck record 3, comment line 2: end of input"):
        Deck.parse(text)


def test_names_get_and_replace():
    deck = Deck.read(SMALL)
    assert deck.names()[:4] == ["czero", "tzeromass", "gamma", "xremove"]
    assert deck.names()[-1] == "zwellbot" and len(deck.names()) == 48
    assert deck.get("czero[1]") == deck.czero[0] == 100.0
    assert deck.get("decayf[1,2,1]") == deck.decayf[0][1][0] == deck.get("decayf(1,2,1)")
    changed = deck.replace(xremove=0.25, nx=40, czero=[1, 2, 3, 4],
                           **{"decayf[4,3,1]": "2.5D-1", "yieldms[3]": 0.5})
    assert changed.xremove == 0.25 and changed.nx == 40 and isinstance(changed.nx, int)
    assert changed.czero == (1.0, 2.0, 3.0, 4.0)
    assert changed.decayf[3][2][0] == 0.25 and changed.yieldms == (0.0, deck.yieldms[1], 0.5,
                                                                   deck.yieldms[3])
    assert deck.xremove == 0.9          # the original is unchanged
    assert Deck.parse(changed.text()) == changed
    assert changed.text().split("\n")[2].endswith("czero: PCE only in the source water")
    with pytest.raises(AttributeError):
        deck.nosuch


@pytest.mark.parametrize("items, message", [
    ({"nx": 2.5}, "deck record 37, item 2 (nx): 2.5 is not an integer"),
    ({"nx": 2 ** 31}, "(nx): 2147483648 is out of range"),
    ({"xremove": "abc"}, 'deck record 3, item 2 (xremove): "abc" is not a real number'),
    ({"xremove": float("inf")}, "(xremove): inf cannot be written"),
    ({"xremove": True}, "(xremove): True is not a number"),
    ({"vdd": 1}, "deck item vdd: no such item"),
    ({"yieldf[1]": 1}, "no such element (the deck holds yieldf[2] to yieldf[4])"),
    ({"decayf[1,4,1]": 1}, "no such element (the deck holds decayf[1,1,1] to decayf[4,3,3])"),
    ({"czero": [1, 2]}, "deck item czero: 2 values given, the deck holds 4"),
    ({"decayf": [1, 2]}, "deck item decayf: shape (2,)"),
    ({"czero": 3.0}, "deck item czero: 3.0 is one value"),
    ({"yieldf": [1, 2, 3, 4]}, "deck item yieldf: component 1 has no yield"),
])
def test_replace_rejects_unknown_names_and_wrong_types(items, message):
    with pytest.raises(DeckError, match=None) as caught:
        Deck.read(SMALL).replace(**items)
    assert message in str(caught.value)


def test_surplus_numbers_after_a_record():
    deck = Deck.parse(small_deck({9: "0.79 0.74 0.64 0.5", 3: "1.0 0.9 10 12 , 3*1 note",
                                  5: "0.3 0.5 5 0.5 0.05 porosity 0.3"}))
    assert deck.surplus() == [(3, 4, "3*1 note"), (9, 3, "0.5")]


def test_cells_in_metres():
    deck = Deck.read(SMALL).replace(dz=0.5, nz=10, zwellbot=0.5, zwelltop=2.5)
    assert deck.screen_layers(0.5, 2.5) == (2, 6)
    w = deck.well_cells()
    assert (w.kwellbot, w.kwelltop) == (2, 6) and w.layers == [2, 3, 4, 5, 6]
    assert deck.source_layers(0.5, 2.5) == (2, 5)
    assert deck.source_layers(0.6, 2.4) == (2, 5)
    assert deck.source_layers(-1, 2) == (0, 4) and deck.screen_layers(0, 5.1) == (1, 0)
    assert deck.source_rows(4.0) == 2 and deck.source_rows(4.1) == 3
    src = deck.replace(lzsourcemin=2, lzsourcemax=5).source_cells()
    assert (src.zbot, src.ztop, src.height, src.area) == (0.5, 2.5, 2.0, 16.0)
    w = deck.replace(ywell=-1.0, xwell=1e9).well_cells()
    assert (w.iwell, w.jwell) == (0, 1)

"""Decks by name: read a deck as the simulator does, reach every item by its name, change
items in a copy and write a deck that the simulator reads to the same values, bit for bit.

Names and indices (see docs/python.md):
  deck.xremove                 a scalar item (float, or int for the integer items)
  deck.czero[0]                per-component items are tuples of 4, component m at [m - 1]
  deck.yieldf[1]               the yields exist for components 2..4; [0] is always 0.0
  deck.decayf[m][zone][k]      decay tables: component, reaction zone, period, all 0-based
  deck.get("decayf[1,2,1]")    one element in the 1-based notation of docs/deck.md
                               ("decayf(1,2,1)", the program's notation, works too)
"""
import math
import numbers
import re

from . import layers
from .deck_reader import (DeckError, INT_MAX, INT_MIN, Reader, parse_integer, parse_real,
                          surplus_number)
from .names import BY_NAME, ELEMENTS, ITEMS, NCOMP, NPERIODS, NRECORDS, NZONES, RECORDS

_ELEMENT_NAME = re.compile(r"\s*([a-z][a-z0-9]*)\s*[\[(]\s*([0-9 ,]+?)\s*[\])]\s*\Z")


def _element_key(name):
    """The program's element name ("decayf(1,2,1)") of a name written with brackets or
    parentheses, or None when the name has no index."""
    m = _ELEMENT_NAME.match(name)
    if not m:
        return None
    idx = [s.strip() for s in m.group(2).split(",")]
    if not all(s.isdigit() for s in idx):
        return None
    return f"{m.group(1)}({','.join(str(int(s)) for s in idx)})"


def _element_of(name):
    """(item, element or None) named by `name`; DeckError when there is none."""
    if name in ITEMS:
        return ITEMS[name], None
    key = _element_key(name)
    if key is not None and key in BY_NAME:
        e = BY_NAME[key]
        return ITEMS[e.item], e
    base = key.split("(")[0] if key else name
    if base in ITEMS:
        item = ITEMS[base]
        if item.shape == (NCOMP,):
            shown = f"{base}[{item.first}] to {base}[{NCOMP}]"
        else:
            shown = f"{base}[1,1,1] to {base}[{NCOMP},{NZONES},{NPERIODS}]"
        raise DeckError(f"deck item {name}: no such element (the deck holds {shown})")
    raise DeckError(f"deck item {name}: no such item (the items are listed by "
                    f"Deck.names() and in docs/deck.md)")


def _checked(element, value):
    """A value for one element, of the element's type: DeckError naming the item otherwise.
    A string is read as the deck reads it."""
    label = f"deck record {element.record}, item {element.position} ({element.name})"
    if isinstance(value, str):
        text = value.strip()
        v, rng = (parse_integer if element.integer else parse_real)(text)
        if v is None:
            kind = "a 32-bit integer" if element.integer else "a double"
            what = (f"is out of range for {kind}" if rng else
                    "is not an integer" if element.integer else "is not a real number")
            raise DeckError(f'{label}: "{text}" {what}')
        return v
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise DeckError(f"{label}: {value!r} is not a number")
    if element.integer:
        if not isinstance(value, numbers.Integral):
            raise DeckError(f"{label}: {value!r} is not an integer")
        v = int(value)
        if not INT_MIN <= v <= INT_MAX:
            raise DeckError(f"{label}: {v} is out of range for a 32-bit integer")
        return v
    v = float(value)
    if not math.isfinite(v):
        raise DeckError(f"{label}: {value!r} cannot be written in a deck (not finite)")
    return v


def format_value(v):
    """The text of a value in a written deck: integers in digits, reals in the shortest
    form that reads back to the same double."""
    return str(v) if isinstance(v, int) else repr(float(v))


class Deck:
    """One scenario deck: its 42 value records by name, and the comment lines and notes
    that go with them. A Deck is not changed in place: replace() returns a changed copy."""

    def __init__(self, values, comments, notes, trailer=(), counts=None, surplus=None):
        self._values = dict(values)          # element name -> value, every element
        self._comments = list(comments)      # 2 per record, as read (byte per character)
        self._notes = list(notes)            # per record: the rest of its last line
        self._trailer = list(trailer)        # lines after the last record
        self._counts = counts or [len(r) for r in RECORDS]
        self._surplus = surplus or [None] * NRECORDS

    # --- reading ---------------------------------------------------------------------
    @classmethod
    def parse(cls, text):
        """A deck from its text (str or bytes). Raises DeckError as the program stops."""
        if isinstance(text, str):
            text = text.encode("utf-8", errors="surrogateescape")
        reader = Reader(text.decode("latin-1"))
        values = {e.name: (0 if e.integer else 0.0) for e in ELEMENTS}
        comments, notes, counts, surplus = [], [], [], []
        for r in range(1, NRECORDS + 1):
            comments.append(reader.comment(r, 1))
            comments.append(reader.comment(r, 2))
            rec = reader.record(r)
            values.update(rec.values)
            notes.append(rec.rest)
            counts.append(rec.count)
            surplus.append(None if rec.slash else surplus_number(rec.rest))
        return cls(values, comments, notes, reader.remainder(), counts, surplus)

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls.parse(f.read())

    # --- items by name ----------------------------------------------------------------
    def __getattr__(self, name):
        if name.startswith("_") or name not in ITEMS:
            raise AttributeError(name)
        return self._item(ITEMS[name])

    def __dir__(self):
        return list(super().__dir__()) + list(ITEMS)

    def _item(self, item):
        v = self._values
        if item.shape == ():
            return v[item.name]
        if item.shape == (NCOMP,):
            return tuple(v.get(f"{item.name}({m})", 0.0) for m in range(1, NCOMP + 1))
        return tuple(tuple(tuple(v[f"{item.name}({m},{z},{k})"] for k in range(1, NPERIODS + 1))
                           for z in range(1, NZONES + 1)) for m in range(1, NCOMP + 1))

    def get(self, name):
        """An item ("xremove", "czero") or one element in the 1-based notation of the deck
        documentation ("czero[2]", "decayf[1,2,1]")."""
        item, element = _element_of(name)
        return self._item(item) if element is None else self._values[element.name]

    def names(self):
        """The item names in deck order."""
        return list(ITEMS)

    def elements(self):
        """(name, value) of every value of the deck in deck order, names in the 1-based
        notation: ("czero[1]", 100.0), ..., ("zwellbot", 0.5)."""
        out = []
        for e in ELEMENTS:
            name = e.item if not e.index else f"{e.item}[{','.join(map(str, e.index))}]"
            out.append((name, self._values[e.name]))
        return out

    def as_dict(self):
        """{item name: value} in deck order (arrays as nested tuples)."""
        return {name: self._item(item) for name, item in ITEMS.items()}

    @property
    def title(self):
        """The deck's first line, which the figures and the console show as its title."""
        return self._comments[0].encode("latin-1").decode("utf-8", errors="replace")

    def comments(self, record):
        """The two comment lines before value record `record` (1-based)."""
        lines = self._comments[2 * record - 2:2 * record]
        return [c.encode("latin-1").decode("utf-8", errors="replace") for c in lines]

    def surplus(self):
        """Value records whose line goes on with text that reads as a number after the
        record's last value (a value the program does not read): (record, values read,
        surplus text) for each."""
        return [(r + 1, self._counts[r], s) for r, s in enumerate(self._surplus) if s]

    def __eq__(self, other):
        return isinstance(other, Deck) and self._values == other._values

    def __repr__(self):
        return f"Deck({self.title.strip()!r})"

    # --- changing ---------------------------------------------------------------------
    def replace(self, **items):
        """A copy with items changed: whole items by name (xremove=0.9, czero=[...]) and
        single elements by their 1-based names (**{"decayf[1,2,1]": 0.5}). Unknown names
        and values of the wrong type or shape raise DeckError naming the item."""
        values = dict(self._values)
        for name, value in items.items():
            item, element = _element_of(name)
            if element is not None:
                values[element.name] = _checked(element, value)
            else:
                values.update(self._whole_item(item, value))
        return Deck(values, self._comments, self._notes, self._trailer)

    @staticmethod
    def _whole_item(item, value):
        if item.shape == ():
            return {item.name: _checked(BY_NAME[item.name], value)}
        elems = [e for e in ELEMENTS if e.item == item.name]
        flat = _flatten(value, item)
        if len(flat) == len(elems) + 1 and item.first == 2:
            # the daughters' yields given for all four components: the first is not in the deck
            if flat[0] not in (0, 0.0):
                raise DeckError(f"deck item {item.name}: component 1 has no yield "
                                f"(give {item.name}[2..4], or 0 first)")
            flat = flat[1:]
        if len(flat) != len(elems):
            raise DeckError(f"deck item {item.name}: {len(flat)} values given, the deck "
                            f"holds {len(elems)} (shape {_shape_text(item)})")
        return {e.name: _checked(e, v) for e, v in zip(elems, flat)}

    # --- writing ----------------------------------------------------------------------
    def text(self):
        """The deck as text: the comment lines as read, each value record on one line with
        its values in the shortest form that reads back to the same double, and the note
        that followed the record's last value kept after it."""
        lines = []
        for r, rec in enumerate(RECORDS):
            lines += self._comments[2 * r:2 * r + 2]
            line = "  ".join(format_value(self._values[e.name]) for e in rec)
            note = self._notes[r].strip(" \t")
            if note:
                line += "    " + note
            lines.append(line)
        lines += self._trailer
        return "\n".join(lines) + "\n"

    def write(self, path):
        with open(path, "wb") as f:
            f.write(self.text().encode("latin-1"))

    # --- cells in metres --------------------------------------------------------------
    def well_cells(self):
        """Column, row and screened layers of the observation well (1-based, 0 where the
        point matches no cell), found as the program finds them."""
        return layers.well_cells(self)

    def source_cells(self):
        """The source zone of this deck in metres: rows, layers, half-width, height, area."""
        return layers.source_cells(self)

    def screen_layers(self, zbot, ztop):
        """Layers (bottom, top) that a well screen from zbot to ztop (m above the base)
        averages, by the program's rule: each end goes to the layer containing it, a point
        on a layer boundary to the upper layer."""
        return layers.screen_layers(self.dz, self.nz, zbot, ztop)

    def source_layers(self, zbot, ztop):
        """(lzsourcemin, lzsourcemax) of the fewest whole layers that hold a source from
        zbot to ztop (m above the base)."""
        return layers.source_layers(self.dz, self.nz, zbot, ztop)

    def source_rows(self, halfwidth):
        """lysource for a source half-width (m from the plume centre line): the fewest
        rows that hold it."""
        return layers.source_rows(self.dy, self.ny, halfwidth)


def _shape_text(item):
    if item.shape == (NCOMP,):
        return f"{NCOMP - item.first + 1} values, components {item.first} to {NCOMP}"
    return f"{NCOMP} x {NZONES} x {NPERIODS}: component, zone, period"


def _flatten(value, item):
    try:
        import numpy as np
        a = np.asarray(value, dtype=object)
    except Exception:
        raise DeckError(f"deck item {item.name}: {value!r} is not an array") from None
    if a.ndim == 0:
        raise DeckError(f"deck item {item.name}: {value!r} is one value, the item holds "
                        f"{_shape_text(item)}")
    if len(item.shape) == 3 and a.shape != item.shape:
        raise DeckError(f"deck item {item.name}: shape {a.shape}, the item holds "
                        f"{_shape_text(item)}")
    if len(item.shape) == 1 and a.ndim != 1:
        raise DeckError(f"deck item {item.name}: shape {a.shape}, the item holds "
                        f"{_shape_text(item)}")
    return list(a.reshape(-1))

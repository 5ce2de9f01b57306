"""The layout of the input deck: 42 value records, every value known by its position.

Each item has the name docs/deck.md gives it. Per-component items (czero, retardf, ...) hold
one value per component 1..4; the yields (yieldf, yieldms) exist for the daughters 2..4
only, and the decay tables (decayf, decayms) hold one record per component and reaction
zone with the rates of three periods. Element names follow the program's messages:
"czero(2)", "decayf(1,2,1)".
"""
from dataclasses import dataclass

NCOMP = 4
NZONES = 3
NPERIODS = 3


@dataclass(frozen=True)
class Element:
    """One value of a record: its record and position (1-based), the program's name for
    it, its item and its 1-based index within the item (() for a scalar item)."""
    record: int
    position: int
    name: str
    item: str
    index: tuple
    integer: bool


@dataclass(frozen=True)
class Item:
    """A named item of the deck: a scalar, or an array of per-component values
    (shape (4,)) or decay rates (shape (4, 3, 3)). `first` is the lowest component index
    the deck holds (2 for the yields)."""
    name: str
    record: int
    shape: tuple
    integer: bool
    first: int = 1


def _records():
    records = []   # list of lists of (name, item, index, integer)

    def comp(item, first=1):
        return [(f"{item}({m})", item, (m,), False) for m in range(first, NCOMP + 1)]

    def scalars(*names, ints=()):
        return [(n, n, (), n in ints) for n in names]

    def decay(item):
        for m in range(1, NCOMP + 1):
            for z in range(1, NZONES + 1):
                records.append([(f"{item}({m},{z},{k})", item, (m, z, k), False)
                                for k in range(1, NPERIODS + 1)])

    records.append(comp("czero"))                                                   # 1
    records.append(comp("tzeromass"))                                               # 2
    records.append(scalars("gamma", "xremove", "t1", "t2"))                         # 3
    records.append(scalars("rates", "lysource", "lzsourcemax", "lzsourcemin", "vd",
                           ints=("lysource", "lzsourcemax", "lzsourcemin")))        # 4
    records.append(scalars("porf", "tortf", "alphax", "alphat", "alphav"))          # 5
    records.append(comp("retardf"))                                                 # 6
    records.append(scalars("x1", "x2"))                                             # 7
    records.append(scalars("tplume1", "tplume2"))                                   # 8
    records.append(comp("yieldf", first=2))                                         # 9
    decay("decayf")                                                                 # 10-21
    records.append(scalars("mdflags", "porms", "tortms", "diffs", "amd", "volfracs",
                           "difflens", ints=("mdflags",)))                          # 22
    records.append(comp("retardms"))                                                # 23
    records.append(comp("yieldms", first=2))                                        # 24
    decay("decayms")                                                                # 25-36
    records.append(scalars("dx", "nx", ints=("nx",)))                               # 37
    records.append(scalars("dy", "ny", ints=("ny",)))                               # 38
    records.append(scalars("dz", "nz", ints=("nz",)))                               # 39
    records.append(scalars("dt", "nt", "npt", ints=("nt", "npt")))                  # 40
    records.append(scalars("tol", "maxit", ints=("maxit",)))                        # 41
    records.append(scalars("xwell", "ywell", "zwelltop", "zwellbot"))               # 42
    return [[Element(r, p, name, item, index, integer)
             for p, (name, item, index, integer) in enumerate(rec, start=1)]
            for r, rec in enumerate(records, start=1)]


# RECORDS[r - 1] is the list of elements of value record r, in reading order.
RECORDS = _records()
NRECORDS = len(RECORDS)
ELEMENTS = [e for rec in RECORDS for e in rec]
BY_NAME = {e.name: e for e in ELEMENTS}


def _items():
    items = {}
    for e in ELEMENTS:
        if e.item in items:
            continue
        if not e.index:
            shape = ()
        elif len(e.index) == 1:
            shape = (NCOMP,)
        else:
            shape = (NCOMP, NZONES, NPERIODS)
        first = e.index[0] if len(e.index) == 1 else 1
        items[e.item] = Item(e.item, e.record, shape, e.integer, first)
    return items


# Items in deck order.
ITEMS = _items()


def item_label(name):
    """The program's label of an item in its messages: "deck record 22, item 6 (volfracs)"."""
    e = BY_NAME.get(name)
    if e is None:
        return f"deck item {name}"
    return f"deck record {e.record}, item {e.position} ({name})"

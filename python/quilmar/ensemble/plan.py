"""Reading an ensemble plan (TOML): the base deck, the uncertain inputs and their
distributions, the scenarios and the outputs wanted. Every fault is reported with its
place in the file before anything runs:

    deck = "base.deck"             # relative to the plan file
    realisations = 200
    sampling = "lhs"               # or "random"
    seed = 7
    [parameters.vd]                # a deck item by name; one element: [parameters."decayf[1,1,1]"]
    dist = "lognormal"
    median = 20.0
    gsd = 1.5
    [scenarios.remove_90]          # items set for one remediation option
    xremove = 0.9
    [outputs]
    control_planes = [50.0, 100.0]
    limits = [0.005, 0.005, 0.07, 0.002]
"""
import hashlib
import json
import math
import os
import tomllib
from dataclasses import dataclass, field

from ..deck import Deck, DeckError
from .distributions import BadDistribution, Distribution
from .sampling import METHODS
from .toml_lines import KeyLines

TOP_KEYS = ("deck", "realisations", "sampling", "seed", "parameters", "scenarios", "outputs")
OUTPUT_KEYS = ("control_planes", "limits")
# Every realisation and scenario shares one time axis, so the step and the step count stay
# as the base deck has them.
FIXED_ITEMS = ("dt", "nt")
NCOMP = 4


class PlanError(Exception):
    """A plan that cannot be run; the message begins with the file and line at fault."""


@dataclass
class Parameter:
    """One uncertain input: a deck item or one element of it, and its distribution."""
    name: str
    dist: Distribution
    integer: bool


@dataclass
class Plan:
    path: str
    deck_path: str
    deck: Deck
    realisations: int
    sampling: str
    seed: int
    parameters: list
    scenarios: dict            # scenario name -> {item name: value}
    control_planes: list
    limits: list = None        # per component, None when no limits were given
    scenario_decks: dict = field(default_factory=dict)

    def fingerprint(self):
        """A digest of everything that decides the runs' results: the deck's values, the
        sampling, the inputs, the scenarios and the control planes (the limits are left
        out: they only change what is computed from stored results)."""
        doc = {
            "deck": self.deck.elements(),
            "realisations": self.realisations, "sampling": self.sampling, "seed": self.seed,
            "parameters": [(p.name, p.dist.kind, sorted(p.dist.params.items()))
                           for p in self.parameters],
            "scenarios": [(s, sorted(items.items())) for s, items in self.scenarios.items()],
            "control_planes": self.control_planes,
        }
        text = json.dumps(doc, sort_keys=True, default=repr)
        return hashlib.sha256(text.encode()).hexdigest()


def _integer(lines, key, value, low):
    if isinstance(value, bool) or not isinstance(value, int) or value < low:
        raise PlanError(f"{lines.where(key)}: {key} = {value!r} must be a whole number of "
                        f"at least {low}")
    return value


def _table(lines, key, value):
    if not isinstance(value, dict):
        raise PlanError(f"{lines.where(*key)}: {'.'.join(key)} must be a table "
                        f"([{'.'.join(key)}.NAME] sections)")
    return value


def _read_deck(lines, plan_dir, doc):
    if "deck" not in doc:
        raise PlanError(f"{lines.path}: no deck = \"...\" (the base deck, relative to the "
                        f"plan file)")
    name = doc["deck"]
    if not isinstance(name, str):
        raise PlanError(f"{lines.where('deck')}: deck = {name!r} must be a file name")
    path = os.path.join(plan_dir, name)
    try:
        return path, Deck.read(path)
    except OSError as e:
        raise PlanError(f"{lines.where('deck')}: cannot read the deck {path}: "
                        f"{e.strerror}") from None
    except DeckError as e:
        raise PlanError(f"{lines.where('deck')}: the deck {path} is rejected: {e}") from None


def _deck_item(lines, key, deck, name):
    """The value of a deck item named in the plan; PlanError when the deck has none."""
    try:
        return deck.get(name)
    except DeckError as e:
        raise PlanError(f"{lines.where(*key)}: {e}") from None


def _parameters(lines, deck, table):
    out = []
    for name, body in _table(lines, ("parameters",), table).items():
        key = ("parameters", name)
        value = _deck_item(lines, key, deck, name)
        if isinstance(value, tuple):
            raise PlanError(f"{lines.where(*key)}: {name} holds several values: sample one "
                            f"element, e.g. [parameters.\"{name}[1]\"] (quoted for the "
                            f"brackets)")
        if name in FIXED_ITEMS:
            raise PlanError(f"{lines.where(*key)}: {name} cannot be sampled: every "
                            f"realisation shares the base deck's time steps")
        if not isinstance(body, dict):
            raise PlanError(f"{lines.where(*key)}: parameters.{name} must be a table with "
                            f"dist = \"...\" and the distribution's values")
        if "dist" not in body:
            raise PlanError(f"{lines.where(*key)}: parameters.{name} has no dist (one of "
                            f"uniform, loguniform, triangular, normal, lognormal, constant)")
        params = {k: v for k, v in body.items() if k != "dist"}
        try:
            dist = Distribution(body["dist"], params)
        except BadDistribution as e:
            where = lines.where(*key, e.key) if e.key else lines.where(*key)
            raise PlanError(f"{where}: parameters.{name}: {e}") from None
        out.append(Parameter(name, dist, isinstance(value, int)))
    return out


def _scenarios(lines, deck, table, sampled):
    if table is None:
        return {"base": {}}, {"base": deck}
    items_by, decks = {}, {}
    for name, body in _table(lines, ("scenarios",), table).items():
        key = ("scenarios", name)
        if not isinstance(body, dict):
            raise PlanError(f"{lines.where(*key)}: scenarios.{name} must be a table of deck "
                            f"items (an empty table runs the base deck)")
        d = deck
        for item, value in body.items():
            _deck_item(lines, key + (item,), deck, item)
            if item in sampled:
                raise PlanError(f"{lines.where(*key, item)}: scenarios.{name} sets {item}, "
                                f"which is also sampled (parameters.{item})")
            if item in FIXED_ITEMS and value != deck.get(item):
                raise PlanError(f"{lines.where(*key, item)}: scenarios.{name} changes {item}: "
                                f"every scenario shares the base deck's time steps")
            try:
                d = d.replace(**{item: value})
            except DeckError as e:
                raise PlanError(f"{lines.where(*key, item)}: scenarios.{name}: {e}") from None
        items_by[name], decks[name] = dict(body), d
    if not items_by:
        raise PlanError(f"{lines.where('scenarios')}: [scenarios] names no scenario")
    return items_by, decks


def _numbers(lines, key, value, what):
    if not isinstance(value, list) or not all(
            isinstance(v, (int, float)) and not isinstance(v, bool) for v in value):
        raise PlanError(f"{lines.where(*key)}: {key[-1]} must be a list of numbers ({what})")
    return [float(v) for v in value]


def _outputs(lines, deck, table):
    table = _table(lines, ("outputs",), table)
    for k in table:
        if k not in OUTPUT_KEYS:
            raise PlanError(f"{lines.where('outputs', k)}: unknown output {k} (outputs are "
                            f"{', '.join(OUTPUT_KEYS)})")
    # The discharge at a plane is interpolated between the two column centres around it.
    first, last = 0.5 * deck.dx, (deck.nx - 0.5) * deck.dx
    planes = _numbers(lines, ("outputs", "control_planes"),
                      table.get("control_planes", [min(max(deck.xwell, first), last)]),
                      "x of each plane")
    if not planes:
        # Every realisation would fail when its discharge is reduced to no plane at all.
        raise PlanError(f"{lines.where('outputs', 'control_planes')}: control_planes must "
                        f"hold at least one x (leave it out for a plane at the well)")
    for x in planes:
        if not first <= x <= last:
            raise PlanError(f"{lines.where('outputs', 'control_planes')}: control plane "
                            f"x = {x:g} lies outside the column centres of the deck's grid "
                            f"({first:g} to {last:g})")
    if len(set(planes)) != len(planes):
        raise PlanError(f"{lines.where('outputs', 'control_planes')}: a control plane is "
                        f"given twice")
    limits = table.get("limits")
    if limits is not None:
        limits = _numbers(lines, ("outputs", "limits"), limits, "one per component")
        if len(limits) != NCOMP or any(v < 0.0 for v in limits if not math.isnan(v)):
            raise PlanError(f"{lines.where('outputs', 'limits')}: limits must be {NCOMP} "
                            f"concentrations of at least 0, one per component (nan: none)")
    return planes, limits


def read_plan(path):
    """The ensemble plan in the TOML file `path`; PlanError naming the place of a fault."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise PlanError(f"{path}: cannot read the plan: {e.strerror}") from None
    try:
        text = raw.decode("utf-8")
        doc = tomllib.loads(text)
    except UnicodeDecodeError as e:
        raise PlanError(f"{path}: not UTF-8 text (byte {e.start})") from None
    except tomllib.TOMLDecodeError as e:
        raise PlanError(f"{path}: not valid TOML: {e}") from None
    return plan_from_dict(doc, path, KeyLines(text, path))


def plan_from_dict(doc, path, lines=None):
    """A plan from an already parsed TOML document (the base deck is relative to `path`)."""
    lines = lines or KeyLines("", path)
    for k in doc:
        if k not in TOP_KEYS:
            raise PlanError(f"{lines.where(k)}: unknown key {k} (a plan has "
                            f"{', '.join(TOP_KEYS)})")
    deck_path, deck = _read_deck(lines, os.path.dirname(os.path.abspath(path)), doc)
    realisations = _integer(lines, "realisations", doc.get("realisations", 100), 1)
    sampling = doc.get("sampling", "lhs")
    if sampling not in METHODS:
        raise PlanError(f"{lines.where('sampling')}: sampling = {sampling!r} is not one of "
                        f"{', '.join(repr(m) for m in METHODS)}")
    seed = _integer(lines, "seed", doc.get("seed", 0), 0)
    parameters = _parameters(lines, deck, doc.get("parameters", {}))
    scenarios, decks = _scenarios(lines, deck, doc.get("scenarios"),
                                  {p.name for p in parameters})
    planes, limits = _outputs(lines, deck, doc.get("outputs", {}))
    return Plan(os.path.abspath(path), deck_path, deck, realisations, sampling, seed,
                parameters, scenarios, planes, limits, decks)

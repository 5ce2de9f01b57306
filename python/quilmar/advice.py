"""Discretisation advice: where the grid or the time step is coarse for the dispersivities
and rates of a deck. Steps are implicit and stable at any size, so none of this stops a
run; it says where the numbers are likely to be smeared or shifted.

The rules are those of the validation against exact solutions (docs/validation.md); each
warns where that validation measured an error above 5 %:
  grid Peclet number   Pe = dx / alphax <= PECLET_MAX: the upwind scheme spreads the
                       plume by dx/2 along x on its own and the source plane acts half a
                       cell upstream; beyond 1 a front is off by more than 5 %, beyond 2
                       the longitudinal dispersion is the grid's rather than alphax.
  Courant number       Cr = vd * dt / (porf * retardf(m) * dx) for every component, with
                       Pe + Cr <= FRONT_SUM_MAX (Pe counted up to PECLET_MAX): the
                       implicit step adds v*dt/2 to the grid's spreading.
  decay per cell       decayf * porf * dx / vd <= CELL_DECAY_MAX: a steady decaying plume
                       (every member of a chain) is off by more than 5 % beyond it.
  decay per step       decayf * dt / retardf(m) <= STEP_DECAY_MAX: more than that fraction
                       of the mass decaying in one step (not measured by the validation).
"""
from dataclasses import dataclass

PECLET_MAX = 1.0
FRONT_SUM_MAX = 1.2
CELL_DECAY_MAX = 0.08
STEP_DECAY_MAX = 0.5


def courant_limit(peclet):
    """The largest Courant number that keeps a front within 5 % at this grid Peclet number."""
    return FRONT_SUM_MAX - min(peclet, PECLET_MAX)


@dataclass(frozen=True)
class Advice:
    rule: str       # "peclet", "courant", "cell_decay", "step_decay"
    value: float    # the worst value of the number in the deck
    limit: float
    text: str


def _zones_in_grid(deck):
    """Reaction zones that hold at least one column centre (1-based)."""
    zones = set()
    for i in range(1, deck.nx + 1) if 0 < deck.nx <= 100000 else ():
        x = (i - 1) * deck.dx + 0.5 * deck.dx
        zones.add(1 if x < deck.x1 else 2 if x < deck.x2 else 3)
        if len(zones) == 3:
            break
    return sorted(zones)


def advise(deck):
    """Advice for a deck: a list of Advice, empty when every rule holds."""
    out = []
    if deck.dx > 0 and deck.alphax >= 0:
        pe = deck.dx / deck.alphax if deck.alphax > 0 else float("inf")
        if pe > PECLET_MAX:
            grid = (f"the longitudinal spreading is the grid's dx/2 = {deck.dx / 2:g} rather "
                    f"than alphax = {deck.alphax:g}" if pe > 2 else
                    "the source plane half a cell upstream shifts the front")
            out.append(Advice("peclet", pe, PECLET_MAX, (
                f"grid Peclet number dx/alphax = {pe:.3g} is above {PECLET_MAX:g}: {grid}, "
                f"and fronts are off by more than 5 %; a dx of at most "
                f"{PECLET_MAX * deck.alphax:g} keeps them within 5 %")))
    if not (deck.dx > 0 and deck.porf > 0 and deck.vd > 0):
        return out
    courant = [(deck.vd * deck.dt / (deck.porf * r * deck.dx), m)
               for m, r in enumerate(deck.retardf, start=1) if r > 0]
    if courant:
        cr, m = max(courant)
        limit = courant_limit(deck.dx / deck.alphax if deck.alphax > 0 else float("inf"))
        if cr > limit + 1e-9:       # a deck written at the limit is within it
            out.append(Advice("courant", cr, limit, (
                f"Courant number vd*dt/(porf*retardf*dx) = {cr:.3g} for component {m} is "
                f"above {limit:.3g} at this grid: the implicit step smears and advances its "
                f"front by more than 5 %; a dt of at most {deck.dt * limit / cr:.3g} keeps "
                f"it within 5 %")))
    worst_cell, worst_step = None, None
    for z in _zones_in_grid(deck):
        for m in range(1, 5):
            k = deck.decayf[m - 1][z - 1][0]
            da = k * deck.porf * deck.dx / deck.vd
            if worst_cell is None or da > worst_cell[0]:
                worst_cell = (da, m, z)
            r = deck.retardf[m - 1]
            if r > 0:
                st = k * deck.dt / r
                if worst_step is None or st > worst_step[0]:
                    worst_step = (st, m, z)
    if worst_cell and worst_cell[0] > CELL_DECAY_MAX:
        da, m, z = worst_cell
        out.append(Advice("cell_decay", da, CELL_DECAY_MAX, (
            f"decay per cell decayf*porf*dx/vd = {da:.3g} for component {m} in zone {z} is "
            f"above {CELL_DECAY_MAX:g}: its steady plume is off by more than 5 %; a dx of "
            f"at most {deck.dx * CELL_DECAY_MAX / da:.3g} keeps it within 5 %")))
    if worst_step and worst_step[0] > STEP_DECAY_MAX:
        st, m, z = worst_step
        out.append(Advice("step_decay", st, STEP_DECAY_MAX, (
            f"decay per step decayf*dt/retardf = {st:.3g} for component {m} in zone {z} is "
            f"above {STEP_DECAY_MAX:g}: a dt of at most {deck.dt * STEP_DECAY_MAX / st:.3g} "
            f"follows it")))
    return out

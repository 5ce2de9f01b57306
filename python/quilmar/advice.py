"""Discretisation advice: where the grid or the time step is coarse for the dispersivities
and rates of a deck. Steps are implicit and stable at any size, so none of this stops a
run; it says where the numbers are likely to be smeared or shifted.

The rules and their thresholds (provisional, to be replaced by measured figures):
  grid Peclet number   dx / alphax <= PECLET_MAX: the upwind scheme spreads the plume by
                       dx/2 along x on its own; beyond 2 the longitudinal dispersion is
                       the grid's rather than alphax.
  Courant number       vd * dt / (porf * retardf(m) * dx) <= COURANT_MAX for every
                       component: a front moving more than a cell per step is smeared by
                       the implicit step.
  decay per cell       decayf * porf * dx / vd <= CELL_DECAY_MAX: the decay of a component
                       acts on the dissolved concentration while the water crosses a cell
                       in porf*dx/vd; more than a factor e across one cell is not resolved.
  decay per step       decayf * dt / retardf(m) <= STEP_DECAY_MAX: more than that fraction
                       of the mass decaying in one step.
"""
from dataclasses import dataclass

PECLET_MAX = 2.0
COURANT_MAX = 1.0
CELL_DECAY_MAX = 1.0
STEP_DECAY_MAX = 0.5


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
            out.append(Advice("peclet", pe, PECLET_MAX, (
                f"grid Peclet number dx/alphax = {pe:.3g} is above {PECLET_MAX:g}: the "
                f"longitudinal spreading is the grid's dx/2 = {deck.dx / 2:g} rather than "
                f"alphax = {deck.alphax:g}; a dx of at most {PECLET_MAX * deck.alphax:g} "
                f"gives the dispersivity asked for")))
    if not (deck.dx > 0 and deck.porf > 0 and deck.vd > 0):
        return out
    courant = [(deck.vd * deck.dt / (deck.porf * r * deck.dx), m)
               for m, r in enumerate(deck.retardf, start=1) if r > 0]
    if courant:
        cr, m = max(courant)
        if cr > COURANT_MAX:
            out.append(Advice("courant", cr, COURANT_MAX, (
                f"Courant number vd*dt/(porf*retardf*dx) = {cr:.3g} for component {m} is "
                f"above {COURANT_MAX:g}: its front moves more than a cell per step and is "
                f"smeared; a dt of at most {deck.dt * COURANT_MAX / cr:.3g} keeps it within "
                f"one cell")))
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
            f"above {CELL_DECAY_MAX:g}: its concentration falls by more than a factor e "
            f"across one cell; a dx of at most {deck.dx * CELL_DECAY_MAX / da:.3g} "
            f"resolves it")))
    if worst_step and worst_step[0] > STEP_DECAY_MAX:
        st, m, z = worst_step
        out.append(Advice("step_decay", st, STEP_DECAY_MAX, (
            f"decay per step decayf*dt/retardf = {st:.3g} for component {m} in zone {z} is "
            f"above {STEP_DECAY_MAX:g}: a dt of at most {deck.dt * STEP_DECAY_MAX / st:.3g} "
            f"follows it")))
    return out

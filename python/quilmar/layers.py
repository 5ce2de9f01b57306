"""Grid cells of the source zone and the observation well, in metres, found by the rules
the simulator uses.

Cell i along an axis of cell size h has its centre at (i - 1)*h + h/2 (layer 1 at the
base, row 1 on the plume centre line, column 1 at the source plane). The well takes, for
each of its points, the cell whose centre lies within h/2 of it; a point on a boundary
matches two cells and goes to the later (upper) one. An index is 0 where no cell matches.
"""
import math
from dataclasses import dataclass


def cell_centre(index, h):
    """Centre of cell `index` (1-based), computed as the program computes it."""
    return (index - 1) * h + 0.5 * h


def _candidates(point, h, count):
    if not (math.isfinite(point) and h > 0 and count >= 1):
        return []
    guess = int(math.floor(point / h)) + 1 if abs(point / h) < 4e9 else 0
    return [i for i in range(guess - 2, guess + 3) if 1 <= i <= count]


def containing_cell(point, h, count, last=True):
    """The cell whose centre lies within h/2 of `point`: the later one of two on a boundary
    (last=True, the program's rule for the well), or the earlier one (last=False); 0 when
    the point lies outside the grid."""
    found = [i for i in _candidates(point, h, count)
             if abs(cell_centre(i, h) - point) <= 0.5 * h]
    if not found:
        return 0
    return found[-1] if last else found[0]


@dataclass(frozen=True)
class WellCells:
    """Column, row and screened layers of the observation well (1-based; 0 = none)."""
    iwell: int
    jwell: int
    kwellbot: int
    kwelltop: int

    @property
    def layers(self):
        return list(range(self.kwellbot, self.kwelltop + 1)) if self.kwellbot else []


def well_cells(deck):
    """The well's cells as the program finds them (a negative ywell is mirrored)."""
    return WellCells(containing_cell(deck.xwell, deck.dx, deck.nx),
                     containing_cell(abs(deck.ywell), deck.dy, deck.ny),
                     containing_cell(deck.zwellbot, deck.dz, deck.nz),
                     containing_cell(deck.zwelltop, deck.dz, deck.nz))


def screen_layers(dz, nz, zbot, ztop):
    """(bottom layer, top layer) that a screen from zbot to ztop averages (0 outside)."""
    return containing_cell(zbot, dz, nz), containing_cell(ztop, dz, nz)


def source_layers(dz, nz, zbot, ztop):
    """(lzsourcemin, lzsourcemax): the fewest whole layers that hold the height range zbot
    to ztop. An end on a layer boundary stays inside the range (a source from 0.5 to 2.5 m
    in layers of 0.5 m is layers 2 to 5). 0 where an end lies outside the grid."""
    return containing_cell(zbot, dz, nz, last=True), containing_cell(ztop, dz, nz, last=False)


def source_rows(dy, ny, halfwidth):
    """lysource: the fewest rows from the centre line that hold a source half-width."""
    return containing_cell(halfwidth, dy, ny, last=False)


@dataclass(frozen=True)
class SourceCells:
    """The source zone as the program sets it up: rows 1..lysource, layers lzsourcemin..
    lzsourcemax, its half-width and height in metres, the heights of its base and top
    and the whole-plume area 2 * halfwidth * height through which vd carries its water."""
    rows: tuple
    layers: tuple
    halfwidth: float
    height: float
    zbot: float
    ztop: float
    area: float


def source_cells(deck):
    height = (deck.lzsourcemax - deck.lzsourcemin + 1) * deck.dz
    halfwidth = deck.lysource * deck.dy
    return SourceCells((1, deck.lysource), (deck.lzsourcemin, deck.lzsourcemax), halfwidth,
                       height, (deck.lzsourcemin - 1) * deck.dz, deck.lzsourcemax * deck.dz,
                       2.0 * height * halfwidth)

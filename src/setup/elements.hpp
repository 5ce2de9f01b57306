#pragma once
#include <iosfwd>

#include "state/model.hpp"

namespace quilmar {

// Every cell becomes one element (i outer, j, k inner) with the deck's matrix properties
// and the matrix decay rate of its reaction zone; sets nelmax (and prints it) and icomp.
void setup_elements(Model& s, std::ostream& out);

// Finds the well's column, row and screened layers; every matching cell is printed and the
// last match wins. A negative ywell is mirrored into the computed half of the plume.
void find_observation_well(Model& s, std::ostream& out);

}  // namespace quilmar

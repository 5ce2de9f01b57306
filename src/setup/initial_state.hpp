#pragma once
#include "state/model.hpp"

namespace quilmar {

// Starts the clock at 0, zeroes the concentration grid (with both boundary columns), the
// old level and the matrix storage, and keeps bounding-layer faces only where the grid has
// them: the top face of the top layer and the bottom face of the bottom layer.
void set_initial_state(Model& s);

}  // namespace quilmar

#pragma once
#include "state/model.hpp"

namespace quilmar {

// Face areas and volumes scaled by the transmissive fraction, and the dispersion
// coefficients. The longitudinal dispersivity is reduced by half a cell length, the
// numerical dispersion that upwind advection adds by itself; a single-row grid has no
// transverse and a single-layer grid no vertical dispersion.
void compute_transport_coefficients(Model& s);

}  // namespace quilmar

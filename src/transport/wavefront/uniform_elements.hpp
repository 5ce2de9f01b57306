#pragma once
// A quick scan of the element arrays for the fast path's eligibility: whether every
// element shares the matrix code, the properties and the per-component values of the
// first element, the faces of the element of its line in column 1, and the matrix decay of
// the first element of its reaction zone.
#include "state/model.hpp"

namespace quilmar::wavefront {

// True only if every element is alike in that sense (and the arrays hold the whole grid);
// false leaves it to the element-by-element check, which also names what varies.
bool elements_uniform(const Model& s);

}  // namespace quilmar::wavefront

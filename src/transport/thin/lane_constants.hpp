#pragma once
// The step constants of a thin grid's lanes. The lanes of one vector hold cells of
// different columns (and, in a stream tube, different components), so near the bounds of
// the reaction zones their constants differ lane by lane. Each zone pattern of the layout
// gets its constants assembled once per step from those of the zones, value for value.
#include <vector>

#include "transport/thin/thin_layout.hpp"
#include "transport/wavefront/layout.hpp"
#include "transport/wavefront/zone_constants.hpp"

namespace quilmar::thin {

using wavefront::LaneValues;
using wavefront::MatrixVecs;

class LaneConstants {
public:
    // wave: the wavefront layout of the same grid, whose slots number the zone constants'
    // denominators.
    LaneConstants(const ThinLayout& layout, const wavefront::Layout& wave);

    // After the zone constants are formed for the step.
    void form(const ThinLayout& layout, const wavefront::ZoneConstants& zones);

    // Diagonals: the constants of component m for pattern p, and the denominators of group g.
    const MatrixVecs* vecs(int p) const { return &vecs_[static_cast<std::size_t>(p) * (kComponents + 1)]; }
    const LaneValues* denominators(int p, int g) const {
        return &den_[(static_cast<std::size_t>(p) * static_cast<std::size_t>(groups_) + static_cast<std::size_t>(g)) *
                     kComponents];
    }
    // Stream tube: lane l holds component l + 1.
    const MatrixVecs& tube_vecs(int p) const { return vecs_[static_cast<std::size_t>(p)]; }
    const LaneValues& tube_denominators(int p) const { return den_[static_cast<std::size_t>(p)]; }

private:
    int groups_ = 1;
    std::vector<int> slot_;  // [q]: the line's slot in the zone constants' denominators
    std::vector<MatrixVecs> vecs_;
    std::vector<LaneValues> den_;
};

}  // namespace quilmar::thin

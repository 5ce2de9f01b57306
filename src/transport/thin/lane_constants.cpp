#include "transport/thin/lane_constants.hpp"

#include <stdexcept>

#include "transport/wavefront/field_block.hpp"

namespace quilmar::thin {
namespace {

// MatrixVecs is a row of lane values; lane l of `to` takes lane l of `from`.
constexpr std::size_t kVecsPerSet = sizeof(MatrixVecs) / sizeof(LaneValues);
static_assert(sizeof(MatrixVecs) == kVecsPerSet * sizeof(LaneValues), "MatrixVecs holds lane values only");

void take_lane(MatrixVecs& to, const MatrixVecs& from, int l) {
    LaneValues* t = reinterpret_cast<LaneValues*>(&to);
    const LaneValues* f = reinterpret_cast<const LaneValues*>(&from);
    for (std::size_t n = 0; n < kVecsPerSet; ++n) t[n].v[l] = f[n].v[l];
}

}  // namespace

LaneConstants::LaneConstants(const ThinLayout& layout, const wavefront::Layout& wave) {
    groups_ = layout.shape() == Shape::kTube ? 1 : layout.groups();
    slot_.assign(static_cast<std::size_t>(layout.lines() + 1), -1);
    for (const wavefront::LineGroup& g : wave.groups())
        for (int l = 0; l < W; ++l)
            if (g.real[l])
                for (int q = 1; q <= layout.lines(); ++q)
                    if (layout.line(q).elem == g.elem[l]) slot_[static_cast<std::size_t>(q)] = g.slot + l;
    for (int q = 1; q <= layout.lines(); ++q)
        if (slot_[static_cast<std::size_t>(q)] < 0) throw std::logic_error("thin layout: a line without a slot");
    const std::size_t p = static_cast<std::size_t>(layout.patterns());
    if (layout.shape() == Shape::kTube) {
        vecs_.assign(p, MatrixVecs{});
        den_.assign(p, LaneValues{});
    } else {
        vecs_.assign(p * (kComponents + 1), MatrixVecs{});
        den_.assign(p * static_cast<std::size_t>(groups_) * kComponents, LaneValues{});
    }
}

void LaneConstants::form(const ThinLayout& layout, const wavefront::ZoneConstants& zones) {
    const auto* zv = zones.vecs();
    auto den_of = [&](int z, int m, int q) {
        return zones.denominators()[static_cast<std::size_t>((z - 1) * kComponents + m - 1) * wavefront::kDenGap +
                                    static_cast<std::size_t>(slot_[static_cast<std::size_t>(q)])];
    };
    for (int p = 0; p < layout.patterns(); ++p) {
        const int* z = layout.zones(p);
        if (layout.shape() == Shape::kTube) {
            for (int l = 0; l < W; ++l) {
                take_lane(vecs_[static_cast<std::size_t>(p)], zv[z[l]][l + 1], l);
                den_[static_cast<std::size_t>(p)].v[l] = den_of(z[l], l + 1, 1);
            }
            continue;
        }
        for (int m = 1; m <= kComponents; ++m) {
            MatrixVecs& k = vecs_[static_cast<std::size_t>(p) * (kComponents + 1) + static_cast<std::size_t>(m)];
            for (int l = 0; l < W; ++l) take_lane(k, zv[z[l]][m], l);
        }
        for (int g = 0; g < groups_; ++g)
            for (int m = 1; m <= kComponents; ++m) {
                LaneValues& d = den_[(static_cast<std::size_t>(p) * static_cast<std::size_t>(groups_) +
                                      static_cast<std::size_t>(g)) * kComponents + static_cast<std::size_t>(m - 1)];
                for (int l = 0; l < W; ++l) {
                    const int q = W * g + 1 + l;
                    d.v[l] = q <= layout.lines() ? den_of(z[l], m, q) : 1.0;  // idle lanes divide by one
                }
            }
    }
}

}  // namespace quilmar::thin

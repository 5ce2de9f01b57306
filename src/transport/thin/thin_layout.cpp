#include "transport/thin/thin_layout.hpp"

#include <algorithm>
#include <stdexcept>

#include "state/zones.hpp"

namespace quilmar::thin {

int ThinLayout::pattern_of(const int* z) {
    for (std::size_t p = 0; p < patterns_.size(); ++p)
        if (std::equal(z, z + W, patterns_[p].z)) return static_cast<int>(p);
    Pattern p{};
    std::copy(z, z + W, p.z);
    patterns_.push_back(p);
    return static_cast<int>(patterns_.size()) - 1;
}

ThinLayout::ThinLayout(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    if (!thin_grid(dk.ny, dk.nz)) throw std::logic_error("thin layout: the grid has more than one row and layer");
    nx_ = dk.nx;
    shape_ = dk.ny == 1 && dk.nz == 1 ? Shape::kTube : dk.ny == 1 ? Shape::kSection : Shape::kPlan;
    lines_ = shape_ == Shape::kSection ? dk.nz : shape_ == Shape::kPlan ? dk.ny : 1;
    line_.assign(static_cast<std::size_t>(lines_ + 1), Line{});
    for (int q = 1; q <= lines_; ++q) {
        Line& ln = line_[static_cast<std::size_t>(q)];
        ln.j = shape_ == Shape::kPlan ? q : 1;
        ln.k = shape_ == Shape::kSection ? q : 1;
        ln.kbottom = ln.k == 1;
        ln.ktop = ln.k == dk.nz && dk.nz > 1;
        ln.jfirst = ln.j == 1;
        ln.elem = (ln.j - 1) * dk.nz + ln.k;
        ln.embed = md.mdembed(ln.elem) == 1;
        ln.bot = md.mdbot(ln.elem) == 1;
        ln.top = md.mdtop(ln.elem) == 1;
    }
    // The zone of column i, for lanes outside the grid that of the nearest column (their
    // values are never stored, and constants of a zone keep their arithmetic ordinary).
    std::vector<int> zone(static_cast<std::size_t>(nx_ + 1), 1);
    for (int i = 1; i <= nx_; ++i)
        zone[static_cast<std::size_t>(i)] = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
    auto zone_of = [&](int i) { return zone[static_cast<std::size_t>(std::clamp(i, 1, nx_))]; };

    if (shape_ == Shape::kTube) {
        field_len_ = static_cast<std::size_t>(W * (nx_ + 2 + (W - 1) * kLag + 1) + W);
        sets_.assign(static_cast<std::size_t>(steps() + 1), LaneSet{});
        for (int t = 1; t <= steps(); ++t) {
            LaneSet& ls = sets_[static_cast<std::size_t>(t)];
            int z[W];
            for (int l = 0; l < W; ++l) {
                const int i = t - kLag * l;
                const bool real = i >= 1 && i <= nx_;
                ls.real.v[l] = real ? -1 : 0;
                ls.all_real = ls.all_real && real;
                z[l] = zone_of(i);
            }
            ls.pattern = pattern_of(z);
        }
        return;
    }
    groups_ = (lines_ + W - 1) / W;
    row_ = static_cast<std::size_t>(W * groups_ + 2);
    field_len_ = static_cast<std::size_t>(nx_ + lines_ + 3) * W * row_ + W;
    faces_.assign(static_cast<std::size_t>(groups_), GroupFaces{});
    for (int g = 0; g < groups_; ++g) {
        GroupFaces& f = faces_[static_cast<std::size_t>(g)];
        for (int l = 0; l < W; ++l) {
            const int q = W * g + 1 + l;
            if (q > lines_) continue;
            const Line& ln = line(q);
            f.kbottom.v[l] = ln.kbottom ? -1 : 0;
            f.ktop.v[l] = ln.ktop ? -1 : 0;
            f.jfirst.v[l] = ln.jfirst ? -1 : 0;
            f.bot.v[l] = ln.bot ? -1 : 0;
            f.top.v[l] = ln.top ? -1 : 0;
            f.kbottom_any = f.kbottom_any || ln.kbottom;
            f.ktop_any = f.ktop_any || ln.ktop;
            f.jfirst_any = f.jfirst_any || ln.jfirst;
            f.bot_any = f.bot_any || ln.bot;
            f.top_any = f.top_any || ln.top;
        }
    }
    const int diagonals = nx_ + lines_ + 1;
    sets_.assign(static_cast<std::size_t>(diagonals) * static_cast<std::size_t>(groups_), LaneSet{});
    for (int c = 2; c <= nx_ + lines_; ++c)
        for (int g = first_group(c); g <= last_group(c); ++g) {
            LaneSet& ls = sets_[static_cast<std::size_t>(c) * static_cast<std::size_t>(groups_) +
                                static_cast<std::size_t>(g)];
            int z[W];
            for (int l = 0; l < W; ++l) {
                const int q = W * g + 1 + l;
                const int i = c - q;
                const bool real = q <= lines_ && i >= 1 && i <= nx_;
                ls.real.v[l] = real ? -1 : 0;
                ls.all_real = ls.all_real && real;
                z[l] = zone_of(i);
            }
            ls.pattern = pattern_of(z);
        }
}

}  // namespace quilmar::thin

#include "transport/wavefront/batches.hpp"

#include <algorithm>

namespace quilmar::wavefront {
namespace {

GroupView view_of(const LineGroup& g, bool matrix_bound, bool matrix_embed) {
    GroupView v;
    v.kbottom = lane_mask(g.kbottom);
    v.ktop = lane_mask(g.ktop);
    v.jfirst = lane_mask(g.jfirst);
    v.embed = lane_mask(g.embed);
    v.bot = lane_mask(g.bot);
    v.top = lane_mask(g.top);
    v.real = lane_mask(g.real);
    v.bpos = g.bpos;
    GroupFlags& f = v.f;
    for (int l = 0; l < W; ++l) {
        f.kbottom_any = f.kbottom_any || (g.real[l] && g.kbottom[l]);
        f.ktop_any = f.ktop_any || (g.real[l] && g.ktop[l]);
        f.jfirst_any = f.jfirst_any || (g.real[l] && g.jfirst[l]);
        f.all_real = f.all_real && g.real[l];
        f.bound_any = f.bound_any || (matrix_bound && (g.bot[l] || g.top[l]));
        f.bot_any = f.bot_any || (matrix_bound && g.bot[l]);
        f.top_any = f.top_any || (matrix_bound && g.top[l]);
        f.embed_any = f.embed_any || (matrix_embed && g.embed[l]);
    }
    return v;
}

}  // namespace

unsigned role_of(const GroupFlags& f, bool row_first, bool row_last) {
    const unsigned role = (row_first ? kFirst : 0u) | (row_last ? kLast : 0u) | (f.bound_any ? kBound : 0u);
    if (!row_first && (f.ktop_any || f.jfirst_any)) return kAnyRole;
    if (!row_last && (f.kbottom_any || !f.all_real)) return kAnyRole;
    if (role == kBound) return kAnyRole;  // an inner group with a bounding layer
    return role;
}

BatchView batch_view(const Layout& layout, const LineGroup& first) {
    const int w = first.w;
    BatchView b;
    b.lw = layout.row_len(w);
    b.ld = layout.row_len(w - 1);
    b.lu = layout.row_len(w + 1);
    b.own = layout.row_start(w) + static_cast<std::size_t>(first.pos);
    b.down = layout.row_start(w - 1) + static_cast<std::size_t>(first.down);
    b.up = layout.row_start(w + 1) + static_cast<std::size_t>(first.up);
    b.bown = layout.bound_at(first.w, 0, 1, 0);
    b.slot = first.slot;
    return b;
}

Batches::Batches(const Layout& layout, bool matrix_bound, bool matrix_embed) {
    const std::vector<LineGroup>& groups = layout.groups();
    for (const LineGroup& g : groups) views_.push_back(view_of(g, matrix_bound, matrix_embed));
    for (int w = 0; w < layout.waves(); ++w) {
        wave_first_batch_.push_back(static_cast<int>(batches_.size()));
        const int g0 = layout.first_group(w);
        const int g1 = layout.first_group(w + 1);
        for (int g = g0; g < g1;) {
            const int left = g1 - g;
            Batch bt;
            bt.first = g;
            bt.count = left == 4 ? 2 : std::min(left, 3);
            unsigned role[3] = {kInner, kInner, kInner};
            for (int l = 0; l < bt.count; ++l)
                role[l] = role_of(views_[static_cast<std::size_t>(g + l)].f, g + l == g0, g + l == g1 - 1);
            bt.key = shape_key(bt.count, role[0], role[1], role[2]);
            bt.at = batch_view(layout, groups[static_cast<std::size_t>(g)]);
            batches_.push_back(bt);
            g += bt.count;
        }
    }
    wave_first_batch_.push_back(static_cast<int>(batches_.size()));
}

}  // namespace quilmar::wavefront

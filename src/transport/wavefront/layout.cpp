#include "transport/wavefront/layout.hpp"

#include <algorithm>
#include <stdexcept>

namespace quilmar::wavefront {

int RowPlan::slots() const {
    int n = 0;
    for (int l : len) n += l;
    return n;
}

RowPlan plan_rows(int ny, int nz) {
    const int nrows = ny + nz + 1;
    const std::size_t rows = static_cast<std::size_t>(nrows + 2);
    RowPlan r;
    r.lo.assign(rows, 1);
    r.hi.assign(rows, 0);
    r.len.assign(rows, 0);
    std::vector<int> reach(rows, 0);
    for (int w = 1; w <= nrows; ++w) {
        r.lo[static_cast<std::size_t>(w)] = std::max(1, w - nz);
        r.hi[static_cast<std::size_t>(w)] = std::min(ny, w - 1);
    }
    // A read of `lines` slots from `first` in row w.
    auto touch = [&](int w, int first, int lines) {
        if (first < 0) throw std::logic_error("wavefront layout: a neighbour read before its row");
        reach[static_cast<std::size_t>(w)] = std::max(reach[static_cast<std::size_t>(w)], first + lines - 1);
    };
    for (int w = 2; w <= ny + nz; ++w)
        for (int j0 = r.lo[static_cast<std::size_t>(w)]; j0 <= r.hi[static_cast<std::size_t>(w)]; j0 += W) {
            const int lines = std::min(W, r.hi[static_cast<std::size_t>(w)] - j0 + 1);
            touch(w, r.pos(w, j0), lines);
            touch(w - 1, r.pos(w - 1, j0), lines);
            touch(w - 1, r.pos(w - 1, j0 - 1), lines);
            touch(w + 1, r.pos(w + 1, j0), lines);
            touch(w + 1, r.pos(w + 1, j0 + 1), lines);
        }
    for (std::size_t w = 1; w <= static_cast<std::size_t>(nrows); ++w)
        r.len[w] = std::max(std::max(0, r.hi[w] - r.lo[w] + 1) + 2, reach[w] + 1);
    return r;
}

Layout::Layout(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    nx_ = dk.nx;
    ny_ = dk.ny;
    nz_ = dk.nz;
    nynz_ = ny_ * nz_;
    slot_row_.assign(static_cast<std::size_t>(nynz_), 0);
    slot_pos_.assign(static_cast<std::size_t>(nynz_), 0);

    const RowPlan plan = plan_rows(ny_, nz_);
    const std::vector<int>& lo = plan.lo;
    const std::vector<int>& hi = plan.hi;
    auto pos = [&plan](int w, int j) { return plan.pos(w, j); };
    const int nrows = ny_ + nz_ + 1;
    const std::size_t rows = static_cast<std::size_t>(nrows + 2);
    std::vector<int> first_slot(rows, 0);
    row_len_ = plan.len;
    row_start_.assign(rows, 0);
    int next = 0;
    std::size_t field = 0;
    for (int w = 1; w <= nrows; ++w) {
        const std::size_t r = static_cast<std::size_t>(w);
        first_slot[r] = next;
        next += row_len_[r];
        row_start_[r] = field;
        field += static_cast<std::size_t>(nx_ + 2) * kComponents * static_cast<std::size_t>(row_len_[r]);
    }
    nslots_ = next;
    field_len_ = field;
    for (int j = 1; j <= ny_; ++j)
        for (int k = 1; k <= nz_; ++k) {
            const std::size_t jk = static_cast<std::size_t>((j - 1) * nz_ + (k - 1));
            slot_row_[jk] = j + k;
            slot_pos_[jk] = pos(j + k, j);
        }
    line_start_.assign(static_cast<std::size_t>(nynz_), 0);
    line_stride_.assign(static_cast<std::size_t>(nynz_), 0);
    for (std::size_t jk = 0; jk < static_cast<std::size_t>(nynz_); ++jk) {
        const std::size_t w = static_cast<std::size_t>(slot_row_[jk]);
        line_start_[jk] = row_start_[w] + static_cast<std::size_t>(slot_pos_[jk]);
        line_stride_[jk] = static_cast<std::size_t>(row_len_[w]);
    }

    for (int w = 2; w <= ny_ + nz_; ++w) {
        wave_first_group_.push_back(static_cast<int>(groups_.size()));
        for (int j0 = lo[static_cast<std::size_t>(w)]; j0 <= hi[static_cast<std::size_t>(w)]; j0 += W) {
            LineGroup g{};
            g.w = w;
            g.pos = pos(w, j0);
            g.slot = first_slot[static_cast<std::size_t>(w)] + g.pos;
            g.down = pos(w - 1, j0);
            g.up = pos(w + 1, j0);
            for (int l = 0; l < W; ++l) {
                const int j = j0 + l, k = w - j;
                g.real[l] = j <= hi[static_cast<std::size_t>(w)];
                g.elem[l] = 1;
                if (!g.real[l]) continue;
                g.kbottom[l] = k == 1;
                g.ktop[l] = k == nz_ && nz_ > 1;
                g.jfirst[l] = j == 1;
                const int n = (j - 1) * nz_ + k;
                g.elem[l] = n;
                g.embed[l] = md.mdembed(n) == 1;
                g.bot[l] = md.mdbot(n) == 1;
                g.top[l] = md.mdtop(n) == 1;
                has_embed_ = has_embed_ || g.embed[l];
                has_bound_ = has_bound_ || g.bot[l] || g.top[l];
                g.bound = g.bound || g.bot[l] || g.top[l];
            }
            const bool row_first = j0 == lo[static_cast<std::size_t>(w)];
            const bool row_last = j0 + W > hi[static_cast<std::size_t>(w)];
            if (g.bound && !row_first && !row_last)
                throw std::logic_error("wavefront layout: a bounding aquitard inside a row");
            g.bpos = row_last && !row_first ? W : 0;
            groups_.push_back(g);
        }
    }
    wave_first_group_.push_back(static_cast<int>(groups_.size()));
    if (!fits_field_block(field_len_, static_cast<std::size_t>(nslots_), bound_field_doubles(nx_, ny_, nz_)))
        throw std::logic_error("wavefront layout: the grid's field exceeds the field block");
}

}  // namespace quilmar::wavefront

#pragma once
// The grid in wavefront order. Every x-line (j, k) is a slot. The slots of one wavefront
// w = j + k form a row ordered by j, with one ghost slot before the first line and at least
// one after the last: a ghost stands for a cell outside the grid (layer 0 or nz+1, row 0 or
// the zero row ny+1) and always holds zero. Then the neighbours k-1 and j-1 of four
// consecutive lines of row w are four consecutive slots of row w-1, and the neighbours
// k+1 and j+1 four consecutive slots of row w+1, so every neighbour comes in one vector
// load. Rows are padded so that the lanes past a row's last line (idle lanes) stay inside
// it; idle lanes compute but never store into the field.
// A field stores each row as one block ordered by column i = 0..nx+1, then component, then
// slot, so that a group walking along x streams through contiguous memory.
// A line's position in its row is j less a constant of the row. So the neighbour j-1 of a
// line sits one slot before its neighbour k-1, the neighbour j+1 one slot after its
// neighbour k+1, and the groups of a wavefront, four lines apart, lie four slots apart in
// their row and in both neighbour rows: a batch of groups is addressed from its first.
#include <cstddef>
#include <vector>

#include "state/model.hpp"
#include "transport/wavefront/field_block.hpp"

namespace quilmar::wavefront {

// Slots per row of the field, ghosts included: rows of wavefronts w = 1 .. ny+nz+1 (rows 1
// and ny+nz+1 hold only ghosts), in len[1..ny+nz+1]. A row keeps one ghost before its first
// line, one after its last, and room for every slot that a line of its own groups or a
// neighbour read of a line of the next rows' groups reaches. Lines j of row w are
// lo[w]..hi[w], at positions j - lo[w] + 1. The idle lanes of a row's last group reach up
// to two slots past the row's slots of one column and component, into those of the next
// component or column of the same row (after the last column swept, into the ghost column
// nx+1): they read what lies there, and every store leaves it as it was read.
struct RowPlan {
    std::vector<int> lo, hi, len;
    int pos(int w, int j) const { return j - lo[static_cast<std::size_t>(w)] + 1; }
    int slots() const;
};
RowPlan plan_rows(int ny, int nz);

// Four lines of one wavefront row, side by side in the lanes.
struct LineGroup {
    int w = 0;                            // wavefront row
    int pos = 0;                          // position of the first lane in its row
    int slot = 0;                         // slot number of the first lane (per-slot tables)
    int down = 0;                         // first neighbour position in row w-1 (k-1)
    int up = 0;                           // first neighbour position in row w+1 (k+1)
    bool real[W];                         // lane holds a line of the grid
    bool kbottom[W], ktop[W], jfirst[W];  // k = 1; k = nz > 1; j = 1
    bool embed[W], bot[W], top[W];        // active matrix interfaces of the line's elements
    int elem[W];                          // element number of the line's cell in column 1
    bool bound = false;                   // some lane has a bounding aquitard
    int bpos = 0;                         // position of its first lane in the aquitard fields' rows
};

// Where every line and every group lies in the fields.
class Layout {
public:
    // The layout of the model's grid; the matrix interfaces of the lines from the elements of
    // column 1 (every column alike).
    explicit Layout(const Model& s);

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    int nz() const { return nz_; }
    int nynz() const { return nynz_; }
    int slots() const { return nslots_; }
    std::size_t field_len() const { return field_len_; }
    std::size_t row_len(int w) const { return static_cast<std::size_t>(row_len_[static_cast<std::size_t>(w)]); }
    std::size_t row_start(int w) const { return row_start_[static_cast<std::size_t>(w)]; }
    bool has_embed() const { return has_embed_; }
    bool has_bound() const { return has_bound_; }

    const std::vector<LineGroup>& groups() const { return groups_; }
    // Wavefronts 0 .. waves()-1 (rows 2 .. ny+nz); the groups of wavefront v are
    // [first_group(v), first_group(v + 1)).
    int waves() const { return static_cast<int>(wave_first_group_.size()) - 1; }
    int first_group(int v) const { return wave_first_group_[static_cast<std::size_t>(v)]; }

    // Place of (row w, column i, component m, position pos) in a field.
    std::size_t at(int w, int i, int m, int pos) const {
        return row_start(w) + static_cast<std::size_t>(i * kComponents + (m - 1)) * row_len(w) +
               static_cast<std::size_t>(pos);
    }
    // Place of (row w, column i, component m, position bpos) in an aquitard field.
    std::size_t bound_at(int w, int i, int m, int bpos) const {
        return (static_cast<std::size_t>(w) * static_cast<std::size_t>(nx_ + 2) + static_cast<std::size_t>(i)) *
                   kComponents * kBoundSlots +
               static_cast<std::size_t>((m - 1) * kBoundSlots + bpos);
    }
    std::size_t cell_at(int i, int m, int j, int k) const {
        const std::size_t jk = static_cast<std::size_t>((j - 1) * nz_ + (k - 1));
        return at(slot_row_[jk], i, m, slot_pos_[jk]);
    }
    // Line jk = (j-1)*nz + k-1: its place in column 0, component 1 of a field, and the
    // distance from one component (or column, times components) to the next.
    std::size_t line_start(std::size_t jk) const { return line_start_[jk]; }
    std::size_t line_stride(std::size_t jk) const { return line_stride_[jk]; }

    // Calls f(g, l, n) for every cell of column i: lane l of group g, element n.
    template <class F>
    void cells_of_column(int i, F&& f) const {
        for (const LineGroup& g : groups_)
            for (int l = 0; l < W; ++l)
                if (g.real[l]) f(g, l, (i - 1) * nynz_ + g.elem[l]);
    }
    // Calls f(j, k, jk) for every line, jk = (j-1)*nz + k-1, row by row and within a row slot
    // by slot: the order of the lines in the field.
    template <class F>
    void lines_in_field_order(F&& f) const {
        for (int w = 2; w <= ny_ + nz_; ++w)
            for (int j = w - nz_ > 1 ? w - nz_ : 1; j <= (ny_ < w - 1 ? ny_ : w - 1); ++j)
                f(j, w - j, static_cast<std::size_t>((j - 1) * nz_ + (w - j - 1)));
    }

private:
    int nx_ = 0, ny_ = 0, nz_ = 0, nynz_ = 0;
    int nslots_ = 0;
    std::vector<int> slot_row_, slot_pos_;  // (j-1)*nz + (k-1) -> row and position in it
    std::vector<int> row_len_;              // slots per row, ghosts and padding included
    std::vector<std::size_t> row_start_;    // start of a row's block in a field
    std::vector<std::size_t> line_start_, line_stride_;
    std::size_t field_len_ = 0;
    std::vector<LineGroup> groups_;
    std::vector<int> wave_first_group_;
    bool has_embed_ = false, has_bound_ = false;
};

}  // namespace quilmar::wavefront

#pragma once
// The grid of a thin model in the order its sweep takes the cells, with the lanes of a
// vector filled although the x-line wavefronts of a thin grid hold a single line.
//
// A cross-section (one row) or a plan view (one layer) has L lines across the flow, q =
// 1..L (layers k, or rows j). Cell (i, q) needs the new values of (i-1, q) and (i, q-1) and
// the old ones of (i+1, q) and (i, q+1), so the cells of a diagonal c = i + q are
// independent of each other: the sweep takes the diagonals in turn and, within one, four
// lines side by side. A field stores diagonal after diagonal, each as four components of a
// row of R slots (slot q holds line q; slots 0 and L+1 are zero ghosts), so that
//   (i, m, q)  lies at  ((i + q) * 4 + m - 1) * R + q,
// the west and east neighbours 4R before and after, the one below 4R + 1 before and the
// one above 4R + 1 after: every neighbour of four lanes comes in one vector load.
//
// A stream tube (one row, one layer) has a single line. There the four components fill
// the lanes: component m of cell i needs component m-1 of the same cell, so component m
// runs kLag cells behind component m-1. Cell i's component m lies at
//   4 * (i + kLag * (m - 1)) + m - 1,
// and the sweep's step t takes cell t - kLag * l in lane l. The parent of lane l is lane
// l-1 of step t - kLag, which then holds the new value; a lag of two cells leaves the
// chain from parent to daughter a step's time to complete.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "state/model.hpp"
#include "transport/wavefront/lanes.hpp"

namespace quilmar::thin {

using wavefront::W;

enum class Shape { kTube, kSection, kPlan };

// Whether the grid is thin: one row or one layer.
inline bool thin_grid(int ny, int nz) { return ny == 1 || nz == 1; }

// A line across the flow: its faces and the matrices its cells exchange with (every cell of
// a line alike), and its element number in column 1.
struct Line {
    bool kbottom = false, ktop = false, jfirst = false;
    bool embed = false, bot = false, top = false;
    int elem = 1;
    int j = 1, k = 1;
};

// Four lanes of one diagonal (or, in a tube, one step): which lanes hold a cell of the
// grid, and which zone pattern their constants come from.
struct LaneSet {
    wavefront::LaneMask real;
    bool all_real = true;
    int pattern = 0;
};

// The faces and bounding aquitards of a group of four lines (diagonals), lane by lane, and
// whether any lane has each.
struct GroupFaces {
    wavefront::LaneMask kbottom, ktop, jfirst, bot, top;
    bool kbottom_any = false, ktop_any = false, jfirst_any = false, bot_any = false, top_any = false;
};

class ThinLayout {
public:
    static constexpr int kLag = 2;

    explicit ThinLayout(const Model& s);

    Shape shape() const { return shape_; }
    int nx() const { return nx_; }
    int lines() const { return lines_; }
    const Line& line(int q) const { return line_[static_cast<std::size_t>(q)]; }
    std::size_t field_len() const { return field_len_; }

    // Place of cell i (0..nx+1), component m, line q in a field.
    std::size_t at(int i, int m, int q) const {
        if (shape_ == Shape::kTube)
            return static_cast<std::size_t>(W * (i + kLag * (m - 1)) + m - 1);
        return (static_cast<std::size_t>(i + q) * W + static_cast<std::size_t>(m - 1)) * row_ +
               static_cast<std::size_t>(q);
    }

    // From one component of a cell to the next in a field.
    std::size_t component_stride() const {
        return shape_ == Shape::kTube ? static_cast<std::size_t>(W * kLag + 1) : row_;
    }

    // Diagonals (cross-section, plan view): slots per row and component, groups of four lines.
    std::size_t row() const { return row_; }
    int groups() const { return groups_; }
    // The diagonals c = 2 .. nx + L; the groups of c with a cell of the grid are
    // first_group(c) .. last_group(c).
    int first_group(int c) const { return (std::max(1, c - nx_) - 1) / W; }
    int last_group(int c) const { return (std::min(lines_, c - 1) - 1) / W; }
    const LaneSet& lanes(int c, int g) const {
        return sets_[static_cast<std::size_t>(c) * static_cast<std::size_t>(groups_) + static_cast<std::size_t>(g)];
    }

    // Stream tube: steps t = 1 .. nx + 3 * kLag, and their lanes.
    int steps() const { return nx_ + (W - 1) * kLag; }
    const LaneSet& step_lanes(int t) const { return sets_[static_cast<std::size_t>(t)]; }

    // For the kernels: the lane sets as lanes() and step_lanes() index them, and per group
    // its lanes' faces and matrices.
    const LaneSet* sets() const { return sets_.data(); }
    const GroupFaces* all_faces() const { return faces_.data(); }

    // Zone patterns: lane l of pattern p takes the constants of zone zones(p)[l] (for a tube,
    // of component l + 1).
    int patterns() const { return static_cast<int>(patterns_.size()); }
    const int* zones(int p) const { return patterns_[static_cast<std::size_t>(p)].z; }

private:
    struct Pattern {
        int z[W];
    };
    int pattern_of(const int* z);

    Shape shape_ = Shape::kTube;
    int nx_ = 0, lines_ = 1, groups_ = 1;
    std::size_t row_ = W, field_len_ = 0;
    std::vector<Line> line_;  // [q], q = 1..L
    std::vector<LaneSet> sets_;
    std::vector<GroupFaces> faces_;
    std::vector<Pattern> patterns_;
};

}  // namespace quilmar::thin

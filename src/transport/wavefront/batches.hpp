#pragma once
// Groups of four lines as the kernels see them (lane masks and flags), and the batches of
// up to three groups of one wavefront that a kernel sweeps side by side, each with its
// shape: how many groups and the role of each in its row.
#include <cstddef>
#include <vector>

#include "transport/wavefront/layout.hpp"

namespace quilmar::wavefront {

// Which terms a group works on. Some lane has a bounding face / embedded material: only
// then does the group work on that kind of matrix (the other lanes' results of it would be
// dropped by the masks). Some lane lies at k = 1 / at k = nz / at j = 1; every lane holds a
// line. A face mask no lane has, or the lane mask when every lane holds a line, picks the
// same terms in every lane, so the kernels skip it.
struct GroupFlags {
    bool bound_any = false, embed_any = false;
    bool bot_any = false, top_any = false;  // some lane has a bounding layer below / above
    bool kbottom_any = false, ktop_any = false, jfirst_any = false, all_real = true;
};

// What the kernel needs of one group: lane masks and flags.
struct GroupView {
    LaneMask kbottom, ktop, jfirst, embed, bot, top, real;
    GroupFlags f;
    int bpos;  // position of its first lane in the aquitard fields' rows
};

// Where a batch of groups of one wavefront lies in the fields: the first group's offsets,
// the others W slots apart each.
struct BatchView {
    std::size_t own, down, up;  // field offsets of column 0, component 1 in rows w, w-1, w+1
    std::size_t bown;           // offset of row w, column 0, component 1 in the aquitard fields
    std::size_t lw, ld, lu;     // lengths of the own row and of rows w-1, w+1
    int slot;
};

// The columns first..last of a wavefront that one member sweeps. If another member sweeps
// the next columns, shared is the last: there the idle lanes of a row's last group, which
// reach into the next column's first slots, must not write at all, not even what they read,
// since that member may be reading those slots at the same time. (What those lanes load
// there is dropped.) Otherwise shared is 0.
struct ColumnRange {
    int first = 1, last = 0, shared = 0;
};

// Where a group lies in its wavefront row. The row's first line (j = 1, or k = nz) falls
// in its first group, its last line (k = 1) and any idle lanes in its last; the bounding
// layers touch only those two lines. Groups between hold inner lines only: every lane
// real, no face, no bounding layer. A kernel for batches of known roles fixes every flag
// at compile time and carries no test of them per cell. It takes a first or last group's
// face and idle-lane flags as set, and its bounding-layer flags as set if the group has
// a bounding layer at all (kBound): their masks then pick the exact terms per lane, and a
// mask clear in every lane picks the same bits as the skipped select. The embedded
// material is in every element or in none, so the kernel's kind says it for every group.
enum Role : unsigned { kInner = 0, kFirst = 1, kLast = 2, kBound = 4, kAnyRole = 8 };

constexpr unsigned shape_key(int count, unsigned r0, unsigned r1, unsigned r2) {
    return static_cast<unsigned>(count) | r0 << 4 | r1 << 8 | r2 << 12;
}

// The role of a group from its place in the row and its flags; kAnyRole if its flags do
// not fit that place.
unsigned role_of(const GroupFlags& f, bool row_first, bool row_last);

struct Batch {
    int first = 0, count = 0;  // its groups
    unsigned key = 0;          // its shape: count and roles (shape_key)
    BatchView at;              // where its groups lie in the fields
};

// Every wavefront's groups in batches of up to three (four as two and two), and the
// groups' views.
class Batches {
public:
    // matrix_bound / matrix_embed: the run works on that kind of matrix.
    Batches(const Layout& layout, bool matrix_bound, bool matrix_embed);

    const std::vector<GroupView>& views() const { return views_; }
    const std::vector<Batch>& all() const { return batches_; }
    // Batches of wavefront v: [first_batch(v), first_batch(v + 1)).
    int first_batch(int v) const { return wave_first_batch_[static_cast<std::size_t>(v)]; }

private:
    std::vector<GroupView> views_;
    std::vector<Batch> batches_;
    std::vector<int> wave_first_batch_;
};

// Where the batch starting with group `first` lies in the fields.
BatchView batch_view(const Layout& layout, const LineGroup& first);

}  // namespace quilmar::wavefront

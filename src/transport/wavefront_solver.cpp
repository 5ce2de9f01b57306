#include "transport/wavefront_solver.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/mman.h>

#include "matrixdiffusion/md_math.hpp"
#include "results/result_pass.hpp"
#include "transport/env_switch.hpp"
#include "transport/thread_team.hpp"
#include "state/zones.hpp"

namespace quilmar {
namespace {

// ---------------------------------------------------------------------------------------
// Lanes: four doubles side by side, with the plain IEEE operations of the scalar update
// applied lane by lane (no contraction into fused operations: the build forbids it).
constexpr int W = 4;
typedef double Vec __attribute__((vector_size(W * sizeof(double))));
typedef long long Mask __attribute__((vector_size(W * sizeof(double))));

inline Vec splat(double x) { return Vec{x, x, x, x}; }
// +0 in every lane.
inline Vec zeros() { return Vec{}; }
// Four doubles at p, which need only a double's alignment. Read and written as doubles (a
// vector of doubles aliases doubles only), so that the compiler knows a field store leaves
// the solver's offsets and pointers as they were.
typedef double VecAtDouble __attribute__((vector_size(W * sizeof(double)), aligned(alignof(double))));
inline Vec load(const double* p) { return *reinterpret_cast<const VecAtDouble*>(p); }
inline void store(double* p, Vec v) { *reinterpret_cast<VecAtDouble*>(p) = v; }
// Lane by lane: a where the mask is set (all ones), b where it is clear. Picks bits, no
// arithmetic.
inline Vec select(Mask m, Vec a, Vec b) { return m ? a : b; }
inline Vec abs_of(Vec v) {
    const Mask no_sign = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return (Vec)((Mask)v & no_sign);
}
inline Mask lane_mask(const bool* on) { return Mask{on[0] ? -1LL : 0, on[1] ? -1LL : 0, on[2] ? -1LL : 0, on[3] ? -1LL : 0}; }

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The solver's per-cell fields (cnew, cold, the old-level part of bb and the stored amounts
// of both kinds of matrix) lie in one mapping, a fixed distance apart: a kernel then
// reaches every field of a cell from the address of its new value by a constant offset
// (those of the bounding aquitards from the cell's place in their own shorter rows, see
// kBoundSlots) and keeps its registers for the rows it works on. The distance holds the
// fields of any grid within the element capacity (at most 2.90 million doubles, for 1999 x
// 5 x 50 cells, and 3.65 million for its aquitard fields; eligible() checks it). It is not
// a multiple of a page, so that one cell's values in the different fields fall on
// different cache sets: at a multiple, the sweep ran three times slower. The mapping
// starts zeroed, and pages never touched (the fields a run does not use, the room beyond
// its field) take no memory.
struct FieldBlock {
    static constexpr std::size_t kGap = (std::size_t{1} << 22) + 1344;  // doubles
    enum Field : int { kCnew, kCold, kBase1, kBase2, kAmount1, kAmount2, kCount };
    static constexpr std::size_t offset(Field f) { return static_cast<std::size_t>(f) * kGap; }

    FieldBlock() = default;
    FieldBlock(const FieldBlock&) = delete;
    FieldBlock& operator=(const FieldBlock&) = delete;

    void* mapping = nullptr;
    std::size_t mapped = 0;
    double* base = nullptr;  // field kCnew

    // field_len: the doubles of one field. A field of several megabytes is placed on huge
    // pages where the system allows it (a request only: small pages serve as well): a sweep
    // streams through several fields at once, and with small pages every few columns would
    // start a new page in each.
    void map(std::size_t field_len) {
        constexpr std::size_t kHugePage = std::size_t{2} << 20;
        mapped = kCount * kGap * sizeof(double) + kHugePage;
        mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapping == MAP_FAILED) {
            mapping = nullptr;
            throw std::bad_alloc();
        }
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapping);
        base = reinterpret_cast<double*>((start + kHugePage - 1) / kHugePage * kHugePage);
        if (field_len * sizeof(double) >= 2 * kHugePage) madvise(base, kCount * kGap * sizeof(double), MADV_HUGEPAGE);
    }
    double* field(Field f) const { return base + offset(f); }
    ~FieldBlock() {
        if (mapping) munmap(mapping, mapped);
    }
};

// The full diagonal coefficients, per reaction zone and component an array over the slots,
// the arrays a fixed distance apart (room for the slots of any grid within the array
// limits, at most 2650, with a shift of a cache line) so that one address per zone reaches
// all four components.
constexpr std::size_t kDenGap = 4096 + 8;

// The fields of the bounding aquitards (the old-level part of bb and the stored amounts)
// hold only the first and the last group of every row: a row's top line, if it has one, is
// its first line, and its bottom line its last. Per row, column and component they keep
// eight slots, the row's first group at 0 and its last at 4 (at 0 where it is also the
// first), so that a sweep streams a little over half of what a full field would take.
constexpr int kBoundSlots = 2 * W;

// Doubles of an aquitard field: rows 0 .. ny+nz+1, columns 0 .. nx+1.
constexpr std::size_t bound_field_doubles(int nx, int ny, int nz) {
    return static_cast<std::size_t>(ny + nz + 2) * static_cast<std::size_t>(nx + 2) * kComponents * kBoundSlots;
}

// Whether a field of field_len doubles over this many slots per column and component, and
// the aquitard fields of the grid, fit the field block and the denominators' arrays (with
// room for the reads of idle lanes past the last slot).
constexpr bool fits_field_block(std::size_t field_len, std::size_t slots, std::size_t bound_len) {
    return field_len + W <= FieldBlock::kGap && bound_len <= FieldBlock::kGap && slots + W <= kDenGap;
}

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
    int slots() const {
        int n = 0;
        for (int l : len) n += l;
        return n;
    }
};

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

}  // namespace

// The hand-off of a snapshot's lines from the member that formats them to the member that
// writes them, through a ring of column texts: column i is formatted into entry i % size
// once column i - size is written, and written once it is formatted. If the formatting
// fails, its error stops the writing pass; if the writing pass stops (a result file that
// cannot be written), the formatting is abandoned.
struct SnapshotHandoff {
    explicit SnapshotHandoff(std::vector<std::string>& texts) : ring(texts) {}
    std::vector<std::string>& ring;
    std::atomic<int> formatted{0}, written{0};
    std::atomic<bool> format_failed{false}, abandoned{false};
    std::exception_ptr format_error;

    std::string& lines_of(int i) { return ring[static_cast<std::size_t>(i) % ring.size()]; }
    // The formatting side: false if the writing pass has stopped.
    bool wait_for_room(int i) const {
        const int needed = i - static_cast<int>(ring.size());
        spin_until([&] {
            return abandoned.load(std::memory_order_acquire) || written.load(std::memory_order_acquire) >= needed;
        });
        return !abandoned.load(std::memory_order_acquire);
    }
    void fail(std::exception_ptr e) {
        format_error = std::move(e);
        format_failed.store(true, std::memory_order_release);
        formatted.store(std::numeric_limits<int>::max(), std::memory_order_release);
    }
    // The writing side, as the result pass's snapshot.
    void column(LineFile& quilmar, int i, double) {
        wait_at_least(formatted, i);
        if (format_failed.load(std::memory_order_acquire)) std::rethrow_exception(format_error);
        quilmar.write_lines(lines_of(i));
        written.store(i, std::memory_order_release);
    }
    void cell(LineFile&, int, int, const double*) const {}
};

// ---------------------------------------------------------------------------------------
// Grid in wavefront order. Every x-line (j, k) is a slot. The slots of one wavefront
// s = j + k form a row ordered by j, with one ghost slot before the first line and at least
// one after the last: a ghost stands for a cell outside the grid (layer 0 or nz+1, row 0 or
// the zero row ny+1) and always holds zero. Then the neighbours k-1 and j-1 of four
// consecutive lines of row s are four consecutive slots of row s-1, and the neighbours
// k+1 and j+1 four consecutive slots of row s+1, so every neighbour comes in one vector
// load. Rows are padded so that the lanes past a row's last line (idle lanes) stay inside
// it; idle lanes compute but never store into the field.
// A field stores each row as one block ordered by column i = 0..nx+1, then component, then
// slot, so that a group walking along x streams through contiguous memory.
// A line's position in its row is j less a constant of the row. So the neighbour j-1 of a
// line sits one slot before its neighbour k-1, the neighbour j+1 one slot after its
// neighbour k+1, and the groups of a wavefront, four lines apart, lie four slots apart in
// their row and in both neighbour rows: a batch of groups is addressed from its first.
struct LineGroup {
    int w = 0;                          // wavefront row
    int pos = 0;                        // position of the first lane in its row
    int slot = 0;                       // slot number of the first lane (per-slot tables)
    int down = 0;                       // first neighbour position in row w-1 (k-1)
    int up = 0;                         // first neighbour position in row w+1 (k+1)
    bool real[W];                       // lane holds a line of the grid
    bool kbottom[W], ktop[W], jfirst[W];  // k = 1; k = nz > 1; j = 1
    bool embed[W], bot[W], top[W];      // active matrix interfaces of the line's elements
    int elem[W];                        // element number of the line's cell in column 1
    bool bound = false;                 // some lane has a bounding aquitard
    int bpos = 0;                       // position of its first lane in the aquitard fields' rows
};

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

// What the kernel needs of one group: lane masks and flags. Stored per group; aligned for
// the AVX2 kernels, which may load its masks with aligned loads (outside them a vector of
// four doubles counts as 16-byte aligned).
struct alignas(32) GroupView {
    Mask kbottom, ktop, jfirst, embed, bot, top, real;
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
    // Offset of group g in column i, component m.
    std::size_t at(int g, int i, int m) const {
        return own + static_cast<std::size_t>(W * g) + static_cast<std::size_t>(i * kComponents + m - 1) * lw;
    }
    // Offset in the aquitard fields of the group at bpos in column i, component m.
    std::size_t bound_at(int i, int m, int bpos) const {
        return bown + static_cast<std::size_t>((i * kComponents + m - 1) * kBoundSlots + bpos);
    }
};

// The columns first..last of a wavefront that one member sweeps. If another member sweeps
// the next columns, shared is the last: there the idle lanes of a row's last group, which
// reach into the next column's first slots, must not write at all, not even what they read,
// since that member may be reading those slots at the same time. (What those lanes load
// there is dropped.) Otherwise shared is 0.
struct ColumnRange {
    int first = 1, last = 0, shared = 0;
};

// Step constants of one component in one reaction zone.
struct CompZone {
    double storage = 0, decay = 0, production = 0;
    // matrix diffusion
    double alpha = 0, lambdar = 0, d = 0;
    mdmath::Moments mom{};
    mdmath::FitTerms f1{}, f2{};
    double aa1 = 0, aa2 = 0, k1 = 0, k2 = 0;
    double yield = 0, lambda_parent = 0, retard = 0;
};

// Step constants of one component in one zone for the kernels (those of the matrices used
// only with matrix diffusion), each formed by the expression of the scalar update and
// splat across the lanes once per step. Aligned for the AVX2 kernels, as GroupView.
struct alignas(32) MatrixVecs {
    Vec storage, production, k1, k2;
    // bb = (old-level part + production from the parent's stored amount
    //       + production from the parent's cell concentration) / aabot
    Vec pre, retard, den2, pa1, pa2, aabot1, aabot2;
    // q and the stored amount
    Vec d, alpha, alpha_dt, lambdar, ylp, retard_alpha, two_d, d_2d;
    Vec aa1, aa2, delt1, gam1, beta1, delt2, gam2, beta2;
};

MatrixVecs matrix_vecs(const CompZone& q, double dt) {
    MatrixVecs k;
    k.storage = splat(q.storage);
    k.production = splat(q.production);
    k.k1 = splat(q.k1);
    k.k2 = splat(q.k2);
    k.pre = splat(q.yield * q.lambda_parent * dt);
    k.retard = splat(q.retard);
    k.den2 = splat(2.0 * q.alpha * q.retard);
    k.pa1 = splat(q.f1.a * q.yield * q.lambda_parent);
    k.pa2 = splat(q.f2.a * q.yield * q.lambda_parent);
    k.aabot1 = splat(q.f1.aabot);
    k.aabot2 = splat(q.f2.aabot);
    k.d = splat(q.d);
    k.alpha = splat(q.alpha);
    k.alpha_dt = splat(q.alpha * dt);
    k.lambdar = splat(q.lambdar);
    k.ylp = splat(q.yield * q.lambda_parent);
    k.retard_alpha = splat(q.retard * q.alpha);
    k.two_d = splat(2.0 * q.d);
    k.d_2d = splat(q.d * (2.0 * q.d));
    k.aa1 = splat(q.aa1);
    k.aa2 = splat(q.aa2);
    k.delt1 = splat(q.mom.delt1);
    k.gam1 = splat(q.mom.gam1);
    k.beta1 = splat(q.mom.beta1);
    k.delt2 = splat(q.mom.delt2);
    k.gam2 = splat(q.mom.gam2);
    k.beta2 = splat(q.mom.beta2);
    return k;
}

// Matrix properties of the elements of one reaction zone (all alike), per component where
// they differ by component.
struct ZoneProps {
    double tortm = 0, difflen = 0, porm = 0, amd1 = 0, amd2 = 0;
    double alpha[kComponents + 1] = {}, diff[kComponents + 1] = {}, decaym[kComponents + 1] = {};
    double alambdar[kComponents + 1] = {}, yieldm[kComponents + 1] = {}, retardm[kComponents + 1] = {};
};

struct WavefrontSolver::Impl {
    int nx = 0, ny = 0, nz = 0, nynz = 0;
    int nslots = 0;
    std::vector<int> slot_row, slot_pos;  // (j-1)*nz + (k-1) -> row and position in it
    std::vector<int> row_len;             // slots per row, ghosts and padding included
    // Per line (j-1)*nz + (k-1): its place in column 0, component 1 of a field, and the
    // distance from one component (or column, times components) to the next.
    std::vector<std::size_t> line_start, line_stride;
    std::vector<std::size_t> row_start;   // start of a row's block in a field
    std::size_t field_len = 0;
    // Up to kGatherColumns columns in element order, (column, line, component), for the result pass.
    static constexpr int kGatherColumns = 8;
    std::vector<double> column_values;
    // At snapshot steps with a team, the second member formats the concentration-field
    // lines while the first forms the sums and writes: its own gathered columns, and the
    // lines of column i in column_lines[i % column_lines.size()], at most that many columns
    // ahead. The ring holds about twice what a result file collects before it writes, so
    // that the formatting goes on while the file is written.
    static constexpr std::size_t kLineRingBytes = std::size_t{8} << 20;
    static constexpr std::size_t kFieldLineBytes = 96;
    std::vector<double> format_values;
    std::vector<std::string> column_lines;
    std::vector<LineGroup> groups;
    std::vector<int> wave_first_group;  // groups of wavefront w: [wave_first_group[w], wave_first_group[w+1])
    // Batches of groups of one wavefront that run side by side: up to three (four as two
    // and two). Those of wavefront w: [wave_first_batch[w], wave_first_batch[w+1]).
    struct Batch {
        int first = 0, count = 0;  // its groups
        unsigned key = 0;          // its shape: count and roles (shape_key)
        BatchView at;              // where its groups lie in the fields
    };
    std::vector<Batch> batches;
    std::vector<int> wave_first_batch;
    std::vector<GroupView> views;  // per group: its lane masks and flags
    bool avx2 = false;  // the processor runs the AVX2 kernels (and the run did not opt out)
    std::vector<int> zone_of_column;    // i = 1..nx
    int zone_rep[4] = {0, 0, 0, 0};     // a representative element of each zone present
    bool matrix = false;                // elements take part in matrix diffusion
    bool has_embed = false, has_bound = false;
    double flow = 0, gx = 0, gy = 0, gz = 0, gx2 = 0, gy2 = 0, gz2 = 0;
    CompZone cz[4][kComponents + 1];    // [zone][m]
    MatrixVecs mv[4][kComponents + 1];  // [zone][m], the same splat across the lanes (both kernels)
    ZoneProps props[4];                 // [zone], taken from the zone's first element
    bool release_unused = true;         // release the element arrays only the solver reads

    // The fields, columns 0..nx+1, in the field block (null where the run has no such matrix).
    struct Field {
        double* p = nullptr;
    };
    FieldBlock fields;
    Field c, o;             // cnew and cold
    Field base1, base2;     // old-level part of bb's numerator; for component 1 bb itself
    Field ai1, ai2;         // stored amounts of the latest sweep
                            // (base1 and ai1 in the aquitard fields' rows: bound_at)
    std::vector<double> denominators;  // per zone and component, per slot: the full diagonal coefficient
    // The denominators of zone z, component 1; component m lies (m - 1) * kDenGap further.
    const double* denom(int z) const { return denominators.data() + static_cast<std::size_t>((z - 1) * kComponents) * kDenGap; }
    double* denom(int z) { return denominators.data() + static_cast<std::size_t>((z - 1) * kComponents) * kDenGap; }

    // Threads: the columns are split into one range per member, and every member sweeps
    // its range of every wavefront in turn, a pipeline along x. A member starts a wavefront
    // once the member before it has finished that wavefront: its first column needs the new
    // value of the column before, and the cells' other neighbours (j-1 and k-1 new, j+1
    // and k+1 old, of the same column) are its own. So each member keeps to its own part of
    // the fields, and only a column's values per wavefront pass from one core to the next.
    std::unique_ptr<ThreadTeam> team;
    // Wavefronts done in this sweep, per member, each counter on a cache line of its own:
    // the member that advances one must not take the line from the member waiting on it.
    struct alignas(64) Progress {
        std::atomic<int> waves{0};
    };
    std::unique_ptr<Progress[]> progress;
    std::vector<Vec> member_emax;
    // The columns of member `member` of a team of `members`.
    ColumnRange member_columns(int member, int members) const {
        ColumnRange r;
        r.first = 1 + static_cast<int>(static_cast<long long>(nx) * member / members);
        r.last = static_cast<int>(static_cast<long long>(nx) * (member + 1) / members);
        r.shared = member + 1 < members ? r.last : 0;
        return r;
    }

    // Place of (row w, column i, component m, position pos) in a field.
    std::size_t at(int w, int i, int m, int pos) const {
        return row_start[static_cast<std::size_t>(w)] +
               static_cast<std::size_t>(i * kComponents + (m - 1)) * static_cast<std::size_t>(row_len[static_cast<std::size_t>(w)]) +
               static_cast<std::size_t>(pos);
    }
    // Place of (row w, column i, component m, position bpos) in an aquitard field.
    std::size_t bound_at(int w, int i, int m, int bpos) const {
        return (static_cast<std::size_t>(w) * static_cast<std::size_t>(nx + 2) + static_cast<std::size_t>(i)) * kComponents * kBoundSlots +
               static_cast<std::size_t>((m - 1) * kBoundSlots + bpos);
    }
    std::size_t cell_at(int i, int m, int j, int k) const {
        const std::size_t jk = static_cast<std::size_t>((j - 1) * nz + (k - 1));
        return at(slot_row[jk], i, m, slot_pos[jk]);
    }

    void build_layout(Model& s);
    void take_zone_properties(MatrixdModule& md);
    void step_constants(const Model& s);
    GroupView view(const LineGroup& g) const;
    // Calls work(first, last) on parts of 0..count-1 that together cover it once: one part
    // per team member, all at the same time (without a team, the whole range). For the
    // per-step passes whose items are independent; work must not throw.
    template <class F>
    void share(int count, F&& work) const {
        if (!team) return work(0, count - 1);
        const int members = team->size();
        team->run([&](int member) {
            const int first = static_cast<int>(static_cast<long>(count) * member / members);
            const int last = static_cast<int>(static_cast<long>(count) * (member + 1) / members) - 1;
            work(first, last);
        });
    }
    // Calls f(g, l, n) for every cell of column i: lane l of group g, element n.
    template <class F>
    void cells_of_column(int i, F&& f) const {
        for (const LineGroup& g : groups)
            for (int l = 0; l < W; ++l)
                if (g.real[l]) f(g, l, (i - 1) * nynz + g.elem[l]);
    }
    void bb_base_column(const MatrixdModule& md, double dt, int i);
    void last_amounts_of_group(int n);
    void hand_over_amounts(MatrixdModule& md, int i) const;
    // Calls f(j, k, jk) for every line, jk = (j-1)*nz + k-1, row by row and within a row slot
    // by slot: the order of the lines in the field.
    template <class F>
    void lines_in_field_order(F&& f) const {
        for (int w = 2; w <= ny + nz; ++w)
            for (int j = std::max(1, w - nz); j <= std::min(ny, w - 1); ++j)
                f(j, w - j, static_cast<std::size_t>((j - 1) * nz + (w - j - 1)));
    }
    // Columns i0..i1 of the field into to[((i-i0)*nynz + (j-1)*nz + k-1) * kComponents + m-1],
    // row by row.
    void gather_columns(int i0, int i1, double* to) const;
    // The snapshot lines of every column into column_lines, column by column, for the pass
    // of another member that takes them (see SnapshotHandoff).
    void format_snapshot(const Deck& dk, double atime, SnapshotHandoff& handoff);
    BatchView batch(const LineGroup& first) const;
    template <int NG, class R>
    void columns(const BatchView& b, const GroupView* v, Vec& emax, const ColumnRange& r) const;
    void form_batches();
    template <int NG, class R>
    void batch_columns(const Batch& bt, Vec& emax, const ColumnRange& r) const;
    void sweep_batch_portable(const Batch& bt, Vec& emax, const ColumnRange& r) const;
    void sweep_batch_avx2(const Batch& bt, Vec& emax, const ColumnRange& r) const;
    void sweep_wave(int w, Vec& emax, const ColumnRange& r) const;
};

bool WavefrontSolver::eligible(const Model& s, std::string* why) {
    auto no = [&](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    if (dk.nx < 1 || dk.ny < 1 || dk.nz < 1) return no("empty grid");
    // The zero row ny+1 must lie inside the grid arrays; otherwise the checked sweep stops
    // the run at the exact access that leaves them.
    if (dk.ny + 1 > kMaxY || dk.nz > kMaxZ || dk.nx + 1 > kMaxX) return no("grid at the array limits");
    if (s.gv.nelmax != dk.nx * dk.ny * dk.nz || s.gv.icomp != kComponents) return no("element count");
    // Every grid within the element capacity fits the field block; a larger one would stop in
    // the checked sweep at the capacity.
    const std::size_t slots = static_cast<std::size_t>(plan_rows(dk.ny, dk.nz).slots());
    if (!fits_field_block(static_cast<std::size_t>(dk.nx + 2) * kComponents * slots, slots,
                          bound_field_doubles(dk.nx, dk.ny, dk.nz)))
        return no("grid beyond the field block");
    const int nynz = dk.ny * dk.nz;
    const int n1 = 1;
    std::vector<int> zone_rep(4, 0);
    for (int i = 1; i <= dk.nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        if (z < 1 || z > 3) return no("zone");
        if (zone_rep[static_cast<std::size_t>(z)] == 0) zone_rep[static_cast<std::size_t>(z)] = (i - 1) * nynz + 1;
        const int rep = zone_rep[static_cast<std::size_t>(z)];
        for (int jk = 1; jk <= nynz; ++jk) {
            const int n = (i - 1) * nynz + jk;
            if (md.mdflag(n) != md.mdflag(n1) || md.mdembed(n) != md.mdembed(n1)) return no("matrix code varies");
            if (md.mdtop(n) != md.mdtop(jk) || md.mdbot(n) != md.mdbot(jk)) return no("faces vary along x");
            if (!same_bits(md.volfrac(n), md.volfrac(n1)) || !same_bits(md.difflen(n), md.difflen(n1)) ||
                !same_bits(md.porm(n), md.porm(n1)) || !same_bits(md.tortm(n), md.tortm(n1)) ||
                !same_bits(md.amd1(n), md.amd1(n1)) || !same_bits(md.amd2(n), md.amd2(n1)))
                return no("element properties vary");
            for (int m = 1; m <= kComponents; ++m) {
                if (!same_bits(md.retardm(n, m), md.retardm(n1, m)) || !same_bits(md.yieldm(n, m), md.yieldm(n1, m)) ||
                    !same_bits(md.diff(n, m), md.diff(n1, m)) || !same_bits(md.alpha(n, m), md.alpha(n1, m)))
                    return no("component properties vary");
                if (!same_bits(md.decaym(n, m), md.decaym(rep, m)) ||
                    !same_bits(md.alambdar(n, m), md.alambdar(rep, m)))
                    return no("matrix decay varies within a zone");
            }
        }
    }
    return true;
}

WavefrontSolver::WavefrontSolver(Model& s, int threads, bool release_unused) : impl_(std::make_unique<Impl>()) {
    Impl& im = *impl_;
    im.release_unused = release_unused;
    im.build_layout(s);
    im.form_batches();
    im.avx2 = __builtin_cpu_supports("avx2") && !env_switch("QUILMAR_PORTABLE");
    // A member needs columns of its own, and the pipeline fills in as many wavefronts as
    // there are members.
    const int waves = static_cast<int>(im.wave_first_group.size()) - 1;
    threads = std::min({threads, waves, im.nx});
    if (threads > 1) {
        im.team = std::make_unique<ThreadTeam>(threads);
        im.progress = std::make_unique<Impl::Progress[]>(static_cast<std::size_t>(threads));
        im.member_emax.assign(static_cast<std::size_t>(threads), zeros());
    }
}
WavefrontSolver::~WavefrontSolver() = default;

void WavefrontSolver::Impl::build_layout(Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    nx = dk.nx;
    ny = dk.ny;
    nz = dk.nz;
    nynz = ny * nz;
    slot_row.assign(static_cast<std::size_t>(nynz), 0);
    slot_pos.assign(static_cast<std::size_t>(nynz), 0);

    const RowPlan plan = plan_rows(ny, nz);
    const std::vector<int>& lo = plan.lo;
    const std::vector<int>& hi = plan.hi;
    auto pos = [&plan](int w, int j) { return plan.pos(w, j); };
    const int nrows = ny + nz + 1;
    const std::size_t rows = static_cast<std::size_t>(nrows + 2);
    std::vector<int> first_slot(rows, 0);
    row_len = plan.len;
    row_start.assign(rows, 0);
    int next = 0;
    std::size_t field = 0;
    for (int w = 1; w <= nrows; ++w) {
        const std::size_t r = static_cast<std::size_t>(w);
        first_slot[r] = next;
        next += row_len[r];
        row_start[r] = field;
        field += static_cast<std::size_t>(nx + 2) * kComponents * static_cast<std::size_t>(row_len[r]);
    }
    nslots = next;
    field_len = field;
    for (int j = 1; j <= ny; ++j)
        for (int k = 1; k <= nz; ++k) {
            const std::size_t jk = static_cast<std::size_t>((j - 1) * nz + (k - 1));
            slot_row[jk] = j + k;
            slot_pos[jk] = pos(j + k, j);
        }
    column_values.assign(static_cast<std::size_t>(kGatherColumns) * nynz * kComponents, 0.0);
    line_start.assign(static_cast<std::size_t>(nynz), 0);
    line_stride.assign(static_cast<std::size_t>(nynz), 0);
    for (std::size_t jk = 0; jk < static_cast<std::size_t>(nynz); ++jk) {
        const std::size_t w = static_cast<std::size_t>(slot_row[jk]);
        line_start[jk] = row_start[w] + static_cast<std::size_t>(slot_pos[jk]);
        line_stride[jk] = static_cast<std::size_t>(row_len[w]);
    }

    matrix = md.mdflag(1) != 0;
    for (int w = 2; w <= ny + nz; ++w) {
        wave_first_group.push_back(static_cast<int>(groups.size()));
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
                g.ktop[l] = k == nz && nz > 1;
                g.jfirst[l] = j == 1;
                const int n = (j - 1) * nz + k;
                g.elem[l] = n;
                g.embed[l] = md.mdembed(n) == 1;
                g.bot[l] = md.mdbot(n) == 1;
                g.top[l] = md.mdtop(n) == 1;
                has_embed = has_embed || g.embed[l];
                has_bound = has_bound || g.bot[l] || g.top[l];
                g.bound = g.bound || g.bot[l] || g.top[l];
            }
            const bool row_first = j0 == lo[static_cast<std::size_t>(w)];
            const bool row_last = j0 + W > hi[static_cast<std::size_t>(w)];
            if (g.bound && !row_first && !row_last)
                throw std::logic_error("wavefront layout: a bounding aquitard inside a row");
            g.bpos = row_last && !row_first ? W : 0;
            groups.push_back(g);
        }
    }
    wave_first_group.push_back(static_cast<int>(groups.size()));

    zone_of_column.assign(static_cast<std::size_t>(nx + 1), 1);
    for (int i = 1; i <= nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        zone_of_column[static_cast<std::size_t>(i)] = z;
        if (zone_rep[z] == 0) zone_rep[z] = (i - 1) * nynz + 1;
    }
    const double volfrac = md.volfrac(1);
    take_zone_properties(s.md);

    if (!fits_field_block(field_len, static_cast<std::size_t>(nslots), bound_field_doubles(nx, ny, nz)))
        throw std::logic_error("wavefront layout: the grid's field exceeds the field block");
    fields.map(field_len);
    c.p = fields.field(FieldBlock::kCnew);
    o.p = fields.field(FieldBlock::kCold);
    if (matrix && has_bound) {
        base1.p = fields.field(FieldBlock::kBase1);
        ai1.p = fields.field(FieldBlock::kAmount1);
    }
    if (matrix && has_embed) {
        base2.p = fields.field(FieldBlock::kBase2);
        ai2.p = fields.field(FieldBlock::kAmount2);
    }
    denominators.assign(3 * kComponents * kDenGap, 0.0);
    // The field starts as the model holds it (zero after the initial state).
    for (int k = 1; k <= nz; ++k)
        for (int j = 1; j <= ny; ++j)
            for (int i = 0; i <= nx + 1; ++i)
                for (int m = 1; m <= kComponents; ++m) {
                    const std::size_t at = cell_at(i, m, j, k);
                    c.p[at] = s.cnew(m, i, j, k);
                    if (i < 1 || i > nx) continue;
                    o.p[at] = s.cold(m, i, j, k);
                    const int n = (i - 1) * nynz + (j - 1) * nz + k;
                    if (ai2.p) ai2.p[at] = md.ainew2(n, m);
                }
    if (ai1.p)
        for (int i = 1; i <= nx; ++i)
            cells_of_column(i, [&](const LineGroup& g, int l, int n) {
                if (!g.bound) return;
                for (int m = 1; m <= kComponents; ++m) ai1.p[bound_at(g.w, i, m, g.bpos + l)] = md.ainew1(n, m);
            });

    const TransportCoefficients& tc = s.tc;
    const double porf = dk.porf;
    flow = (dk.vd / volfrac) * tc.ayz;
    gx = tc.ayz * porf * tc.dispx / dk.dx;
    gy = tc.axz * porf * tc.dispt / dk.dy;
    gz = tc.axy * porf * tc.dispv / dk.dz;
    gx2 = (tc.ayz + tc.ayz) * porf * tc.dispx / dk.dx;
    gy2 = (tc.axz + tc.axz) * porf * tc.dispt / dk.dy;
    gz2 = (tc.axy + tc.axy) * porf * tc.dispv / dk.dz;
}

// The solver keeps per zone what the element arrays hold per element (every element of a
// zone alike, as eligible() made sure), and hands the arrays it alone would read back to the
// system: for a large grid they are most of the run's memory. Those the result pass reads
// (retardation, porosity, interface areas, the faces) and the stored amounts stay.
void WavefrontSolver::Impl::take_zone_properties(MatrixdModule& md) {
    for (int z = 1; z <= 3; ++z) {
        const int n = zone_rep[z];
        if (n == 0) continue;
        ZoneProps& p = props[z];
        p.tortm = md.tortm(n);
        p.difflen = md.difflen(n);
        p.porm = md.porm(n);
        p.amd1 = md.amd1(n);
        p.amd2 = md.amd2(n);
        for (int m = 1; m <= kComponents; ++m) {
            p.alpha[m] = md.alpha(n, m);
            p.diff[m] = md.diff(n, m);
            p.decaym[m] = md.decaym(n, m);
            p.alambdar[m] = md.alambdar(n, m);
            p.yieldm[m] = md.yieldm(n, m);
            p.retardm[m] = md.retardm(n, m);
        }
    }
    if (!release_unused) return;
    for (ElementCompReal* a : {&md.kd, &md.decaym, &md.yieldm, &md.diff, &md.alpha, &md.alambdar}) a->release();
    for (ElementReal* a : {&md.volfrac, &md.difflen, &md.tortm, &md.rhob}) a->release();
}

// Constants of the step: per zone and component the storage, decay and production
// coefficients, the matrix moments and fitting terms for the new time, and per slot the
// diagonal coefficient of the balance (transport terms plus the matrix exchange).
void WavefrontSolver::Impl::step_constants(const Model& s) {
    const Deck& dk = s.deck;
    const TransportCoefficients& tc = s.tc;
    const double porf = dk.porf;
    const double dt = dk.dt;
    for (int z = 1; z <= 3; ++z) {
        const int n = zone_rep[z];
        if (n == 0) continue;
        for (int m = 1; m <= kComponents; ++m) {
            CompZone& q = cz[z][m];
            q.storage = dk.retardf(m) * (porf * tc.volh) / dt;
            q.decay = (porf * tc.volh) * dk.decayf(m, z, 1);
            q.production = m >= 2 ? dk.yieldf(m) * (porf * tc.volh) * dk.decayf(m - 1, z, 1) : 0.0;
            if (matrix) {
                const ZoneProps& p = props[z];
                q.alpha = p.alpha[m];
                q.lambdar = p.alambdar[m];
                q.mom = mdmath::step_moments(p.alpha[m], p.diff[m], p.tortm, p.decaym[m], p.difflen, s.atime);
                q.d = q.mom.d;
                q.f1 = mdmath::fit_terms(q.mom.delt1, q.mom.gam1, q.mom.beta1, q.alpha, q.lambdar, q.d, dt);
                q.f2 = mdmath::fit_terms(q.mom.delt2, q.mom.gam2, q.mom.beta2, q.alpha, q.lambdar, q.d, dt);
                q.aa1 = q.f1.aatop / q.f1.aabot;
                q.aa2 = q.f2.aatop / q.f2.aabot;
                q.k1 = mdmath::k_bounding(p.porm, p.amd1, p.tortm, p.diff[m]);
                q.k2 = mdmath::k_embedded(p.amd2, p.porm, p.tortm, p.diff[m]);
                if (m >= 2) {
                    q.yield = p.yieldm[m];
                    q.lambda_parent = p.decaym[m - 1];
                    q.retard = p.retardm[m];
                }
            }
            mv[z][m] = matrix_vecs(q, dt);
            double* den = denom(z) + static_cast<std::size_t>(m - 1) * kDenGap;
            for (int sl = 0; sl < nslots; ++sl) den[sl] = 1.0;  // idle lanes
            for (const LineGroup& g : groups)
                for (int l = 0; l < W; ++l) {
                    if (!g.real[l]) continue;
                    double denom1 = flow + q.storage + q.decay;
                    denom1 = denom1 + ((g.kbottom[l] || g.ktop[l]) ? gz : gz2);
                    denom1 = denom1 + (g.jfirst[l] ? gy : gy2);
                    denom1 = gx2 + denom1;
                    double dterm = 0.0;
                    if (g.embed[l]) dterm = dterm + q.k2 / q.d - q.k2 * q.aa2;
                    if (g.bot[l]) dterm = dterm + q.k1 / q.d - q.k1 * q.aa1;
                    if (g.top[l]) dterm = dterm + q.k1 / q.d - q.k1 * q.aa1;
                    den[g.slot + l] = denom1 + dterm;
                }
        }
    }
}

void WavefrontSolver::begin_step(Model& s) {
    Impl& im = *impl_;
    // The source plane of this step.
    for (int m = 1; m <= kComponents; ++m)
        for (int j = 1; j <= im.ny; ++j)
            for (int k = 1; k <= im.nz; ++k) im.c.p[im.cell_at(0, m, j, k)] = s.cnew(m, 0, j, k);
    im.step_constants(s);
    if (!im.matrix) return;
    im.share(im.nx, [&](int first, int last) {
        for (int i = first + 1; i <= last + 1; ++i) im.bb_base_column(s.md, s.deck.dt, i);
    });
}

// Old-level part of bb in column i: the stored amount at the end of the last step and the
// old cell concentration. For the first component bb is complete with it and fixed for the
// step.
void WavefrontSolver::Impl::bb_base_column(const MatrixdModule& md, double dt, int i) {
    const double* aiold1 = md.aiold1.data();
    const double* aiold2 = md.aiold2.data();
    const int z = zone_of_column[static_cast<std::size_t>(i)];
    cells_of_column(i, [&](const LineGroup& g, int l, int n) {
        for (int m = 1; m <= kComponents; ++m) {
            const CompZone& q = cz[z][m];
            const std::size_t at = this->at(g.w, i, m, g.pos + l);
            const double coldt = o.p[at];
            const std::ptrdiff_t e = md.aiold1.position(n, m);
            if (g.bound) {
                double& base = base1.p[bound_at(g.w, i, m, g.bpos + l)];
                base = mdmath::bb_base(aiold1[e], coldt, q.f1.a, q.alpha, dt);
                if (m == 1) base = base / q.f1.aabot;
            }
            if (has_embed) {
                base2.p[at] = mdmath::bb_base(aiold2[e], coldt, q.f2.a, q.alpha, dt);
                if (m == 1) base2.p[at] = base2.p[at] / q.f2.aabot;
            }
        }
    });
}

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

// Roles of the groups of a batch (those past its last group unused), or kAnyRole: every
// flag taken from the group's view.
template <unsigned R0, unsigned R1, unsigned R2>
struct Roles {
    static constexpr unsigned of(int g) { return g == 0 ? R0 : g == 1 ? R1 : R2; }
    static constexpr bool any = ((R0 | R1 | R2) & kAnyRole) != 0;     // flags from the views
    static constexpr bool bound = !any && ((R0 | R1 | R2) & kBound) != 0;  // known to have a bounding layer
};
using AnyRoles = Roles<kAnyRole, kAnyRole, kAnyRole>;

// The flags group g of a batch works with (constant once the kernel's group loop is
// unrolled, unless taken from the view).
template <class R>
__attribute__((always_inline)) inline GroupFlags group_flags(const GroupView& gv, int g) {
    const unsigned role = R::of(g);
    if (role == kAnyRole) return gv.f;
    GroupFlags f;
    f.embed_any = true;
    f.ktop_any = f.jfirst_any = (role & kFirst) != 0;
    f.kbottom_any = (role & kLast) != 0;
    f.all_real = (role & kLast) == 0;
    f.bound_any = f.bot_any = f.top_any = (role & kBound) != 0;
    return f;
}

// Where a group's lanes lie in the aquitard fields' rows: a group of known role is its
// row's first (at 0) or last (at W, or 0 if also the first).
template <class R>
__attribute__((always_inline)) inline int bound_pos(const GroupView& gv, int g) {
    const unsigned role = R::of(g);
    if (role == kAnyRole) return gv.bpos;
    return (role & kFirst) != 0 ? 0 : W;
}

// The role of a group from its place in the row and its flags; kAnyRole if its flags do
// not fit that place.
unsigned role_of(const GroupFlags& f, bool row_first, bool row_last) {
    const unsigned role = (row_first ? kFirst : 0u) | (row_last ? kLast : 0u) | (f.bound_any ? kBound : 0u);
    if (!row_first && (f.ktop_any || f.jfirst_any)) return kAnyRole;
    if (!row_last && (f.kbottom_any || !f.all_real)) return kAnyRole;
    if (role == kBound) return kAnyRole;  // an inner group with a bounding layer
    return role;
}

constexpr unsigned shape_key(int count, unsigned r0, unsigned r1, unsigned r2) {
    return static_cast<unsigned>(count) | r0 << 4 | r1 << 8 | r2 << 12;
}

// A batch of NG groups with roles R0.. (kInner stands in for the roles past the last).
template <int NG, unsigned R0, unsigned R1 = kInner, unsigned R2 = kInner>
struct Shape {
    static constexpr int count = NG;
    using roles = Roles<R0, R1, R2>;
    static constexpr unsigned key = shape_key(NG, R0, R1, R2);
};

// Calls f.operator()<S>() for the shape S of the list with this key; false if none has it.
template <class... S>
struct ShapeList {
    template <class F>
    __attribute__((always_inline)) static bool visit(unsigned key, F&& f) {
        return ((key == S::key && (f.template operator()<S>(), true)) || ...);
    }
};

// The shapes of the batches of a row: three groups, or two, with the row's first group
// first or its last group last or both, or one group that is the row's last (and maybe
// its first); each first and last group with or without a bounding layer.
constexpr unsigned kF = kFirst, kFB = kFirst | kBound, kL = kLast, kLB = kLast | kBound;
constexpr unsigned kFL = kFirst | kLast, kFLB = kFirst | kLast | kBound;
using RowShapes = ShapeList<
    Shape<3, kF, kInner, kL>, Shape<3, kFB, kInner, kL>, Shape<3, kF, kInner, kLB>, Shape<3, kFB, kInner, kLB>,
    Shape<3, kF, kInner, kInner>, Shape<3, kFB, kInner, kInner>, Shape<3, kInner, kInner, kL>,
    Shape<3, kInner, kInner, kLB>, Shape<3, kInner, kInner, kInner>,
    Shape<2, kF, kL>, Shape<2, kFB, kL>, Shape<2, kF, kLB>, Shape<2, kFB, kLB>,
    Shape<2, kF, kInner>, Shape<2, kFB, kInner>, Shape<2, kInner, kL>, Shape<2, kInner, kLB>,
    Shape<1, kFL>, Shape<1, kFLB>, Shape<1, kL>, Shape<1, kLB>>;

// The transport coefficients of the balance across the lanes.
struct TransportVecs {
    Vec flow, gx, gy, gz;
};
inline TransportVecs transport_vecs(const WavefrontSolver::Impl& im) {
    return TransportVecs{splat(im.flow), splat(im.gx), splat(im.gy), splat(im.gz)};
}

// The transport part of the balance's numerator for group g of a batch in column i and
// component m (column_component = i * kComponents + m - 1): storage of the old value,
// advection from upstream and dispersion along x, y and z. Per lane the masks pick what
// the grid's faces leave of the vertical and lateral terms (a ghost neighbour holds zero
// but is not added); a face no lane lies on is skipped (flags f), with the same result in
// every lane.
__attribute__((always_inline)) inline Vec transport_numerator(const double* cm, const double* om, const BatchView& b,
                                                               const GroupView& gv, const GroupFlags& f, int g,
                                                               int column_component, Vec storage,
                                                               const TransportVecs& t) {
    const std::size_t km = static_cast<std::size_t>(column_component);
    const std::size_t gw = static_cast<std::size_t>(W * g);
    const std::size_t at = b.own + gw + km * b.lw;
    const std::size_t atd = b.down + gw + km * b.ld, ats = atd - 1;
    const std::size_t atu = b.up + gw + km * b.lu, atn = atu + 1;
    const std::size_t column = kComponents * b.lw;  // from one column to the next in the own row
    const Vec cold = load(om + at);
    const Vec cw = load(cm + at - column);
    const Vec ce = load(cm + at + column);
    const Vec cd = load(cm + atd), cu = load(cm + atu);
    const Vec cs = load(cm + ats), cn = load(cm + atn);
    Vec anum1 = storage * cold + t.flow * cw;
    Vec z;
    if (f.kbottom_any && f.ktop_any)
        z = select(gv.kbottom, t.gz * cu, select(gv.ktop, t.gz * cd, t.gz * (cd + cu)));
    else if (f.kbottom_any)
        z = select(gv.kbottom, t.gz * cu, t.gz * (cd + cu));
    else if (f.ktop_any)
        z = select(gv.ktop, t.gz * cd, t.gz * (cd + cu));
    else
        z = t.gz * (cd + cu);
    anum1 = anum1 + z;
    anum1 = anum1 + (f.jfirst_any ? select(gv.jfirst, t.gy * cn, t.gy * (cs + cn)) : t.gy * (cs + cn));
    return anum1 + t.gx * (cw + ce);
}

// Stores only the lanes that hold a line, one double at a time: an idle lane's slot is not
// written at all.
inline void store_lanes(const GroupView& gv, double* p, Vec v) {
    for (int l = 0; l < W; ++l)
        if (gv.real[l]) p[l] = v[l];
}

// Stores the group's new values (idle lanes keep theirs) and returns the changes, zero in
// idle lanes. In a shared column (see ColumnRange) idle lanes do not write.
__attribute__((always_inline)) inline Vec store_new(const GroupView& gv, const GroupFlags& f, double* p, Vec cnew, Vec old,
                                                    bool shared) {
    if (f.all_real) {
        store(p, cnew);
        return abs_of(cnew - old);
    }
    if (shared)
        store_lanes(gv, p, cnew);
    else
        store(p, select(gv.real, cnew, old));
    return select(gv.real, abs_of(cnew - old), zeros());
}

// Stores v into the group's lanes that hold a line; an idle lane's slot, which may belong to
// the next component or column, keeps what it holds.
__attribute__((always_inline)) inline void store_real(const GroupView& gv, const GroupFlags& f, double* p, Vec v) {
    store(p, f.all_real ? v : select(gv.real, v, load(p)));
}

// The parts of q's numerator that both kinds of matrix share, from the cell's new value
// cv, its old value co and the parent's new value.
struct QShared {
    Vec qtop1, common, source;
};
__attribute__((always_inline)) inline QShared q_shared(const MatrixVecs& k, int m, Vec cv, Vec co, Vec parent) {
    QShared r;
    r.qtop1 = (cv - co) * k.d * k.d / k.alpha_dt - cv;
    r.common = k.lambdar * cv * k.d * k.d / k.alpha;
    r.source = zeros();
    if (m >= 2) r.source = k.ylp * parent * k.d * k.d / k.retard_alpha;
    return r;
}

// Stored amount in one kind of matrix: p from the fit with bb, q from the interface
// condition, the amount from the moments.
__attribute__((always_inline)) inline Vec stored_amount(const MatrixVecs& k, int m, const QShared& sh, Vec cv,
                                                         Vec aa, Vec bb, Vec delt, Vec gam, Vec beta) {
    const Vec p = aa * cv + bb;
    Vec qtop2 = k.two_d * p + sh.common;
    if (m >= 2) qtop2 = qtop2 - sh.source;
    const Vec qq = (sh.qtop1 + qtop2) / k.d_2d;
    return delt * cv + gam * p + beta * qq;
}

// The balance of the checked sweep with matrix diffusion, operation for operation, for NG
// groups of one wavefront side by side over the columns of r; Bound and Embed say
// whether one of their lanes has a bounding face or embedded material (for the others the
// masks drop that kind's terms, and their stored amounts of it are never read). Each
// column is followed by the update of its cells' matrix profiles and stored amounts: a
// cell's values are final once its four components are updated, and its stored amounts
// are read only by its own update in the next sweep, so this runs right after the cell,
// with the results of a pass of its own. The last component's stored amount is read by no
// update at all: its bb is kept in the amount's slot instead, and the amount is formed
// once, after the last sweep of the step.
template <int NG, bool Bound, bool Embed, class R>
__attribute__((always_inline)) inline void matrix_columns(const WavefrontSolver::Impl& im, const BatchView& b,
                                                           const GroupView* v, Vec& emax, const ColumnRange& r) {
    // Every field at its constant offset from cnew (see FieldBlock).
    double* const cm = im.c.p;
    const double* const om = cm + FieldBlock::offset(FieldBlock::kCold);
    const double* const base2 = cm + FieldBlock::offset(FieldBlock::kBase2);
    // The aquitard fields in their own rows (see kBoundSlots), in the same block.
    constexpr std::size_t base1_off = FieldBlock::offset(FieldBlock::kBase1);
    constexpr std::size_t ai1_off = FieldBlock::offset(FieldBlock::kAmount1);
    double* const ai2 = cm + FieldBlock::offset(FieldBlock::kAmount2);
    const TransportVecs t = transport_vecs(im);
    // The largest change of all groups in one register: this kernel's other values already
    // fill the registers, and a maximum does not depend on the order it is taken in.
    Vec e = zeros();
    for (int i = r.first; i <= r.last; ++i) {
        const bool shared = i == r.shared;
        const int z = im.zone_of_column[static_cast<std::size_t>(i)];
        const MatrixVecs* const K = im.mv[z];
        const double* const den = im.denom(z) + b.slot;
        // Column i, component 1 of the batch's row in the aquitard fields, as seen from cnew,
        // and the slots of group g's component m from there.
        double* const bc = cm + b.bound_at(i, 1, 0);
        auto bslot = [v](int m, int g) __attribute__((always_inline)) {
            return static_cast<std::size_t>((m - 1) * kBoundSlots + bound_pos<R>(v[g], g));
        };
        Vec parent[NG];
        Vec bb1[NG][kComponents + 1], bb2[NG][kComponents + 1];
#pragma GCC unroll 4
        for (int m = 1; m <= kComponents; ++m)
#pragma GCC unroll 3
            for (int g = 0; g < NG; ++g) {
                const GroupView& gv = v[g];
                const GroupFlags f = group_flags<R>(gv, g);
                const MatrixVecs& k = K[m];
                const std::size_t at = b.at(g, i, m);
                const std::size_t bat = bslot(m, g);
                const Vec old = load(cm + at);
                Vec anum1 = transport_numerator(cm, om, b, gv, f, g, i * kComponents + m - 1, k.storage, t);
                if (m >= 2) anum1 = anum1 + k.production * parent[g];
                Vec vbb1 = zeros(), vbb2 = zeros();
                if (m == 1) {
                    if (Bound && f.bound_any) vbb1 = load(bc + base1_off + bat);
                    if (Embed && f.embed_any) vbb2 = load(base2 + at);
                } else {
                    if (Bound && f.bound_any) {
                        const Vec t1 = k.pre * load(bc + ai1_off + bat - kBoundSlots) / k.retard;  // parent's stored amount
                        const Vec t2 = k.pa1 * parent[g] / k.den2;
                        vbb1 = (load(bc + base1_off + bat) + t1 + t2) / k.aabot1;
                    }
                    if (Embed && f.embed_any) {
                        const Vec t1 = k.pre * load(ai2 + at - b.lw) / k.retard;
                        const Vec t2 = k.pa2 * parent[g] / k.den2;
                        vbb2 = (load(base2 + at) + t1 + t2) / k.aabot2;
                    }
                }
                bb1[g][m] = vbb1;
                bb2[g][m] = vbb2;
                Vec rterm = zeros();
                if (Embed && f.embed_any) {
                    // Every element has the embedded material or none; only an idle lane lacks
                    // it, and its values are never stored.
                    if constexpr (R::any)
                        rterm = select(gv.embed, rterm + k.k2 * vbb2, rterm);
                    else
                        rterm = rterm + k.k2 * vbb2;
                }
                if (Bound && f.bot_any) rterm = select(gv.bot, rterm + k.k1 * vbb1, rterm);
                if (Bound && f.top_any) rterm = select(gv.top, rterm + k.k1 * vbb1, rterm);
                const Vec anum = anum1 + rterm;
                const Vec cnew = anum / load(den + static_cast<std::size_t>(m - 1) * kDenGap + W * g);
                const Vec erri = store_new(gv, f, cm + at, cnew, old, shared);
                e = select(erri > e, erri, e);
                parent[g] = cnew;
            }
#pragma GCC unroll 3
        for (int g = 0; g < NG; ++g) {
            const GroupFlags f = group_flags<R>(v[g], g);
            Vec par = zeros();
#pragma GCC unroll 4
            for (int m = 1; m < kComponents; ++m) {
                const MatrixVecs& k = K[m];
                const std::size_t at = b.at(g, i, m);
                const Vec cv = load(cm + at);
                const QShared sh = q_shared(k, m, cv, load(om + at), par);
                if (Embed && f.embed_any)
                    store_real(v[g], f, ai2 + at, stored_amount(k, m, sh, cv, k.aa2, bb2[g][m], k.delt2, k.gam2, k.beta2));
                if (Bound && f.bound_any)
                    store(bc + ai1_off + bslot(m, g), stored_amount(k, m, sh, cv, k.aa1, bb1[g][m], k.delt1, k.gam1, k.beta1));
                par = cv;
            }
            const std::size_t at = b.at(g, i, kComponents);
            if (Embed && f.embed_any) store_real(v[g], f, ai2 + at, bb2[g][kComponents]);
            if (Bound && f.bound_any) store(bc + ai1_off + bslot(kComponents, g), bb1[g][kComponents]);
        }
    }
    emax = select(e > emax, e, emax);
}

// The balance of the checked sweep without matrix diffusion, operation for operation, for
// NG groups of one wavefront side by side over the columns of r (their chains of
// divisions are independent and overlap). The constants of a reaction zone are taken once
// per run of columns in that zone, and the largest change is kept per group in a register.
template <int NG, class R>
__attribute__((always_inline)) inline void plain_columns(const WavefrontSolver::Impl& im, const BatchView& b,
                                                          const GroupView* v, Vec& emax, const ColumnRange& r) {
    double* const cm = im.c.p;
    const double* const om = cm + FieldBlock::offset(FieldBlock::kCold);
    const TransportVecs t = transport_vecs(im);
    Vec e[NG];
    for (int g = 0; g < NG; ++g) e[g] = zeros();
    for (int i = r.first; i <= r.last;) {
        const int z = im.zone_of_column[static_cast<std::size_t>(i)];
        int last = i;
        while (last < r.last && im.zone_of_column[static_cast<std::size_t>(last) + 1] == z) ++last;
        Vec storage[kComponents], production[kComponents], den[NG][kComponents];
        for (int m = 0; m < kComponents; ++m) {
            storage[m] = im.mv[z][m + 1].storage;
            production[m] = im.mv[z][m + 1].production;
            for (int g = 0; g < NG; ++g) den[g][m] = load(im.denom(z) + static_cast<std::size_t>(m) * kDenGap + b.slot + W * g);
        }
        for (; i <= last; ++i) {
            const bool shared = i == r.shared;
            Vec parent[NG];
#pragma GCC unroll 4
            for (int m = 0; m < kComponents; ++m)
#pragma GCC unroll 3
                for (int g = 0; g < NG; ++g) {
                    const GroupView& gv = v[g];
                    const GroupFlags f = group_flags<R>(gv, g);
                    const std::size_t at = b.at(g, i, m + 1);
                    const Vec old = load(cm + at);
                    Vec anum1 = transport_numerator(cm, om, b, gv, f, g, i * kComponents + m, storage[m], t);
                    if (m >= 1) anum1 = anum1 + production[m] * parent[g];
                    const Vec anum = anum1 + zeros();  // the matrix exchange term, zero here
                    const Vec cnew = anum / den[g][m];
                    const Vec erri = store_new(gv, f, cm + at, cnew, old, shared);
                    e[g] = select(erri > e[g], erri, e[g]);
                    parent[g] = cnew;
                }
        }
    }
    for (int g = 0; g < NG; ++g) emax = select(e[g] > emax, e[g], emax);
}

GroupView WavefrontSolver::Impl::view(const LineGroup& g) const {
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
        f.bound_any = f.bound_any || (matrix && has_bound && (g.bot[l] || g.top[l]));
        f.bot_any = f.bot_any || (matrix && has_bound && g.bot[l]);
        f.top_any = f.top_any || (matrix && has_bound && g.top[l]);
        f.embed_any = f.embed_any || (matrix && has_embed && g.embed[l]);
    }
    return v;
}

BatchView WavefrontSolver::Impl::batch(const LineGroup& first) const {
    const std::size_t w = static_cast<std::size_t>(first.w);
    BatchView b;
    b.lw = static_cast<std::size_t>(row_len[w]);
    b.ld = static_cast<std::size_t>(row_len[w - 1]);
    b.lu = static_cast<std::size_t>(row_len[w + 1]);
    b.own = row_start[w] + static_cast<std::size_t>(first.pos);
    b.down = row_start[w - 1] + static_cast<std::size_t>(first.down);
    b.up = row_start[w + 1] + static_cast<std::size_t>(first.up);
    b.bown = bound_at(first.w, 0, 1, 0);
    b.slot = first.slot;
    return b;
}

// The columns of r of up to three groups of the same wavefront side by side (their
// chains of divisions are independent and overlap), by the kernel for the kinds of matrix
// their lanes have, with the groups' roles R.
template <int NG, class R>
__attribute__((always_inline)) inline void WavefrontSolver::Impl::columns(const BatchView& b, const GroupView* v,
                                                                          Vec& emax, const ColumnRange& r) const {
    bool embed = false;
    for (int g = 0; g < NG; ++g) embed = embed || v[g].f.embed_any;
    if constexpr (!R::any) {
        // Known roles say whether a lane has a bounding layer.
        if constexpr (R::bound) {
            if (embed) return matrix_columns<NG, true, true, R>(*this, b, v, emax, r);
            return matrix_columns<NG, true, false, R>(*this, b, v, emax, r);
        } else {
            if (embed) return matrix_columns<NG, false, true, R>(*this, b, v, emax, r);
            return plain_columns<NG, R>(*this, b, v, emax, r);
        }
    } else {
        bool bound = false;
        for (int g = 0; g < NG; ++g) bound = bound || v[g].f.bound_any;
        if (bound && embed) return matrix_columns<NG, true, true, R>(*this, b, v, emax, r);
        if (bound) return matrix_columns<NG, true, false, R>(*this, b, v, emax, r);
        if (embed) return matrix_columns<NG, false, true, R>(*this, b, v, emax, r);
        plain_columns<NG, R>(*this, b, v, emax, r);
    }
}

template <int NG, class R>
__attribute__((always_inline)) inline void WavefrontSolver::Impl::batch_columns(const Batch& bt, Vec& emax,
                                                                                const ColumnRange& r) const {
    const std::size_t first = static_cast<std::size_t>(bt.first);
    columns<NG, R>(bt.at, &views[first], emax, r);
}

// The batch by the kernels for its shape, on processors with AVX2; a batch of no listed
// shape by the portable kernels.
__attribute__((target("avx2"))) void WavefrontSolver::Impl::sweep_batch_avx2(const Batch& bt, Vec& emax,
                                                                              const ColumnRange& r) const {
    // The kernels must be inlined here, to be compiled for AVX2.
    const bool done = RowShapes::visit(bt.key, [&]<class S>() __attribute__((always_inline)) {
        batch_columns<S::count, typename S::roles>(bt, emax, r);
    });
    if (!done) sweep_batch_portable(bt, emax, r);
}

// The batch by the portable kernels (no AVX2), with the flags of the groups' views.
void WavefrontSolver::Impl::sweep_batch_portable(const Batch& bt, Vec& emax, const ColumnRange& r) const {
    if (bt.count == 3) return batch_columns<3, AnyRoles>(bt, emax, r);
    if (bt.count == 2) return batch_columns<2, AnyRoles>(bt, emax, r);
    batch_columns<1, AnyRoles>(bt, emax, r);
}

// The batches of one wavefront over the columns of r.
void WavefrontSolver::Impl::sweep_wave(int w, Vec& emax, const ColumnRange& r) const {
    const int b0 = wave_first_batch[static_cast<std::size_t>(w)];
    const int b1 = wave_first_batch[static_cast<std::size_t>(w) + 1];
    for (int bt = b0; bt < b1; ++bt) {
        const Batch& batch = batches[static_cast<std::size_t>(bt)];
        if (avx2)
            sweep_batch_avx2(batch, emax, r);
        else
            sweep_batch_portable(batch, emax, r);
    }
}

// Splits every wavefront's groups into batches and gives each its shape.
void WavefrontSolver::Impl::form_batches() {
    for (const LineGroup& g : groups) views.push_back(view(g));
    const int waves = static_cast<int>(wave_first_group.size()) - 1;
    for (int w = 0; w < waves; ++w) {
        wave_first_batch.push_back(static_cast<int>(batches.size()));
        const int g0 = wave_first_group[static_cast<std::size_t>(w)];
        const int g1 = wave_first_group[static_cast<std::size_t>(w) + 1];
        for (int g = g0; g < g1;) {
            const int left = g1 - g;
            Batch bt;
            bt.first = g;
            bt.count = left == 4 ? 2 : std::min(left, 3);
            unsigned role[3] = {kInner, kInner, kInner};
            for (int l = 0; l < bt.count; ++l)
                role[l] = role_of(views[static_cast<std::size_t>(g + l)].f, g + l == g0, g + l == g1 - 1);
            bt.key = shape_key(bt.count, role[0], role[1], role[2]);
            bt.at = batch(groups[static_cast<std::size_t>(g)]);
            batches.push_back(bt);
            g += bt.count;
        }
    }
    wave_first_batch.push_back(static_cast<int>(batches.size()));
}

void WavefrontSolver::sweep(Model& s) {
    Impl& im = *impl_;
    if (!im.team) {
        alignas(32) Vec emax = zeros();  // the AVX2 kernels may store it with aligned stores
        const int waves = static_cast<int>(im.wave_first_group.size()) - 1;
        const ColumnRange all{1, im.nx, 0};
        for (int w = 0; w < waves; ++w) im.sweep_wave(w, emax, all);
        for (int l = 0; l < W; ++l)
            if (emax[l] > s.errmax) s.errmax = emax[l];
        return;
    }
    const int waves = static_cast<int>(im.wave_first_group.size()) - 1;
    const int members = im.team->size();
    for (int m = 0; m < members; ++m) im.progress[static_cast<std::size_t>(m)].waves.store(0, std::memory_order_relaxed);
    im.team->run([&](int member) {
        alignas(32) Vec emax = zeros();  // the AVX2 kernels may store it with aligned stores
        const ColumnRange r = im.member_columns(member, members);
        for (int w = 0; w < waves; ++w) {
            if (member > 0) wait_at_least(im.progress[static_cast<std::size_t>(member) - 1].waves, w + 1);
            im.sweep_wave(w, emax, r);
            im.progress[static_cast<std::size_t>(member)].waves.store(w + 1, std::memory_order_release);
        }
        im.member_emax[static_cast<std::size_t>(member)] = emax;
    });
    for (const Vec& emax : im.member_emax)
        for (int l = 0; l < W; ++l)
            if (emax[l] > s.errmax) s.errmax = emax[l];
}

void WavefrontSolver::end_iterations(Model& s) {
    Impl& im = *impl_;
    if (!im.matrix) return;
    im.share(static_cast<int>(im.groups.size()), [&im](int first, int last) {
        for (int n = first; n <= last; ++n) im.last_amounts_of_group(n);
    });
    im.share(im.nx, [&](int first, int last) {
        for (int i = first + 1; i <= last + 1; ++i) im.hand_over_amounts(s.md, i);
    });
}

// The last component's stored amounts of group n from its bb of the last sweep, kept in
// their slots.
void WavefrontSolver::Impl::last_amounts_of_group(int n) {
    constexpr int M = kComponents;
    const GroupView& g = views[static_cast<std::size_t>(n)];
    const BatchView b = batch(groups[static_cast<std::size_t>(n)]);
    for (int i = 1; i <= nx; ++i) {
        const MatrixVecs& k = mv[zone_of_column[static_cast<std::size_t>(i)]][M];
        const std::size_t at = b.at(0, i, M);
        const Vec cv = load(c.p + at);
        const QShared sh = q_shared(k, M, cv, load(o.p + at), load(c.p + at - b.lw));
        if (g.f.embed_any)
            store_real(g, g.f, ai2.p + at, stored_amount(k, M, sh, cv, k.aa2, load(ai2.p + at), k.delt2, k.gam2, k.beta2));
        if (g.f.bound_any) {
            const std::size_t bat = b.bound_at(i, M, g.bpos);
            store(ai1.p + bat, stored_amount(k, M, sh, cv, k.aa1, load(ai1.p + bat), k.delt1, k.gam1, k.beta1));
        }
    }
}

// The module's stored amounts of the converged step in column i, for the elements with the
// matrix.
void WavefrontSolver::Impl::hand_over_amounts(MatrixdModule& md, int i) const {
    double* ainew1 = md.ainew1.data();
    double* ainew2 = md.ainew2.data();
    cells_of_column(i, [&](const LineGroup& g, int l, int n) {
        const std::ptrdiff_t e = md.ainew1.position(n, 1);
        for (int m = 1; m <= kComponents; ++m) {
            const std::size_t at = this->at(g.w, i, m, g.pos + l);
            if (g.embed[l]) ainew2[e + m - 1] = ai2.p[at];
            if (g.bot[l] || g.top[l]) ainew1[e + m - 1] = ai1.p[bound_at(g.w, i, m, g.bpos + l)];
        }
    });
}

void WavefrontSolver::Impl::gather_columns(int i0, int i1, double* to) const {
    // A row's stretch of these columns is contiguous in the field and is read once, by its
    // lines one after the other.
    lines_in_field_order([&](int, int, std::size_t jk) {
        const std::size_t len = line_stride[jk];
        for (int i = i0; i <= i1; ++i) {
            const double* at = c.p + line_start[jk] + static_cast<std::size_t>(i) * kComponents * len;
            double* out = to + (static_cast<std::size_t>(i - i0) * static_cast<std::size_t>(nynz) + jk) * kComponents;
            for (int m = 0; m < kComponents; ++m) out[m] = at[static_cast<std::size_t>(m) * len];
        }
    });
}

void WavefrontSolver::converged_columns(int i0, int i1, double* to) const { impl_->gather_columns(i0, i1, to); }

void WavefrontSolver::hand_over_grid(Model& s) const {
    const Impl& im = *impl_;
    // The model's grid takes the solver's state. Lines are taken row by row and, within
    // a row, slot by slot, so that neighbouring lines read the same cache lines of the field
    // while each writes its own contiguous run of the model's arrays.
    double* cnew = s.cnew.data();
    double* cold = s.cold.data();
    const std::ptrdiff_t new_i = s.cnew.stride(2), new_m = s.cnew.stride(1);
    const std::ptrdiff_t old_i = s.cold.stride(2), old_m = s.cold.stride(1);
    im.lines_in_field_order([&](int j, int k, std::size_t jk) {
        const std::ptrdiff_t new0 = s.cnew.position(1, 0, j, k), old0 = s.cold.position(1, 0, j, k);
        const std::size_t line = im.line_start[jk], len = im.line_stride[jk];
        for (int i = 1; i <= im.nx; ++i)
            for (int m = 1; m <= kComponents; ++m) {
                const std::size_t at = line + (static_cast<std::size_t>(i) * kComponents + (m - 1)) * len;
                cnew[new0 + i * new_i + (m - 1) * new_m] = im.c.p[at];
                cold[old0 + i * old_i + (m - 1) * old_m] = im.o.p[at];
            }
    });
}

void WavefrontSolver::handover_and_results(Model& s, ResultFiles& files) {
    Impl& im = *impl_;
    // Handover in the solver's field: cold takes the converged values, cnew drops what is
    // negligible (negatives included). Ghosts stay zero; the source column is taken from the
    // model again at the next step.
    constexpr std::size_t kChunk = 4096;
    im.share(static_cast<int>((im.field_len + kChunk - 1) / kChunk), [&im](int first, int last) {
        double* cm = im.c.p;
        double* om = im.o.p;
        const std::size_t end = std::min(im.field_len, (static_cast<std::size_t>(last) + 1) * kChunk);
        for (std::size_t at = static_cast<std::size_t>(first) * kChunk; at < end; ++at) {
            const double v = cm[at];
            om[at] = v;
            cm[at] = v < kNegligible ? 0.0 : v;
        }
    });
    // Of the model's grid only the well's cells are read at every step (for the well line);
    // the whole grid takes the solver's state once, when the time loop ends (hand_over_grid).
    const WellCells& wc = s.well;
    if (wc.iwell >= 1 && wc.iwell <= im.nx && wc.jwell >= 1 && wc.jwell <= im.ny)
        for (int k = std::max(1, wc.kwellbot); k <= std::min(im.nz, wc.kwelltop); ++k)
            for (int m = 1; m <= kComponents; ++m) s.cnew(m, wc.iwell, wc.jwell, k) = im.c.p[im.cell_at(wc.iwell, m, wc.jwell, k)];

    // Sums and lines in element order, from the handed-over field. The pass takes the cells
    // of a column line by line, each line in another row of the field; so a few columns'
    // values at a time are first gathered row by row, in the field's order, into element
    // order.
    std::vector<double>& columns = im.column_values;
    int first = 0, last = -1;  // the columns gathered
    auto cell_values = [&im, &columns, &first, &last](int i, int j, int k, double* c) {
        if (i < first || i > last) {
            first = i;
            last = std::min(im.nx, i + Impl::kGatherColumns - 1);
            im.gather_columns(first, last, columns.data());
        }
        const std::size_t line = static_cast<std::size_t>((i - first) * im.nynz + (j - 1) * im.nz + (k - 1));
        const double* at = columns.data() + line * kComponents;
        for (int m = 1; m <= kComponents; ++m) c[m] = at[m - 1];
    };
    if (!snapshot_step(s) || !im.team)
        return with_snapshot_lines(s, [&](auto* snapshot) { write_step_results_direct(s, files, cell_values, snapshot); });
    // A snapshot step with a team: the second member formats the field's lines column by
    // column, the first forms the sums and writes every line in the same order as alone.
    const std::size_t column_bytes = static_cast<std::size_t>(im.nynz) * Impl::kFieldLineBytes;
    const std::size_t ring = std::max<std::size_t>(2 * Impl::kGatherColumns, Impl::kLineRingBytes / column_bytes + 1);
    im.column_lines.resize(std::min<std::size_t>(ring, static_cast<std::size_t>(im.nx) + 1));
    SnapshotHandoff handoff{im.column_lines};
    std::exception_ptr write_error;
    im.team->run([&](int member) {
        if (member == 1) {
            try {
                im.format_snapshot(s.deck, s.atime, handoff);
            } catch (...) {
                handoff.fail(std::current_exception());
            }
        } else if (member == 0) {
            try {
                write_step_results_direct(s, files, cell_values, &handoff);
            } catch (...) {
                write_error = std::current_exception();
                handoff.abandoned.store(true, std::memory_order_release);
            }
        }
    });
    if (write_error) std::rethrow_exception(write_error);
}

void WavefrontSolver::Impl::format_snapshot(const Deck& dk, double atime, SnapshotHandoff& handoff) {
    SnapshotHeads heads(dk, atime);
    format_values.resize(column_values.size());
    for (int i0 = 1; i0 <= nx; i0 += kGatherColumns) {
        const int i1 = std::min(nx, i0 + kGatherColumns - 1);
        gather_columns(i0, i1, format_values.data());
        for (int i = i0; i <= i1; ++i) {
            if (!handoff.wait_for_room(i)) return;
            std::string& text = handoff.lines_of(i);
            text.clear();
            heads.column(cell_centre(i, dk.dx));
            const double* at = format_values.data() + static_cast<std::size_t>(i - i0) * nynz * kComponents;
            for (int j = 1; j <= ny; ++j)
                for (int k = 1; k <= nz; ++k, at += kComponents) {
                    const double c[kComponents + 1] = {0.0, at[0], at[1], at[2], at[3]};
                    heads.append(text, j, k);
                    append_quilmar_values(text, c);
                    text += '\n';
                }
            handoff.formatted.store(i, std::memory_order_release);
        }
    }
}

}  // namespace quilmar

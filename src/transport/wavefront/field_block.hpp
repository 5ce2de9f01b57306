#pragma once
// The solver's per-cell fields (cnew, cold, the old-level part of bb and the stored amounts
// of both kinds of matrix) lie in one mapping, a fixed distance apart: a kernel then
// reaches every field of a cell from the address of its new value by a constant offset
// (those of the bounding aquitards from the cell's place in their own shorter rows, see
// kBoundSlots) and keeps its registers for the rows it works on. The distance holds the
// fields of any grid within the element capacity (at most 2.90 million doubles, for 1999 x
// 5 x 50 cells, and 3.65 million for its aquitard fields; the solver's eligibility checks
// it). It is not a multiple of a page, so that one cell's values in the different fields
// fall on different cache sets: at a multiple, the sweep ran three times slower. The
// mapping starts zeroed, and pages never touched (the fields a run does not use, the room
// beyond its field) take no memory.
#include <cstddef>

#include "state/capacity.hpp"
#include "transport/wavefront/lanes.hpp"

namespace quilmar::wavefront {

class FieldBlock {
public:
    static constexpr std::size_t kGap = (std::size_t{1} << 22) + 1344;  // doubles
    enum Field : int { kCnew, kCold, kBase1, kBase2, kAmount1, kAmount2, kCount };
    static constexpr std::size_t offset(Field f) { return static_cast<std::size_t>(f) * kGap; }

    FieldBlock() = default;
    FieldBlock(const FieldBlock&) = delete;
    FieldBlock& operator=(const FieldBlock&) = delete;
    ~FieldBlock();

    // field_len: the doubles of one field. A field of several megabytes is placed on huge
    // pages where the system allows it (a request only: small pages serve as well): a sweep
    // streams through several fields at once, and with small pages every few columns would
    // start a new page in each.
    void map(std::size_t field_len);
    double* field(Field f) const { return base_ + offset(f); }

private:
    void* mapping_ = nullptr;
    std::size_t mapped_ = 0;
    double* base_ = nullptr;  // field kCnew
};

// Whether every value of a field of n doubles is finite: a value is not finite where its
// exponent bits are all ones, and adding one to the exponent field carries into the top bit
// exactly then. Integer operations only, so that the loop runs on vectors.
bool all_finite_values(const double* field, std::size_t n);

// The end-of-step handover of values [first, end) of a field: cold takes the converged
// values, cnew drops what is negligible (negatives included).
void hand_over_values(double* cnew, double* cold, std::size_t first, std::size_t end);

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

}  // namespace quilmar::wavefront

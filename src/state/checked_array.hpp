#pragma once
// Fixed-capacity arrays with declared index ranges, every access checked.
//
// Storage is reserved for the full declared range. Large arrays are mapped as fresh
// anonymous pages that the system fills with zeros on first touch: a small grid only makes
// the pages it uses resident, while the declared ranges (and the stops at them) stay those
// of the full capacity. Mapping them directly (rather than through the heap) keeps that
// true when one process runs many models in turn, and keeps the heap checker of a
// sanitizer build from clearing and poisoning the whole capacity on every run; small
// arrays come from calloc. The storage order is chosen per array (the components of one
// cell or element lie next to each other); it does not change the meaning of any index.
#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "state/run_stop.hpp"

namespace quilmar {

[[noreturn]] void report_index_violation(const char* array, int dimension, long index, long bound,
                                         bool above);

[[noreturn]] void report_released_access(const char* array);

// Zero-filled storage of the given size; throws std::bad_alloc when none is left.
void* obtain_zeroed_storage(std::size_t bytes);
void release_storage(void* p, std::size_t bytes) noexcept;
// Hands the pages of mapped storage back to the system (they read as zeros afterwards).
void discard_storage(void* p, std::size_t bytes) noexcept;

// Sets the storage to zeros without reading it: mapped storage hands its pages back to the
// system (they read as zeros afterwards), other storage is filled.
void zero_storage(void* p, std::size_t bytes) noexcept;

struct StorageDeleter {
    std::size_t bytes = 0;
    void operator()(void* p) const { release_storage(p, bytes); }
};

template <typename T, int Rank>
class CheckedArray {
public:
    using Bounds = std::array<int, Rank>;

    // lower/upper: declared index range per dimension (dimension 1 first).
    // fastest_first: dimensions (0-based) listed from the fastest-varying in memory to the slowest.
    CheckedArray(const char* name, Bounds lower, Bounds upper, std::array<int, Rank> fastest_first)
        : name_(name), lower_(lower), upper_(upper) {
        std::ptrdiff_t stride = 1;
        for (int d : fastest_first) {
            stride_[d] = stride;
            stride *= static_cast<std::ptrdiff_t>(upper_[d] - lower_[d] + 1);
        }
        size_ = static_cast<std::size_t>(stride);
        offset_ = 0;
        for (int d = 0; d < Rank; ++d) offset_ -= stride_[d] * lower_[d];
        data_ = std::unique_ptr<T[], StorageDeleter>(static_cast<T*>(obtain_zeroed_storage(size_ * sizeof(T))),
                                                     StorageDeleter{size_ * sizeof(T)});
    }

    template <typename... I>
    T& operator()(I... idx) {
        return data_.get()[checked_offset(idx...)];
    }
    template <typename... I>
    const T& operator()(I... idx) const {
        return data_.get()[checked_offset(idx...)];
    }

    // Unchecked position of an index tuple, for loops whose ranges were checked beforehand.
    template <typename... I>
    std::ptrdiff_t position(I... idx) const {
        static_assert(sizeof...(I) == Rank);
        const std::array<long, Rank> v{static_cast<long>(idx)...};
        std::ptrdiff_t p = offset_;
        for (int d = 0; d < Rank; ++d) p += stride_[d] * v[d];
        return p;
    }

    // Raises the stop an access at this index in this dimension (1-based) would raise, if any.
    void check(int dimension, long index) const {
        const int d = dimension - 1;
        if (index > upper_[d]) report_index_violation(name_, dimension, index, upper_[d], true);
        if (index < lower_[d]) report_index_violation(name_, dimension, index, lower_[d], false);
    }

    // True if a checked access at every index lo..hi of this dimension (1-based) would pass.
    bool covers(int dimension, long lo, long hi) const {
        const int d = dimension - 1;
        return !released_ && lo >= lower_[d] && hi <= upper_[d];
    }

    // The run no longer needs the values: the pages go back to the system, and any later
    // checked access stops the run naming the array.
    void release() {
        discard_storage(data_.get(), size_ * sizeof(T));
        released_ = true;
    }

    // Every element becomes zero, and none is read: on some systems reading a page of a
    // fixed-capacity array that was never written makes it resident.
    void zero() {
        if (released_) report_released_access(name_);
        zero_storage(data_.get(), size_ * sizeof(T));
    }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    std::ptrdiff_t stride(int dimension) const { return stride_[dimension - 1]; }
    int lower(int dimension) const { return lower_[dimension - 1]; }
    int upper(int dimension) const { return upper_[dimension - 1]; }
    const char* name() const { return name_; }

private:
    template <typename... I>
    std::ptrdiff_t checked_offset(I... idx) const {
        static_assert(sizeof...(I) == Rank, "wrong number of indices");
        if (released_) report_released_access(name_);
        const std::array<long, Rank> v{static_cast<long>(idx)...};
        std::ptrdiff_t p = offset_;
        for (int d = 0; d < Rank; ++d) {
            check(d + 1, v[d]);
            p += stride_[d] * v[d];
        }
        return p;
    }

    const char* name_;
    Bounds lower_;
    Bounds upper_;
    std::array<std::ptrdiff_t, Rank> stride_{};
    std::ptrdiff_t offset_ = 0;
    std::size_t size_ = 0;
    bool released_ = false;
    std::unique_ptr<T[], StorageDeleter> data_;
};

// Per-element arrays (n) and per-element-and-component arrays (n, m), indexed from 1.
using ElementReal = CheckedArray<double, 1>;
using ElementInt = CheckedArray<int, 1>;
using ElementCompReal = CheckedArray<double, 2>;

}  // namespace quilmar

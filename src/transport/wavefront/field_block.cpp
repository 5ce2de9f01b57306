#include "transport/wavefront/field_block.hpp"

#include <cstdint>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include "state/capacity.hpp"

namespace quilmar::wavefront {

void FieldBlock::map(std::size_t field_len) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    mapped_ = kCount * kGap * sizeof(double) + kHugePage;
    mapping_ = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping_ == MAP_FAILED) {
        mapping_ = nullptr;
        throw std::bad_alloc();
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapping_);
    base_ = reinterpret_cast<double*>((start + kHugePage - 1) / kHugePage * kHugePage);
    if (field_len * sizeof(double) >= 2 * kHugePage) madvise(base_, kCount * kGap * sizeof(double), MADV_HUGEPAGE);
}

FieldBlock::~FieldBlock() {
    if (mapping_) munmap(mapping_, mapped_);
}

bool all_finite_values(const double* field, std::size_t n) {
    constexpr std::uint64_t kExponent = 0x7ff0000000000000ULL, kExponentOne = 0x0010000000000000ULL;
    std::uint64_t carry = 0;
    for (std::size_t at = 0; at < n; ++at) {
        std::uint64_t bits;
        std::memcpy(&bits, field + at, sizeof bits);
        carry |= (bits & kExponent) + kExponentOne;
    }
    return (carry >> 63) == 0;
}

void hand_over_values(double* cnew, double* cold, std::size_t first, std::size_t end) {
    for (std::size_t at = first; at < end; ++at) {
        const double v = cnew[at];
        cold[at] = v;
        cnew[at] = v < kNegligible ? 0.0 : v;
    }
}

}  // namespace quilmar::wavefront

#include "transport/wavefront/field_block.hpp"

#include <cstdint>
#include <new>

#include <sys/mman.h>

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

}  // namespace quilmar::wavefront

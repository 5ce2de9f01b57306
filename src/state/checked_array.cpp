#include "state/checked_array.hpp"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/mman.h>

namespace quilmar {
namespace {

// Arrays from this size on are mapped directly: the element and grid arrays, not the small
// per-component tables.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;

}  // namespace

void* obtain_zeroed_storage(std::size_t bytes) {
    if (bytes < kMapFrom) {
        void* p = std::calloc(bytes, 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

void release_storage(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes < kMapFrom)
        std::free(p);
    else
        ::munmap(p, bytes);
}

void discard_storage(void* p, std::size_t bytes) noexcept {
    if (p && bytes >= kMapFrom) ::madvise(p, bytes, MADV_DONTNEED);
}

void zero_storage(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes >= kMapFrom && ::madvise(p, bytes, MADV_DONTNEED) == 0) return;
    std::memset(p, 0, bytes);
}

void report_released_access(const char* array) {
    throw IndexError(std::string("array '") + array + "' was accessed after the run had released it");
}

void report_index_violation(const char* array, int dimension, long index, long bound, bool above) {
    std::string msg = "Index '" + std::to_string(index) + "' of dimension " + std::to_string(dimension) +
                      " of array '" + array + "' " + (above ? "above upper" : "below lower") +
                      " bound of " + std::to_string(bound);
    throw IndexError(msg);
}

}  // namespace quilmar

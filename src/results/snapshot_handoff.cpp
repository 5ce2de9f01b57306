#include "results/snapshot_handoff.hpp"

#include <utility>

namespace quilmar {

std::string* SnapshotHandoff::room_for(int i) {
    const int needed = i - static_cast<int>(ring_.size());
    spin_until([&] {
        return abandoned_.load(std::memory_order_acquire) || written_.load(std::memory_order_acquire) >= needed;
    });
    if (abandoned_.load(std::memory_order_acquire)) return nullptr;
    return &ring_[static_cast<std::size_t>(i) % ring_.size()];
}

void SnapshotHandoff::fail(std::exception_ptr e) {
    format_error_ = std::move(e);
    format_failed_.store(true, std::memory_order_release);
    formatted_.store(std::numeric_limits<int>::max(), std::memory_order_release);
}

void SnapshotHandoff::column(LineFile& quilmar, int i, double) {
    wait_at_least(formatted_, i);
    if (format_failed_.load(std::memory_order_acquire)) std::rethrow_exception(format_error_);
    quilmar.write_lines(ring_[static_cast<std::size_t>(i) % ring_.size()]);
    written_.store(i, std::memory_order_release);
}

}  // namespace quilmar

#pragma once
// Waiting on a counter that another thread advances, for the short waits of the sweep
// pipeline and of the snapshot hand-off.
#include <atomic>
#include <thread>

namespace quilmar {

// Waits until done() holds: spins briefly, then yields the processor.
template <class Done>
void spin_until(Done&& done) {
    for (int spin = 0; !done(); ++spin)
        if (spin > 64) std::this_thread::yield();
}

// Waits until counter reaches at least value.
inline void wait_at_least(const std::atomic<int>& counter, int value) {
    spin_until([&] { return counter.load(std::memory_order_acquire) >= value; });
}

}  // namespace quilmar

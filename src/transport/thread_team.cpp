#include "transport/thread_team.hpp"

namespace quilmar {

ThreadTeam::ThreadTeam(int size) : size_(size < 1 ? 1 : size) {
    for (int member = 1; member < size_; ++member) workers_.emplace_back([this, member] { work(member); });
}

ThreadTeam::~ThreadTeam() {
    stop_.store(true);
    generation_.fetch_add(1);
    generation_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadTeam::run(const std::function<void(int)>& job) {
    if (size_ == 1) {
        job(0);
        return;
    }
    job_ = &job;
    remaining_.store(size_ - 1, std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    job(0);
    for (int spin = 0;; ++spin) {
        const int left = remaining_.load(std::memory_order_acquire);
        if (left == 0) break;
        if (spin > 256) remaining_.wait(left, std::memory_order_acquire);
    }
}

void ThreadTeam::work(int member) {
    unsigned seen = 0;
    for (;;) {
        unsigned now = generation_.load(std::memory_order_acquire);
        for (int spin = 0; now == seen; ++spin) {
            if (spin > 2048) generation_.wait(seen, std::memory_order_acquire);
            now = generation_.load(std::memory_order_acquire);
        }
        seen = now;
        if (stop_.load()) return;
        (*job_)(member);
        if (remaining_.fetch_sub(1, std::memory_order_acq_rel) == 1) remaining_.notify_one();
    }
}

int thread_count_for(int cells, const SolverOptions& options) {
    if (options.threads > 0) return options.threads;
    constexpr int kCellsPerThread = 5000;
    const int by_size = cells / kCellsPerThread;
    const int available = available_processors();
    return by_size < 1 ? 1 : (by_size < available ? by_size : available);
}

}  // namespace quilmar

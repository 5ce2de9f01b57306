#pragma once
// A fixed team of worker threads for the sweeps. The caller is member 0; run() hands the
// same job to every member and returns when all have finished it. Between jobs the workers
// sleep on an atomic wait, so a long serial phase (result files) costs no second core.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "state/solver_options.hpp"
#include "state/spin_wait.hpp"

namespace quilmar {

class ThreadTeam {
public:
    explicit ThreadTeam(int size);
    ~ThreadTeam();
    ThreadTeam(const ThreadTeam&) = delete;
    ThreadTeam& operator=(const ThreadTeam&) = delete;

    int size() const { return size_; }
    void run(const std::function<void(int)>& job);

private:
    void work(int member);

    int size_;
    std::vector<std::thread> workers_;
    const std::function<void(int)>* job_ = nullptr;
    std::atomic<unsigned> generation_{0};
    std::atomic<int> remaining_{0};
    std::atomic<bool> stop_{false};
};

// Threads for a grid of this many cells: QUILMAR_THREADS if set (capped at the processors
// available); otherwise the processors available, but one per 5000 cells at most, since a
// small grid sweeps in microseconds and handing it to a team would cost more than it saves.
int thread_count_for(int cells, const SolverOptions& options);

}  // namespace quilmar

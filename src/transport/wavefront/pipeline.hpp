#pragma once
// The sweep of every wavefront, by one thread or by a team. With a team the columns are
// split into one range per member, and every member sweeps its range of every wavefront
// in turn, a pipeline along x. A member starts a wavefront once the member before it has
// finished that wavefront: its first column needs the new value of the column before, and
// the cells' other neighbours (j-1 and k-1 new, j+1 and k+1 old, of the same column) are
// its own. So each member keeps to its own part of the fields, and only a column's values
// per wavefront pass from one core to the next.
#include <atomic>
#include <memory>
#include <vector>

#include "transport/thread_team.hpp"
#include "transport/wavefront/kernel_entry.hpp"

namespace quilmar::wavefront {

class SweepPipeline {
public:
    // threads: members wanted (1: no threads at all); fewer where the grid has fewer
    // wavefronts or columns. avx2: run the AVX2 kernels.
    SweepPipeline(const Layout& layout, int threads, bool avx2);

    // One sweep; returns the largest change of any cell and component.
    double sweep(const SweepData& d, const Batches& batches);

    // Calls work(first, last) on parts of 0..count-1 that together cover it once: one part
    // per team member, all at the same time (without a team, the whole range). For the
    // per-step passes whose items are independent; work must not throw.
    template <class F>
    void share(int count, F&& work) const {
        if (!team_) return work(0, count - 1);
        const int members = team_->size();
        team_->run([&](int member) {
            const int first = static_cast<int>(static_cast<long>(count) * member / members);
            const int last = static_cast<int>(static_cast<long>(count) * (member + 1) / members) - 1;
            work(first, last);
        });
    }
    ThreadTeam* team() const { return team_.get(); }

private:
    // The columns of member `member` of a team of `members`.
    ColumnRange member_columns(int member, int members) const;
    void sweep_wave(const SweepData& d, const Batches& batches, int w, LaneValues& emax, const ColumnRange& r) const;

    int nx_, waves_;
    bool avx2_;
    std::unique_ptr<ThreadTeam> team_;
    // Wavefronts done in this sweep, per member, each counter on a cache line of its own:
    // the member that advances one must not take the line from the member waiting on it.
    struct alignas(64) Progress {
        std::atomic<int> waves{0};
    };
    std::unique_ptr<Progress[]> progress_;
    std::vector<LaneValues> member_emax_;
};

}  // namespace quilmar::wavefront

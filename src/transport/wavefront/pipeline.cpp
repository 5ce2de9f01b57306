#include "transport/wavefront/pipeline.hpp"

#include <algorithm>

namespace quilmar::wavefront {
namespace {

// The largest lane of emax above errmax, compared as the scalar sweep compares.
double raise_to(double errmax, const LaneValues& emax) {
    for (int l = 0; l < W; ++l)
        if (emax.v[l] > errmax) errmax = emax.v[l];
    return errmax;
}

}  // namespace

SweepPipeline::SweepPipeline(const Layout& layout, int threads, bool avx2)
    : nx_(layout.nx()), waves_(layout.waves()), avx2_(avx2) {
    // A member needs columns of its own, and the pipeline fills in as many wavefronts as
    // there are members.
    threads = std::min({threads, waves_, nx_});
    if (threads > 1) {
        team_ = std::make_unique<ThreadTeam>(threads);
        progress_ = std::make_unique<Progress[]>(static_cast<std::size_t>(threads));
        member_emax_.assign(static_cast<std::size_t>(threads), LaneValues{});
    }
}

ColumnRange SweepPipeline::member_columns(int member, int members) const {
    ColumnRange r;
    r.first = 1 + static_cast<int>(static_cast<long long>(nx_) * member / members);
    r.last = static_cast<int>(static_cast<long long>(nx_) * (member + 1) / members);
    r.shared = member + 1 < members ? r.last : 0;
    return r;
}

void SweepPipeline::sweep_wave(const SweepData& d, const Batches& batches, int w, LaneValues& emax,
                               const ColumnRange& r) const {
    const int b1 = batches.first_batch(w + 1);
    for (int bt = batches.first_batch(w); bt < b1; ++bt) {
        const Batch& batch = batches.all()[static_cast<std::size_t>(bt)];
        if (avx2_)
            sweep_batch_avx2(d, batch, emax, r);
        else
            sweep_batch_portable(d, batch, emax, r);
    }
}

double SweepPipeline::sweep(const SweepData& d, const Batches& batches) {
    if (!team_) {
        LaneValues emax{};
        const ColumnRange all{1, nx_, 0};
        for (int w = 0; w < waves_; ++w) sweep_wave(d, batches, w, emax, all);
        return raise_to(0.0, emax);
    }
    const int members = team_->size();
    for (int m = 0; m < members; ++m) progress_[static_cast<std::size_t>(m)].waves.store(0, std::memory_order_relaxed);
    team_->run([&](int member) {
        LaneValues emax{};
        const ColumnRange r = member_columns(member, members);
        for (int w = 0; w < waves_; ++w) {
            if (member > 0) wait_at_least(progress_[static_cast<std::size_t>(member) - 1].waves, w + 1);
            sweep_wave(d, batches, w, emax, r);
            progress_[static_cast<std::size_t>(member)].waves.store(w + 1, std::memory_order_release);
        }
        member_emax_[static_cast<std::size_t>(member)] = emax;
    });
    double errmax = 0.0;
    for (const LaneValues& emax : member_emax_) errmax = raise_to(errmax, emax);
    return errmax;
}

}  // namespace quilmar::wavefront

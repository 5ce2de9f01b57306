// The sweep kernels for any processor, with every flag taken from the groups' views, and
// the last component's stored amounts after the last sweep of a step.
#include "transport/wavefront/kernels.hpp"

namespace quilmar::wavefront {

void sweep_batch_portable(const SweepData& d, const Batch& bt, LaneValues& emax, const ColumnRange& r) {
    if (bt.count == 3) return batch_columns<3, AnyRoles>(d, bt, emax, r);
    if (bt.count == 2) return batch_columns<2, AnyRoles>(d, bt, emax, r);
    batch_columns<1, AnyRoles>(d, bt, emax, r);
}

void last_amounts_of_group(const SweepData& d, const Layout& layout, int n) {
    constexpr int M = kComponents;
    const GroupView& g = d.views[n];
    const BatchView b = batch_view(layout, layout.groups()[static_cast<std::size_t>(n)]);
    double* const cm = d.cnew;
    const double* const om = cm + kColdAt;
    double* const ai1 = cm + kAmount1At;
    double* const ai2 = cm + kAmount2At;
    for (int i = 1; i <= layout.nx(); ++i) {
        const MatrixVecs& k = d.vecs[d.zone_of_column[i]][M];
        const std::size_t a = at(b, 0, i, M);
        const Vec cv = load(cm + a);
        const QShared sh = q_shared(k, M, cv, load(om + a), load(cm + a - b.lw));
        if (g.f.embed_any)
            store_real(g, g.f, ai2 + a,
                       stored_amount(k, M, sh, cv, load(k.aa2), load(ai2 + a), load(k.delt2), load(k.gam2),
                                     load(k.beta2)));
        if (g.f.bound_any) {
            const std::size_t bat = bound_at(b, i, M, g.bpos);
            store(ai1 + bat, stored_amount(k, M, sh, cv, load(k.aa1), load(ai1 + bat), load(k.delt1), load(k.gam1),
                                           load(k.beta1)));
        }
    }
}

}  // namespace quilmar::wavefront

#include "matrixdiffusion/matrixdsr.hpp"
#include "matrixdiffusion/md_math.hpp"

namespace quilmar {
void matrixdsr6int(MatrixdModule& md, const GlobalVek& gv, double dt) {
    for (int n = 1; n <= gv.nelmax; ++n) {
        const bool embedded = md.mdembed(n) == 1;
        const bool bounding = md.mdbot(n) == 1 || md.mdtop(n) == 1;
        if (!embedded && !bounding) continue;
        for (int m = 1; m <= gv.icomp; ++m) {
            const double c = md.cn(n, m);
            const double c_old = md.co(n, m);
            const double d = md.d(n, m);
            const double alpha = md.alpha(n, m);
            const double lambdar = md.alambdar(n, m);
            const double qtop1 = mdmath::qtop1(c, c_old, d, alpha * dt);
            const double q_decay = mdmath::q_decay(lambdar, c, d, alpha);
            // Production from the parent's decay in the matrix water, as it enters q.
            const bool has_parent = m > 1;
            const double parent_source =
                has_parent ? mdmath::parent_source(md.yieldm(n, m) * md.decaym(n, m - 1), md.cn(n, m - 1), d,
                                                   md.retardm(n, m) * alpha)
                           : 0.0;
            const double two_d = 2.0 * d, d_2d = d * (2.0 * d);
            if (embedded) {
                md.ainew2(n, m) = mdmath::profile(md.aa2(n, m), md.bb2(n, m), md.delt2(n, m), md.gam2(n, m),
                                                   md.beta2(n, m), c, qtop1, q_decay, has_parent, parent_source,
                                                   two_d, d_2d)
                                       .stored;
            }
            if (bounding) {
                md.ainew1(n, m) = mdmath::profile(md.aa1(n, m), md.bb1(n, m), md.delt1(n, m), md.gam1(n, m),
                                                   md.beta1(n, m), c, qtop1, q_decay, has_parent, parent_source,
                                                   two_d, d_2d)
                                       .stored;
            }
        }
    }
}

void matrixdsr7updt(MatrixdModule& md, const GlobalVek& gv) {
    if (gv.nelmax < 1 || gv.icomp < 1) return;
    // Every index below lies within the first and last element and component; checking
    // those two corners covers the whole loop.
    md.mdembed.check(1, 1);
    md.mdembed.check(1, gv.nelmax);
    md.ainew1.check(2, 1);
    md.ainew1.check(2, gv.icomp);
    const int* embed = md.mdembed.data() + md.mdembed.position(1);
    const int* bot = md.mdbot.data() + md.mdbot.position(1);
    const int* top = md.mdtop.data() + md.mdtop.position(1);
    for (int n = 1; n <= gv.nelmax; ++n) {
        const bool has_embed = embed[n - 1] == 1;
        const bool has_bound = bot[n - 1] == 1 || top[n - 1] == 1;
        if (!has_embed && !has_bound) continue;
        for (int m = 1; m <= gv.icomp; ++m) {
            const std::ptrdiff_t e = md.ainew1.position(n, m);
            if (has_embed) md.aiold2.data()[e] = md.ainew2.data()[e];
            if (has_bound) md.aiold1.data()[e] = md.ainew1.data()[e];
        }
    }
}

}  // namespace quilmar

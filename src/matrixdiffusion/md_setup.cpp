#include "matrixdiffusion/matrixdsr.hpp"

namespace quilmar {

void matrixdsr1(MatrixdModule& md, const GlobalVek& gv) {
    for (int n = 1; n <= gv.nelmax; ++n) {
        md.mdtop(n) = 0;
        md.mdbot(n) = 0;
        md.mdembed(n) = 0;
        md.amd1(n) = gv.area(n);
        const double aleng = gv.top(n) - gv.bot(n);
        const double volu = gv.area(n) * aleng;
        // Embedded interface area from the deck's volume fraction, before it may be forced to 1.
        md.amd2(n) = volu * (1.0 - md.volfrac(n)) / md.difflen(n);
        // Codes: 1 bottom, 2 embedded, 3 top, 4 top+bottom, 5 bottom+embedded,
        // 6 top+embedded, 7 all three; anything else none.
        switch (md.mdflag(n)) {
            case 0: md.volfrac(n) = 1.0; break;
            case 1: md.mdbot(n) = 1; md.volfrac(n) = 1.0; break;
            case 2: md.mdembed(n) = 1; break;
            case 3: md.mdtop(n) = 1; md.volfrac(n) = 1.0; break;
            case 4: md.mdtop(n) = 1; md.mdbot(n) = 1; md.volfrac(n) = 1.0; break;
            case 5: md.mdbot(n) = 1; md.mdembed(n) = 1; break;
            case 6: md.mdtop(n) = 1; md.mdembed(n) = 1; break;
            case 7: md.mdtop(n) = 1; md.mdbot(n) = 1; md.mdembed(n) = 1; break;
            default: break;
        }
        for (int m = 1; m <= gv.icomp; ++m) {
            md.retardm(n, m) = md.kd(n, m) * md.rhob(n) / md.porm(n) + 1.0;
            md.alpha(n, m) = md.diff(n, m) * md.tortm(n) / md.retardm(n, m);
            md.alambdar(n, m) = md.decaym(n, m) / md.retardm(n, m);
        }
    }
}

}  // namespace quilmar

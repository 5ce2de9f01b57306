#include "setup/initial_state.hpp"

#include <cmath>

namespace quilmar {
namespace {

// Sets v to zero. Storage that already holds +0 is not written, so the untouched zero
// pages of the fixed-capacity arrays stay out of resident memory.
void clear(double& v) {
    if (v != 0.0 || std::signbit(v)) v = 0.0;
}

}  // namespace

void set_initial_state(Model& s) {
    const Deck& dk = s.deck;
    MatrixdModule& md = s.md;
    s.atime = 0.0;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                if (dk.nz != 1) {
                    if (md.mdtop(n) == 1 && k != dk.nz) md.mdtop(n) = 0;
                    if (md.mdbot(n) == 1 && k != 1) md.mdbot(n) = 0;
                }
                for (int m = 1; m <= kComponents; ++m) {
                    clear(s.cnew(m, i, j, k));
                    clear(s.cnew(m, dk.nx + 1, j, k));
                    clear(s.cnew(m, 0, j, k));
                    clear(s.cold(m, i, j, k));
                    clear(md.ainew1(n, m));
                    clear(md.aiold1(n, m));
                    clear(md.ainew2(n, m));
                    clear(md.aiold2(n, m));
                }
            }
}

}  // namespace quilmar

#include "setup/initial_state.hpp"

namespace quilmar {

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
                    s.cnew(m, i, j, k) = 0.0;
                    s.cnew(m, dk.nx + 1, j, k) = 0.0;
                    s.cnew(m, 0, j, k) = 0.0;
                    s.cold(m, i, j, k) = 0.0;
                    md.ainew1(n, m) = 0.0;
                    md.aiold1(n, m) = 0.0;
                    md.ainew2(n, m) = 0.0;
                    md.aiold2(n, m) = 0.0;
                }
            }
}

}  // namespace quilmar

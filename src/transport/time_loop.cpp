#include "transport/time_loop.hpp"

#include <ostream>

#include "driver/console_line.hpp"
#include "matrixdiffusion/matrixdsr.hpp"
#include "results/result_pass.hpp"
#include "setup/source.hpp"
#include "state/run_stop.hpp"
#include "transport/sweep.hpp"

namespace quilmar {
namespace {

[[noreturn]] void stop_not_converged(const Model& s, std::ostream& out) {
    out << ConsoleLine().text("maxit exceeded").value(s.iter).str() << '\n';
    out.flush();
    throw RunStop(kExitNotConverged, "step " + std::to_string(s.ntime) + " (time " + shortest_real(s.atime) +
                                         ") did not converge within maxit = " + std::to_string(s.deck.maxit) +
                                         " sweeps; the result files end with the step before");
}

void iterate_step(Model& s, SweepCarry& carry, std::ostream& out) {
    s.iter = 0;
    do {
        s.errmax = 0.0;
        s.iter = s.iter + 1;
        if (s.iter > s.deck.maxit) stop_not_converged(s, out);
        sweep_checked(s, carry);
        copy_grid_to_elements(s);
        matrixdsr6int(s.md, s.gv, s.deck.dt);
    } while (s.errmax > s.deck.tol);
}

}  // namespace

void copy_grid_to_elements(Model& s) {
    const Deck& dk = s.deck;
    int n = 0;
    for (int i = 1; i <= dk.nx; ++i)
        for (int j = 1; j <= dk.ny; ++j)
            for (int k = 1; k <= dk.nz; ++k) {
                ++n;
                for (int m = 1; m <= kComponents; ++m) {
                    s.md.cn(n, m) = s.cnew(m, i, j, k);
                    s.md.co(n, m) = s.cold(m, i, j, k);
                }
            }
}

void run_time_loop(Model& s, ResultFiles& files, std::ostream& out) {
    SweepCarry carry;
    s.nprint = 0;
    for (s.ntime = 1; s.ntime <= s.deck.nt; ++s.ntime) {
        s.nprint = s.nprint + 1;
        s.atime = s.atime + s.deck.dt;
        s.mass.clear();
        matrixdsr2(s.md, s.gv, s.atime);
        release_source(s);
        iterate_step(s, carry, out);
        out << ConsoleLine()
                   .text(" time = ")
                   .value(s.atime)
                   .text(" iterations = ")
                   .value(s.iter)
                   .text("vw-mass1(1,1,1,1)= ")
                   .value(s.md.ainew1(1, 1))
                   .text("vw-mass2= ")
                   .value(s.md.ainew2(1, 1))
                   .str()
            << '\n';
        out.flush();
        matrixdsr7updt(s.md, s.gv);
        handover_and_results(s, files);
        files.flush();
    }
}

}  // namespace quilmar

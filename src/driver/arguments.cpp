#include "driver/arguments.hpp"

namespace quilmar {

Invocation parse_arguments(const std::vector<std::string>& args) {
    Invocation inv;
    auto misuse = [&](const std::string& problem) {
        inv.action = Invocation::Action::Misuse;
        inv.problem = problem;
        return inv;
    };
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            inv.action = Invocation::Action::Help;
            return inv;
        }
        if (a == "--version") {
            inv.action = Invocation::Action::Version;
            return inv;
        }
    }
    for (const std::string& a : args) {
        if (a == "--budget") {
            inv.options.budget = true;
        } else if (a.empty() || (a[0] == '-' && a != "-")) {
            return misuse("unknown argument '" + a + "'");
        } else if (!inv.deck_path.empty()) {
            return misuse("more than one deck file ('" + inv.deck_path + "', '" + a + "')");
        } else if (a != "-") {
            inv.deck_path = a;  // "-" names standard input, the default
        }
    }
    return inv;
}

const std::string& usage_text() {
    static const std::string text =
        "usage: quilmar_v3 [--budget] < DECK\n"
        "       quilmar_v3 [--budget] DECK\n"
        "       quilmar_v3 --help | --version\n"
        "\n"
        "One run of the groundwater plume simulator. The deck is read from standard input, or\n"
        "from the file DECK; the deck echo and one progress line per time step go to standard\n"
        "output, reports and warnings to standard error. The result files discharge.out,\n"
        "Quilmar.out, plume_mass.out and obs_well.out are written in the working folder, which\n"
        "the run locks (quilmar.lock) while it writes there.\n"
        "\n"
        "Options:\n"
        "  --budget    write budget.out, the mass budget of every step\n"
        "  --help      this text\n"
        "  --version   the program's version\n"
        "\n"
        "Exit status:\n"
        "  0       all time steps done\n"
        "  1       a time step did not converge within maxit sweeps, or produced a value that\n"
        "          is not finite\n"
        "  2       the deck cannot be read or is rejected, a grid beyond the capacities, a\n"
        "          result file or the console cannot be written, the working folder is in use\n"
        "          by another run, or a bad argument\n"
        "  128+N   stopped by signal N (SIGINT, SIGTERM, SIGHUP) at the end of a time step\n"
        "\n"
        "Environment:\n"
        "  QUILMAR_THREADS=n    threads of the sweeps (1: none; default: the processors)\n"
        "  QUILMAR_REFERENCE=1  the checked cell-by-cell solver (same results, slower)\n"
        "  QUILMAR_PORTABLE=1   the kernels of processors without AVX2 (same results)\n"
        "  QUILMAR_TIMING=1     one line on standard error with the time of the sweeps\n";
    return text;
}

const std::string& version_line() {
    static const std::string line = "quilmar_v3 3.0\n";
    return line;
}

}  // namespace quilmar

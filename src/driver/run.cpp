#include "driver/run.hpp"

#include <istream>
#include <ostream>

#include "input/deck_adjust.hpp"
#include "input/deck_layout.hpp"
#include "matrixdiffusion/matrixdsr.hpp"
#include "results/result_files.hpp"
#include "setup/deck_checks.hpp"
#include "setup/elements.hpp"
#include "setup/initial_state.hpp"
#include "setup/source.hpp"
#include "state/model.hpp"
#include "state/run_stop.hpp"
#include "transport/coefficients.hpp"
#include "transport/time_loop.hpp"

namespace quilmar {

int run(std::istream& in, std::ostream& out, std::ostream& err, const RunOptions& options) {
    Model s;
    ResultFiles files;
    try {
        files.open(options.output_dir);             // result files with their header lines
        read_deck(s, in, out);                      // input deck, echoed
        setup_elements(s, out);                     // grid and elements
        check_elements(s.deck, err);
        matrixdsr1(s.md, s.gv);                     // matrix properties
        find_observation_well(s, out);              // observation well
        check_well(s.deck, s.well, err);
        adjust_deck(s.deck);                        // deck adjustments
        check_source(s.deck, err);
        setup_source(s, out);                       // source model
        check_transport(s.deck);
        compute_transport_coefficients(s);          // transport coefficients
        set_initial_state(s);                       // initial state
        check_time_steps(s.deck, err);
        run_time_loop(s, files, out);               // time loop
        out.flush();
        files.close();                              // normal stop
        return kExitOk;
    } catch (const RunStop& stop) {
        out.flush();
        const std::string file_report = files.close_after_stop();
        err << "quilmar_v3: " << stop.what() << '\n';
        if (!file_report.empty()) {
            err << "quilmar_v3: " << file_report << '\n';
            return kExitInputOrIndex;
        }
        return stop.status();
    }
}

}  // namespace quilmar

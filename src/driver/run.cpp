#include "driver/run.hpp"

#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <system_error>

#include "input/deck_adjust.hpp"
#include "input/deck_layout.hpp"
#include "matrixdiffusion/matrixdsr.hpp"
#include "results/budget_file.hpp"
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
    ResultFiles files;
    BudgetFile budget_file;  // opened only when the budget is asked for
    // A stop keeps the console and every complete result line written so far, and reports
    // on err; a result file that cannot be closed is reported too and ends the run with 2.
    auto stop_with = [&](const std::string& report, int status) {
        out.flush();
        std::string file_report = files.close_after_stop();
        const std::string budget_report = budget_file.close_after_stop();
        if (file_report.empty()) file_report = budget_report;
        err << "quilmar_v3: " << report << '\n';
        if (!file_report.empty()) {
            err << "quilmar_v3: " << file_report << '\n';
            return kExitInputOrIndex;
        }
        return status;
    };
    try {
        files.open(options.output_dir);                 // result files with their header lines
        if (options.budget) budget_file.open(options.output_dir);
        const auto model = std::make_unique<Model>();  // the arrays at their fixed capacities
        Model& s = *model;
        read_deck(s, in, out);                          // input deck, echoed
        setup_elements(s, out);                         // grid and elements
        check_elements(s.deck, err);
        matrixdsr1(s.md, s.gv);                         // matrix properties
        find_observation_well(s, out);                  // observation well
        check_well(s.deck, s.well, err);
        adjust_deck(s.deck);                            // deck adjustments
        check_source(s.deck, err);
        setup_source(s, out);                           // source model
        check_transport(s.deck);
        compute_transport_coefficients(s);              // transport coefficients
        set_initial_state(s);                           // initial state
        check_time_steps(s.deck, err);
        run_time_loop(s, files, out, false, options.budget ? &budget_file : nullptr);  // time loop
        out.flush();
        files.close();                                  // normal stop
        budget_file.close();
        return kExitOk;
    } catch (const RunStop& stop) {
        return stop_with(stop.what(), stop.status());
    } catch (const std::bad_alloc&) {
        // The arrays are reserved at their capacities; under a limit on the address space
        // (ulimit -v) the system may refuse them, or the solver's fields.
        return stop_with("out of memory: the system refused the memory this run needs", kExitInputOrIndex);
    } catch (const std::system_error& e) {
        // For example a thread of the team that the system would not start.
        return stop_with(std::string("the system refused a resource this run needs: ") + e.what(), kExitInputOrIndex);
    }
}

}  // namespace quilmar

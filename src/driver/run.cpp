#include "driver/run.hpp"

#include <cerrno>
#include <cstring>
#include <ios>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <system_error>

#include "driver/capacity_note.hpp"
#include "driver/process_setup.hpp"
#include "input/deck_adjust.hpp"
#include "input/deck_layout.hpp"
#include "input/deck_reader.hpp"
#include "matrixdiffusion/matrixdsr.hpp"
#include "results/budget_file.hpp"
#include "results/result_files.hpp"
#include "setup/deck_checks.hpp"
#include "setup/elements.hpp"
#include "setup/initial_state.hpp"
#include "setup/source.hpp"
#include "state/model.hpp"
#include "state/run_stop.hpp"
#include "text/shortest_real.hpp"
#include "state/solver_options.hpp"
#include "transport/coefficients.hpp"
#include "transport/time_loop.hpp"

namespace quilmar {
namespace {

// A console that cannot take its lines (a full device, a closed pipe) raises an exception
// at the write, which stops the run like a result file that cannot be written. The
// caller's stream gets its own exception mask back at the end.
class ConsoleFailures {
public:
    explicit ConsoleFailures(std::ostream& out) : out_(out), mask_(out.exceptions()) {
        out_.exceptions(mask_ | std::ios::badbit);
    }
    ~ConsoleFailures() { out_.exceptions(mask_); }

private:
    std::ostream& out_;
    std::ios::iostate mask_;
};

std::string console_report(int err) {
    return std::string("cannot write the console (standard output)") + (err ? std::string(": ") + std::strerror(err) : "");
}

// Where the run stands, for the report of a stop by a signal.
std::string stop_point(const Model* s) {
    if (!s || s->ntime < 1) return "before the first time step; the result files hold their header lines only";
    const int done = s->ntime > s->deck.nt ? s->deck.nt : s->ntime;
    return "after time step " + std::to_string(done) + " (time " + shortest_real(s->atime) +
           "); the result files end with that step";
}

}  // namespace

int run(std::istream& in, std::ostream& out, std::ostream& err, const RunOptions& options) {
    ResultFiles files;
    BudgetFile budget_file;  // opened only when the budget is asked for
    std::unique_ptr<Model> model;
    // A stop keeps the console and every complete result line written so far, and reports
    // on err; a result file that cannot be closed is reported too and ends the run with 2.
    auto stop_with = [&](const std::string& report, int status) {
        try {
            out.flush();
        } catch (const std::ios_base::failure&) {
            // The report below says why the run stops; the console is past help.
        }
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
    stop_at_once_on_signal(true);
    take_stop_signal();  // drops a signal left over from an earlier run in this process
    try {
        const ConsoleFailures console(out);
        const SolverOptions solver = solver_options_from_environment();  // before any file is touched
        files.open(options.output_dir);                 // result files with their header lines
        if (options.budget) budget_file.open(options.output_dir);
        model = std::make_unique<Model>();              // the arrays at their fixed capacities
        Model& s = *model;
        read_deck(s, in, out, &err);                    // input deck, echoed
        stop_at_once_on_signal(false);
        stop_if_signalled();
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
        stop_if_signalled();
        run_time_loop(s, files, out, solver, false, options.budget ? &budget_file : nullptr);  // time loop
        out.flush();
        files.close();                                  // normal stop
        budget_file.close();
        return kExitOk;
    } catch (const Interrupted& stop) {
        return stop_with(std::string(stop.what()) + " " + stop_point(model.get()), stop.status());
    } catch (const IndexError& stop) {
        const std::string note = model ? capacity_note(model->deck) : "";
        return stop_with(note.empty() ? stop.what() : std::string(stop.what()) + " " + note, stop.status());
    } catch (const RunStop& stop) {
        return stop_with(stop.what(), stop.status());
    } catch (const std::bad_alloc&) {
        // The arrays are reserved at their capacities; under a limit on the address space
        // (ulimit -v) the system may refuse them, or the solver's fields.
        return stop_with("out of memory: the system refused the memory this run needs", kExitInputOrIndex);
    } catch (const std::ios_base::failure&) {
        return stop_with(console_report(errno), kExitInputOrIndex);
    } catch (const std::system_error& e) {
        // For example a thread of the team that the system would not start.
        return stop_with(std::string("the system refused a resource this run needs: ") + e.what(), kExitInputOrIndex);
    }
}

}  // namespace quilmar

#include "support/run_support.hpp"

#include <cstdlib>
#include <stdexcept>

#include "driver/run.hpp"
#include "input/deck_adjust.hpp"
#include "input/deck_layout.hpp"
#include "matrixdiffusion/matrixdsr.hpp"
#include "setup/elements.hpp"
#include "setup/initial_state.hpp"
#include "setup/source.hpp"
#include "transport/coefficients.hpp"
#include "transport/time_loop.hpp"

namespace quilmar::testing {

void load_deck(Model& s, Deck& d) {
    std::istringstream in(deck_text(d));
    std::ostringstream echo;
    read_deck(s, in, echo);
}

void set_up(Model& s, std::ostream& out) {
    setup_elements(s, out);
    matrixdsr1(s.md, s.gv);
    find_observation_well(s, out);
    adjust_deck(s.deck);
    setup_source(s, out);
    compute_transport_coefficients(s);
    set_initial_state(s);
}

std::unique_ptr<Model> set_up_model(Deck& d) {
    auto s = std::make_unique<Model>();
    load_deck(*s, d);
    std::ostringstream out;
    set_up(*s, out);
    return s;
}

SteppedRun::SteppedRun(Deck& d) : model_(std::make_unique<Model>()) {
    files_.open(dir_.path());
    load_deck(*model_, d);
    set_up(*model_, console_);
}

void SteppedRun::step() {
    // One call of the time loop with a single step: clock, matrix coefficients, source,
    // sweeps, progress line, matrix rotation, handover and results. The snapshot counter
    // restarts with every call, so Quilmar.out is written only with npt = 1.
    const int nt = model_->deck.nt;
    model_->deck.nt = 1;
    run_time_loop(*model_, files_, console_, true);
    model_->deck.nt = nt;
}

std::string SteppedRun::file(const std::string& name) {
    files_.flush();
    return read_file(dir_.file(name));
}

ReferenceSweep::ReferenceSweep() { setenv("QUILMAR_REFERENCE", "1", 1); }
ReferenceSweep::~ReferenceSweep() { unsetenv("QUILMAR_REFERENCE"); }

RunResult run_with_budget(const std::string& deck_text, const TempDir& dir) {
    std::istringstream in(deck_text);
    std::ostringstream out, err;
    RunOptions options;
    options.output_dir = dir.path();
    options.budget = true;
    RunResult r;
    r.status = run(in, out, err, options);
    r.out = out.str();
    r.err = err.str();
    for (const char* name : {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out", "budget.out"})
        r.files[name] = read_file(dir.file(name));
    return r;
}

std::vector<std::vector<double>> data_rows(const std::string& file_text) {
    std::vector<std::vector<double>> rows;
    const auto lines = lines_of(file_text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<double> row;
        std::size_t start = 0;
        const std::string& l = lines[i];
        while (start <= l.size()) {
            std::size_t end = l.find(',', start);
            if (end == std::string::npos) end = l.size();
            const std::string field = l.substr(start, end - start);
            char* stop = nullptr;
            const double v = std::strtod(field.c_str(), &stop);
            if (stop == field.c_str()) throw std::runtime_error("not a number in a result line: " + l);
            row.push_back(v);
            start = end + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

double number_after(const std::string& line, const std::string& label) {
    const std::size_t p = line.find(label);
    if (p == std::string::npos) throw std::runtime_error("no '" + label + "' in: " + line);
    return std::strtod(line.c_str() + p + label.size(), nullptr);
}

std::vector<std::string> lines_with(const std::string& text, const std::string& needle) {
    std::vector<std::string> out;
    for (const std::string& l : lines_of(text))
        if (l.find(needle) != std::string::npos) out.push_back(l);
    return out;
}

}  // namespace quilmar::testing

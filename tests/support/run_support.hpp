#pragma once
// Helpers for tests that drive a run in-process phase by phase, or that read numbers back
// from the result files and the console.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "results/result_files.hpp"
#include "state/model.hpp"
#include "support/test_support.hpp"

namespace quilmar::testing {

// Reads the deck text of d into s (the echo is discarded).
void load_deck(Model& s, Deck& d);

// Setup phases in run order: elements, matrix properties, well, deck adjustments, source,
// transport coefficients, initial state. Setup console lines go to out.
void set_up(Model& s, std::ostream& out);

// A model read from d and set up, its setup console discarded.
std::unique_ptr<Model> set_up_model(Deck& d);

// A run held in-process: the model after setup, its result files in a scratch folder and
// its console. step() makes one time step exactly as the time loop does.
class SteppedRun {
public:
    explicit SteppedRun(Deck& d);
    Model& model() { return *model_; }
    void step();
    void steps(int count) {
        for (int i = 0; i < count; ++i) step();
    }
    std::string console() const { return console_.str(); }
    std::string file(const std::string& name);  // flushed contents of a result file

private:
    std::unique_ptr<Model> model_;
    TempDir dir_;
    ResultFiles files_;
    std::ostringstream console_;
};

// Selects the cell-by-cell sweep (the reference the faster paths must reproduce) for the
// runs made while it exists.
struct ReferenceSweep {
    ReferenceSweep();
    ~ReferenceSweep();
};

// Runs the deck in-process with the mass budget on, in dir: the four result files and
// budget.out by name, the console and the reports.
RunResult run_with_budget(const std::string& deck_text, const TempDir& dir);

// Numbers of the data lines of a result file (the header line is skipped).
std::vector<std::vector<double>> data_rows(const std::string& file_text);

// The number written after `label` on a console line.
double number_after(const std::string& line, const std::string& label);

// Console lines that contain `text`.
std::vector<std::string> lines_with(const std::string& text, const std::string& needle);

}  // namespace quilmar::testing

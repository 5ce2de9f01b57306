#pragma once
#include <iosfwd>
#include <string>

namespace quilmar {

struct RunOptions {
    std::string output_dir = ".";  // where the result files are written
    bool budget = false;           // also write budget.out, the mass budget of every step
};

// One simulation run: the deck from `in`, echo and progress on `out`, reports on `err`.
// Returns the process exit status: 0 at a normal end, 1 when a step does not converge,
// 2 on an input, index or output failure (the console included), 128 + N when signal N
// stopped the run.
int run(std::istream& in, std::ostream& out, std::ostream& err, const RunOptions& options = {});

}  // namespace quilmar

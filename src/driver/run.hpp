#pragma once
#include <iosfwd>
#include <string>

namespace quilmar {

struct RunOptions {
    std::string output_dir = ".";  // where the four result files are written
    bool budget = false;           // also write the mass budget of every step (budget.out)
};

// One simulation run: the deck from `in`, echo and progress on `out`, reports on `err`.
// Returns the process exit status: 0 at a normal end, 1 when a step does not converge,
// 2 on an input, index or output failure.
int run(std::istream& in, std::ostream& out, std::ostream& err, const RunOptions& options = {});

}  // namespace quilmar

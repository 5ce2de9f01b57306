#pragma once
// Shared helpers of the tests: decks built from a Deck value, a scratch folder, and runs
// of the real program on a deck with everything it writes collected.
#include <map>
#include <vector>
#include <string>

#include "state/model.hpp"

namespace quilmar::testing {

// A small valid scenario: 10 x 3 x 2 cells, one parent with a source, a well on the grid,
// no matrix diffusion. Tests change what they need.
void set_small_scenario(Deck& d);

// The deck text of d: two comment lines and one value line per record.
std::string deck_text(Deck& d);

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    std::map<std::string, std::string> files;  // the four result files by name ("" if absent)
};

// Runs the built quilmar_v3 in dir with deck_text on standard input. extra_env is put in
// front of the command (for example "QUILMAR_THREADS=2").
RunResult run_program(const std::string& deck_text, const TempDir& dir, const std::string& extra_env = "");

// Lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// Resident memory of this process in kB; -1 where /proc/self/statm cannot be read.
long resident_kb();

}  // namespace quilmar::testing

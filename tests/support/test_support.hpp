#pragma once
// Shared helpers of the tests: decks built from a Deck value, a scratch folder, and runs
// of the real program on a deck with everything it writes collected.
#include <functional>
#include <map>
#include <vector>
#include <string>
#include <utility>

#include "state/model.hpp"

namespace quilmar::testing {

// A small valid scenario: 10 x 3 x 2 cells, one parent with a source, a well on the grid,
// no matrix diffusion. Tests change what they need.
void set_small_scenario(Deck& d);

// The deck text of d: two comment lines and one value line per record.
std::string deck_text(Deck& d);

// A test deck: the small scenario, or a deck given, changed one part of the deck per call.
// change() takes what no call covers; deck() gives the Deck itself, text() its deck text.
class DeckBuilder {
public:
    DeckBuilder() { set_small_scenario(deck_); }
    explicit DeckBuilder(Deck d) : deck_(std::move(d)) {}
    DeckBuilder& source(int m, double czero, double tzeromass);
    // A source that keeps czero for the whole run: gamma 0 and a mass that cannot run out.
    DeckBuilder& constant_source(int m, double czero);
    // The source plane's rows 1..lysource and layers lzsourcemin..lzsourcemax.
    DeckBuilder& source_cells(int lysource, int lzsourcemin, int lzsourcemax);
    // The fraction of the source mass removed between t1 and t2.
    DeckBuilder& remediation(double xremove, double t1, double t2);
    DeckBuilder& flow(double vd, double porf);
    // Dispersivities along the flow, across it and vertically, and the tortuosity that
    // scales molecular diffusion.
    DeckBuilder& dispersion(double alphax, double alphat, double alphav, double tortf);
    DeckBuilder& zones(double x1, double x2);
    DeckBuilder& matrix(int mdflags, double volfracs, double difflens);
    // Porosity, tortuosity and diffusion coefficient of the matrix material.
    DeckBuilder& matrix_material(double porms, double tortms, double diffs);
    DeckBuilder& grid(int nx, int ny, int nz);
    DeckBuilder& cells(double dx, double dy, double dz);
    DeckBuilder& steps(double dt, int nt, int npt);
    DeckBuilder& convergence(double tol, int maxit);
    // The observation well's position and the bottom and top of its screen.
    DeckBuilder& well(double xwell, double ywell, double zwellbot, double zwelltop);
    DeckBuilder& change(const std::function<void(Deck&)>& f) {
        f(deck_);
        return *this;
    }
    Deck& deck() { return deck_; }
    Deck take() { return std::move(deck_); }
    std::string text() { return deck_text(deck_); }

private:
    Deck deck_;
};

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

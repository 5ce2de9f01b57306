#include "support/test_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "input/deck_layout.hpp"

namespace quilmar::testing {

void set_small_scenario(Deck& d) {
    d.czero(1) = 10.0;
    d.tzeromass(1) = 1e6;
    d.gamma = 1.0;
    d.xremove = 0.0;
    d.t1 = 1e6;
    d.t2 = 1e6;
    d.rates = 0.0;
    d.lysource = 1;
    d.lzsourcemax = 1;
    d.lzsourcemin = 1;
    d.vd = 10.0;
    d.porf = 0.3;
    d.tortf = 0.5;
    d.alphax = 2.0;
    d.alphat = 0.2;
    d.alphav = 0.02;
    for (int m = 1; m <= 4; ++m) {
        d.retardf(m) = 1.0;
        d.retardms(m) = 1.0;
    }
    d.x1 = 1e9;
    d.x2 = 1e9;
    d.mdflags = 0;
    d.porms = 0.3;
    d.tortms = 0.3;
    d.diffs = 0.03;
    d.volfracs = 1.0;
    d.difflens = 1.0;
    d.dx = 2.0;
    d.nx = 10;
    d.dy = 1.0;
    d.ny = 3;
    d.dz = 1.0;
    d.nz = 2;
    d.dt = 0.5;
    d.nt = 4;
    d.npt = 2;
    d.tol = 1e-9;
    d.maxit = 500;
    d.xwell = 9.0;
    d.ywell = 0.5;
    d.zwelltop = 0.5;
    d.zwellbot = 0.5;
}

std::string deck_text(Deck& d) {
    std::string text;
    const auto records = deck_records(d);
    for (std::size_t r = 0; r < records.size(); ++r) {
        text += "record " + std::to_string(r + 1) + "\n";
        text += "values:";
        for (const DeckItem& item : records[r]) text += " " + item.name;
        text += "\n" + echo_record(records[r]) + "\n";
    }
    return text;
}

DeckBuilder& DeckBuilder::source(int m, double czero, double tzeromass) {
    deck_.czero(m) = czero;
    deck_.tzeromass(m) = tzeromass;
    return *this;
}

DeckBuilder& DeckBuilder::constant_source(int m, double czero) {
    deck_.gamma = 0.0;
    return source(m, czero, 1e15);
}

DeckBuilder& DeckBuilder::source_cells(int lysource, int lzsourcemin, int lzsourcemax) {
    deck_.lysource = lysource;
    deck_.lzsourcemin = lzsourcemin;
    deck_.lzsourcemax = lzsourcemax;
    return *this;
}

DeckBuilder& DeckBuilder::remediation(double xremove, double t1, double t2) {
    deck_.xremove = xremove;
    deck_.t1 = t1;
    deck_.t2 = t2;
    return *this;
}

DeckBuilder& DeckBuilder::flow(double vd, double porf) {
    deck_.vd = vd;
    deck_.porf = porf;
    return *this;
}

DeckBuilder& DeckBuilder::dispersion(double alphax, double alphat, double alphav, double tortf) {
    deck_.alphax = alphax;
    deck_.alphat = alphat;
    deck_.alphav = alphav;
    deck_.tortf = tortf;
    return *this;
}

DeckBuilder& DeckBuilder::zones(double x1, double x2) {
    deck_.x1 = x1;
    deck_.x2 = x2;
    return *this;
}

DeckBuilder& DeckBuilder::matrix(int mdflags, double volfracs, double difflens) {
    deck_.mdflags = mdflags;
    deck_.volfracs = volfracs;
    deck_.difflens = difflens;
    return *this;
}

DeckBuilder& DeckBuilder::matrix_material(double porms, double tortms, double diffs) {
    deck_.porms = porms;
    deck_.tortms = tortms;
    deck_.diffs = diffs;
    return *this;
}

DeckBuilder& DeckBuilder::grid(int nx, int ny, int nz) {
    deck_.nx = nx;
    deck_.ny = ny;
    deck_.nz = nz;
    return *this;
}

DeckBuilder& DeckBuilder::cells(double dx, double dy, double dz) {
    deck_.dx = dx;
    deck_.dy = dy;
    deck_.dz = dz;
    return *this;
}

DeckBuilder& DeckBuilder::steps(double dt, int nt, int npt) {
    deck_.dt = dt;
    deck_.nt = nt;
    deck_.npt = npt;
    return *this;
}

DeckBuilder& DeckBuilder::convergence(double tol, int maxit) {
    deck_.tol = tol;
    deck_.maxit = maxit;
    return *this;
}

DeckBuilder& DeckBuilder::well(double xwell, double ywell, double zwellbot, double zwelltop) {
    deck_.xwell = xwell;
    deck_.ywell = ywell;
    deck_.zwellbot = zwellbot;
    deck_.zwelltop = zwelltop;
    return *this;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quilmar-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

RunResult run_program(const std::string& deck, const TempDir& dir, const std::string& extra_env) {
    write_file(dir.file("input.deck"), deck);
    const std::string cmd = "cd '" + dir.path() + "' && " + extra_env + " '" + QUILMAR_BINARY +
                            "' < input.deck > stdout.txt 2> stderr.txt";
    const int rc = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = read_file(dir.file("stdout.txt"));
    r.err = read_file(dir.file("stderr.txt"));
    for (const char* name : {"discharge.out", "Quilmar.out", "plume_mass.out", "obs_well.out"})
        r.files[name] = read_file(dir.file(name));
    return r;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) lines.push_back(line);
    return lines;
}

long resident_kb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const int got = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

}  // namespace quilmar::testing

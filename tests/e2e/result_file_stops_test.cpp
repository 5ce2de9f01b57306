// Nothing lost: whatever ends a run (its normal end, a step that does not converge, an index
// beyond an array, a rejected or unreadable deck, a result file that cannot be created or
// written, memory the system refuses), each result file holds whole lines of the work
// finished before, never a partial line, and a file that cannot take its lines stops the run
// with status 2 naming it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "driver/run.hpp"
#include "support/run_support.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;
using testing::read_file;
using testing::TempDir;

struct ResultFile {
    const char* name;
    const char* header;
    std::size_t width;  // characters of a data line
};

const ResultFile kFiles[] = {
    {"discharge.out", " Time, X, Discharge1, Discharge2, Discharge3, Discharg4", 74},
    {"Quilmar.out", " Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4", 95},
    {"plume_mass.out", " Time,C1low,C1hi,C2low,C2hi,C3low,C3hi,C4low,C4hi", 144},
    {"obs_well.out", " Time, C1well, C2well, C3well, C4well", 78},
};

// Checks that a result file is its header line and whole data lines; returns the number of
// data lines.
std::size_t whole_lines(const ResultFile& f, const std::string& text) {
    SCOPED_TRACE(f.name);
    EXPECT_FALSE(text.empty());
    if (text.empty()) return 0;
    EXPECT_EQ(text.back(), '\n') << "ends in a partial line";
    const auto lines = lines_of(text);
    EXPECT_EQ(lines[0], f.header);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), f.width) << "line " << i + 1;
    return lines.size() - 1;
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome run_deck(const std::string& deck, const TempDir& dir) {
    std::istringstream in(deck);
    std::ostringstream out, err;
    Outcome r;
    r.status = run(in, out, err, RunOptions{dir.path()});
    r.out = out.str();
    r.err = err.str();
    return r;
}

// A run in a child process, for what must not touch the test process: another user, a limit
// on the size of files. Returns the exit status and standard error of the run.
Outcome run_in_child(const std::string& deck, const TempDir& dir, const std::function<void()>& prepare) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        prepare();
        std::istringstream in(deck);
        std::ostringstream out, err;
        const int status = run(in, out, err, RunOptions{dir.path()});
        const std::string e = err.str();
        if (::write(pipe_fds[1], e.data(), e.size()) < 0) {}
        ::_exit(status);
    }
    ::close(pipe_fds[1]);
    Outcome r;
    char buf[4096];
    for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) > 0;) r.err.append(buf, static_cast<std::size_t>(n));
    ::close(pipe_fds[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return r;
}

std::string small_deck(const std::function<void(Deck&)>& change = [](Deck&) {}) {
    return testing::DeckBuilder().steps(0.5, 4, 1).change(change).text();
}

TEST(ResultFileStops, NormalEndAndEarlyStopsLeaveWholeLines) {
    // The small scenario: 10 columns, 60 cells, 4 steps, a snapshot every step.
    struct Case {
        const char* what;
        std::string deck;
        int status;
        std::size_t steps;  // steps whose lines the files hold
    };
    std::string unreadable = small_deck();
    unreadable.resize(unreadable.size() / 2);
    const std::vector<Case> cases = {
        {"normal end", small_deck(), 0, 4},
        {"index beyond an array in the first sweep", small_deck([](Deck& d) { d.ny = 50; }), 2, 0},
        {"rejected deck", small_deck([](Deck& d) { d.dt = 0; }), 2, 0},
        {"deck cut in the middle", unreadable, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const Outcome r = run_deck(c.deck, dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(whole_lines(kFiles[0], read_file(dir.file(kFiles[0].name))), 10 * c.steps);
        EXPECT_EQ(whole_lines(kFiles[1], read_file(dir.file(kFiles[1].name))), 60 * c.steps);
        EXPECT_EQ(whole_lines(kFiles[2], read_file(dir.file(kFiles[2].name))), c.steps);
        EXPECT_EQ(whole_lines(kFiles[3], read_file(dir.file(kFiles[3].name))), c.steps);
    }
}

TEST(ResultFileStops, StepThatDoesNotConvergeKeepsTheStepsBefore) {
    // A source whose concentration rises as it empties (gamma < 0) needs more sweeps per step
    // towards its end. With maxit at the most sweeps of the steps before, the first step
    // that needs more stops the run.
    const auto change = [](Deck& d) {
        d.gamma = -1.0;
        d.tzeromass(1) = 2000.0;
        d.nt = 10;
    };
    TempDir first;
    const Outcome full = run_deck(small_deck(change), first);
    ASSERT_EQ(full.status, 0) << full.err;
    std::vector<int> sweeps;
    for (const std::string& line : testing::lines_with(full.out, " iterations = "))
        sweeps.push_back(static_cast<int>(testing::number_after(line, "iterations = ")));
    ASSERT_EQ(sweeps.size(), 10u);
    std::size_t stop_step = 0;  // 0-based index of the first step needing more than all before
    int most = sweeps[0];
    for (std::size_t s = 1; s < sweeps.size() && stop_step == 0; ++s) {
        if (sweeps[s] > most) stop_step = s;
        most = std::max(most, sweeps[s]);
    }
    ASSERT_GT(stop_step, 0u) << "no step needs more sweeps than every step before it";
    int maxit = 0;
    for (std::size_t s = 0; s < stop_step; ++s) maxit = std::max(maxit, sweeps[s]);

    TempDir dir;
    const Outcome r = run_deck(small_deck([&](Deck& d) {
                                   change(d);
                                   d.maxit = maxit;
                               }),
                               dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines_of(r.out).back(), " maxit exceeded " + std::to_string(maxit + 1));
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    const std::size_t steps = stop_step;
    EXPECT_EQ(whole_lines(kFiles[0], read_file(dir.file(kFiles[0].name))), 10 * steps);
    EXPECT_EQ(whole_lines(kFiles[1], read_file(dir.file(kFiles[1].name))), 60 * steps);
    EXPECT_EQ(whole_lines(kFiles[2], read_file(dir.file(kFiles[2].name))), steps);
    EXPECT_EQ(whole_lines(kFiles[3], read_file(dir.file(kFiles[3].name))), steps);
    // The lines are those of the full run, up to the stop.
    for (const ResultFile& f : kFiles) {
        const std::string kept = read_file(dir.file(f.name));
        EXPECT_EQ(read_file(first.file(f.name)).compare(0, kept.size(), kept), 0) << f.name;
    }
}

TEST(ResultFileStops, ReadOnlyResultFolderStopsNamingTheFile) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                                 std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    // The super-user writes into read-only folders: the run gives up that right first.
    const Outcome r = run_in_child(small_deck(), dir, [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: cannot create result file 'discharge.out': Permission denied\n");
}

TEST(ResultFileStops, FolderInPlaceOfAResultFileStopsNamingIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("Quilmar.out"));
    const Outcome r = run_deck(small_deck(), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: cannot create result file 'Quilmar.out': Is a directory\n");
    EXPECT_EQ(read_file(dir.file("discharge.out")), "");  // created; the headers follow all four
}

TEST(ResultFileStops, FullDeviceStopsNamingTheFile) {
    for (const ResultFile& full : kFiles) {
        SCOPED_TRACE(full.name);
        TempDir dir;
        std::filesystem::create_symlink("/dev/full", dir.file(full.name));
        const Outcome r = run_deck(small_deck(), dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string("quilmar_v3: cannot write result file '") + full.name +
                             "': No space left on device\n");
        for (const ResultFile& f : kFiles)
            if (&f != &full) {
                EXPECT_EQ(whole_lines(f, read_file(dir.file(f.name))), 0u);
            }
    }
}

TEST(ResultFileStops, FileSizeLimitCutsTheFileBackToItsLastWholeLine) {
    // Quilmar.out takes 36 + 60 * 96 = 5796 bytes per step; a limit of 10000 bytes lets the
    // second step's field in only in part. The file is cut back to the first step.
    TempDir dir;
    const Outcome r = run_in_child(small_deck(), dir, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10000, 10000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: cannot write result file 'Quilmar.out': File too large\n");
    EXPECT_EQ(whole_lines(kFiles[1], read_file(dir.file(kFiles[1].name))), 60u);
    // The other files hold the lines of the second step, written after the stop.
    EXPECT_EQ(whole_lines(kFiles[0], read_file(dir.file(kFiles[0].name))), 20u);
    EXPECT_EQ(whole_lines(kFiles[2], read_file(dir.file(kFiles[2].name))), 2u);
    EXPECT_EQ(whole_lines(kFiles[3], read_file(dir.file(kFiles[3].name))), 2u);
}

TEST(ResultFileStops, RefusedMemoryStopsWithAReportAndTheHeaderLines) {
    // The address space capped 64 MB above what the process already maps: the arrays at
    // their capacities do not fit. The run must not abort but stop with status 2, a report,
    // and the result files with their header lines.
    TempDir dir;
    const Outcome r = run_in_child(small_deck(), dir, [] {
        long pages = 0;
        std::FILE* f = std::fopen("/proc/self/statm", "r");
        if (!f || std::fscanf(f, "%ld", &pages) != 1) ::_exit(99);
        std::fclose(f);
        const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
        const rlimit limit{cap, cap};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(99);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quilmar_v3: out of memory: the system refused the memory this run needs\n");
    for (const ResultFile& f : kFiles) EXPECT_EQ(whole_lines(f, read_file(dir.file(f.name))), 0u);
}

TEST(ResultFileStops, FieldLinesFormattedBySecondThreadStopAtTheSameLineAsOne) {
    // One step whose field (187500 lines, 18 MB) the file writes in parts of 4 MB within the
    // result pass; the size limit makes the first part fail, so the file keeps only its
    // header and the discharge lines stop at the column where that part filled. With two
    // threads a second one formats the field's lines, more of them than it may hold at once
    // (8 MB), so it is waiting for the writing thread when that one stops. The stop, its
    // message and every file's content must be those of one thread.
    const std::string deck = small_deck([](Deck& d) {
        d.nx = 250;
        d.ny = 30;
        d.nz = 25;
        d.nt = 1;
    });
    std::string files[2][4];
    Outcome r[2];
    for (int t = 0; t < 2; ++t) {
        TempDir dir;
        r[t] = run_in_child(deck, dir, [t] {
            ::setenv("QUILMAR_THREADS", t == 0 ? "1" : "2", 1);
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1000000, 1000000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        for (int f = 0; f < 4; ++f) files[t][f] = read_file(dir.file(kFiles[f].name));
    }
    EXPECT_EQ(r[0].status, 2);
    EXPECT_EQ(r[0].err, "quilmar_v3: cannot write result file 'Quilmar.out': File too large\n");
    EXPECT_EQ(whole_lines(kFiles[1], files[0][1]), 0u);
    const std::size_t discharge_lines = whole_lines(kFiles[0], files[0][0]);
    EXPECT_GT(discharge_lines, 40u);
    EXPECT_LT(discharge_lines, 80u);
    EXPECT_EQ(r[1].status, r[0].status);
    EXPECT_EQ(r[1].err, r[0].err);
    for (int f = 0; f < 4; ++f) EXPECT_EQ(files[1][f], files[0][f]) << kFiles[f].name;
}

}  // namespace
}  // namespace quilmar

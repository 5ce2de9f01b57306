// How the process meets its surroundings: closed or failing standard streams, termination
// signals, and a second run in the same folder. In each case the result files hold whole
// lines only, and a stop says what happened with its own exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "driver/run.hpp"
#include "support/test_support.hpp"

namespace quilmar {
namespace {

using testing::lines_of;
using testing::read_file;
using testing::TempDir;

int shell(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string in_dir(const TempDir& dir) { return std::string("cd '") + dir.path() + "' && '" + QUILMAR_BINARY + "' "; }

std::string small_deck(int nx, int ny, int nz, int nt) {
    return testing::DeckBuilder().grid(nx, ny, nz).steps(0.5, nt, 1).text();
}

// Every line of a result file is its header or a data line of the file's width.
void expect_result_lines_only(const std::string& text, std::size_t width) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const auto lines = lines_of(text);
    for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i].size(), width) << "line " << i + 1;
}

TEST(StandardStreams, ClosedOnesNeverBecomeResultFilesAndAFullConsoleStopsTheRun) {
    TempDir dir;
    testing::write_file(dir.file("input.deck"), small_deck(10, 3, 2, 4));
    // Standard output closed: the console goes nowhere, discharge.out holds results only.
    EXPECT_EQ(shell(in_dir(dir) + "< input.deck >&- 2> err.txt"), 0);
    expect_result_lines_only(read_file(dir.file("discharge.out")), 74);
    EXPECT_EQ(lines_of(read_file(dir.file("discharge.out"))).size(), 1u + 4 * 10);
    // Both closed: Quilmar.out holds its header and snapshots only.
    EXPECT_EQ(shell(in_dir(dir) + "< input.deck >&- 2>&-"), 0);
    expect_result_lines_only(read_file(dir.file("Quilmar.out")), 95);
    EXPECT_EQ(lines_of(read_file(dir.file("Quilmar.out"))).size(), 1u + 4 * 60);

    // A console on a full device stops the run with status 2 and a report.
    EXPECT_EQ(shell(in_dir(dir) + "< input.deck > /dev/full 2> err.txt"), 2);
    EXPECT_EQ(read_file(dir.file("err.txt")),
              "quilmar_v3: cannot write the console (standard output): No space left on device\n");
    EXPECT_EQ(lines_of(read_file(dir.file("obs_well.out"))).size(), 1u);
}

// Starts the program in dir with the file deck on standard input, or with a pipe that
// stays open when deck is empty.
pid_t start(const TempDir& dir, const std::string& deck) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.path().c_str()) != 0) ::_exit(99);
        int in_fd;
        if (deck.empty()) {
            int p[2];
            if (::pipe(p) != 0) ::_exit(99);
            in_fd = p[0];  // the write end stays open in this process: the read waits
        } else {
            in_fd = ::open(deck.c_str(), O_RDONLY);
        }
        const int out_fd = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in_fd, 0);
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        ::execl(QUILMAR_BINARY, QUILMAR_BINARY, static_cast<char*>(nullptr));
        ::_exit(99);
    }
    return pid;
}

// Waits until the file holds text (at most twenty seconds); if it does not, the child is
// killed.
bool wait_for(pid_t pid, const std::string& path, const std::string& text) {
    for (int i = 0; i < 2000; ++i) {
        if (read_file(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

// Exit status of the child, -signal if a signal ended it; a child still running after
// twenty seconds is killed.
int finish(pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
        int ws = 0;
        if (::waitpid(pid, &ws, WNOHANG) == pid) return WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1000;
}

TEST(Signals, StopTheRunAfterAWholeStepWithStatus128PlusTheSignal) {
    // 20000 cells: every step writes a snapshot of 1.9 MB, so a signal meets a write.
    const int nx = 400, ny = 5, nz = 10;
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signo);
        TempDir dir;
        testing::write_file(dir.file("input.deck"), small_deck(nx, ny, nz, 19000));
        const pid_t pid = start(dir, "input.deck");
        ASSERT_TRUE(wait_for(pid, dir.file("stdout.txt"), "time =  1.5 ")) << read_file(dir.file("stderr.txt"));
        ::kill(pid, signo);
        ASSERT_EQ(finish(pid), 128 + signo);
        const auto err = lines_of(read_file(dir.file("stderr.txt")));
        ASSERT_EQ(err.size(), 1u);
        EXPECT_EQ(err[0].rfind("quilmar_v3: interrupted by SIG", 0), 0u) << err[0];
        EXPECT_NE(err[0].find("); the result files end with that step"), std::string::npos) << err[0];
        // Every file ends with the same whole step as the console.
        const std::size_t steps = lines_of(read_file(dir.file("stdout.txt"))).size() - 126 - 6;
        EXPECT_NE(err[0].find("after time step " + std::to_string(steps) + " "), std::string::npos) << err[0];
        const std::string quilmar = read_file(dir.file("Quilmar.out"));
        expect_result_lines_only(quilmar, 95);
        EXPECT_EQ(lines_of(quilmar).size(), 1 + steps * nx * ny * nz);
        EXPECT_EQ(lines_of(read_file(dir.file("discharge.out"))).size(), 1 + steps * nx);
        EXPECT_EQ(lines_of(read_file(dir.file("obs_well.out"))).size(), 1 + steps);
        EXPECT_EQ(lines_of(read_file(dir.file("plume_mass.out"))).size(), 1 + steps);
    }
}

TEST(Signals, WhileTheDeckIsReadTheProcessEndsAtOnce) {
    TempDir dir;
    const pid_t pid = start(dir, "");
    ASSERT_TRUE(wait_for(pid, dir.file("obs_well.out"), "C4well\n"));
    ::kill(pid, SIGINT);
    EXPECT_EQ(finish(pid), 128 + SIGINT);
    EXPECT_EQ(read_file(dir.file("stderr.txt")), "quilmar_v3: interrupted by SIGINT while reading the deck\n");
    EXPECT_EQ(read_file(dir.file("obs_well.out")), " Time, C1well, C2well, C3well, C4well\n");
}

int run_in_process(const TempDir& dir, std::string* err_text) {
    std::istringstream in(small_deck(10, 3, 2, 4));
    std::ostringstream out, err;
    const int status = run(in, out, err, RunOptions{dir.path()});
    *err_text = err.str();
    return status;
}

TEST(FolderLock, ASecondRunInTheSameFolderStopsWithoutTouchingTheFiles) {
    TempDir dir;
    testing::write_file(dir.file("discharge.out"), "the first run's lines\n");
    const int fd = ::open(dir.file("quilmar.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    std::string err;
    EXPECT_EQ(run_in_process(dir, &err), 2);
    EXPECT_EQ(err, "quilmar_v3: output folder '" + dir.path() +
                       "' is in use by another run (it holds quilmar.lock); its result files are left as they are\n");
    EXPECT_EQ(read_file(dir.file("discharge.out")), "the first run's lines\n");
    EXPECT_EQ(read_file(dir.file("Quilmar.out")), "");
    ::close(fd);
    // Released, the folder takes runs one after the other.
    EXPECT_EQ(run_in_process(dir, &err), 0) << err;
    EXPECT_EQ(run_in_process(dir, &err), 0) << err;
    EXPECT_EQ(lines_of(read_file(dir.file("discharge.out"))).size(), 1u + 4 * 10);
}

}  // namespace
}  // namespace quilmar

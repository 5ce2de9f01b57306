#pragma once
// The four result files, opened at the start of a run with their header lines, and the
// lock that keeps a second run out of the same output folder.
#include <csignal>
#include <string>

#include "results/line_file.hpp"
#include "state/run_stop.hpp"

namespace quilmar {

// The lock file a run holds in its output folder while it writes there.
inline constexpr const char* kLockFileName = "quilmar.lock";

// A run stopped by SIGINT, SIGTERM or SIGHUP at a point where every result file held
// complete lines; the exit status is 128 + the signal number.
class Interrupted : public RunStop {
public:
    explicit Interrupted(int signo);
    int signal_number() const { return signo_; }

private:
    int signo_;
};

// Records a termination signal for the run to act on at its next stop point. Safe to call
// from a signal handler.
void note_stop_signal(int signo) noexcept;
// The signal recorded and not yet acted on, or 0; taking it clears it.
int take_stop_signal() noexcept;
// Stops the run with Interrupted if a termination signal is pending.
void stop_if_signalled();

struct ResultFiles {
    ResultFiles() = default;
    ResultFiles(const ResultFiles&) = delete;
    ResultFiles& operator=(const ResultFiles&) = delete;
    ~ResultFiles();

    LineFile discharge;  // discharge.out
    LineFile quilmar;    // Quilmar.out
    LineFile plume_mass; // plume_mass.out
    LineFile obs_well;   // obs_well.out

    // Locks the folder dir, then creates the files in it, in this order, and writes their
    // header lines. A folder locked by another run stops this one before any file is touched.
    void open(const std::string& dir);
    // Writes out the collected lines of all four files. This is where a pending termination
    // signal stops the run: every file then ends with a complete line.
    void flush();
    void close();
    // After a stop: writes out the complete lines collected so far; returns the report of a
    // file that could not take them, or an empty string.
    std::string close_after_stop() noexcept;

private:
    void lock_folder(const std::string& dir);
    int lock_fd_ = -1;  // held (flock) until the files are destroyed; the system drops it at exit
};

}  // namespace quilmar

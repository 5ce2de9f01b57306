#include "results/result_files.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quilmar {
namespace {

volatile std::sig_atomic_t pending_signal = 0;

std::string signal_name(int signo) {
    switch (signo) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "signal " + std::to_string(signo);
    }
}

}  // namespace

Interrupted::Interrupted(int signo) : RunStop(128 + signo, "interrupted by " + signal_name(signo)), signo_(signo) {}

void note_stop_signal(int signo) noexcept { pending_signal = signo; }

int take_stop_signal() noexcept {
    const int signo = pending_signal;
    pending_signal = 0;
    return signo;
}

void stop_if_signalled() {
    if (pending_signal != 0) throw Interrupted(take_stop_signal());
}

ResultFiles::~ResultFiles() {
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

// An advisory lock on a file in the output folder, taken before any result file is
// truncated: two runs writing the same files would interleave their lines. The system
// releases it when the process ends, however it ends. Where the lock file can be neither
// created nor opened (a folder that is missing or not writable), the run goes on without
// it, and creating the result files reports the folder's problem.
void ResultFiles::lock_folder(const std::string& dir) {
    const std::string path = (dir.empty() ? std::string(".") : dir) + "/" + kLockFileName;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            throw RunStop(kExitInputOrIndex, "output folder '" + (dir.empty() ? std::string(".") : dir) +
                                                 "' is in use by another run (it holds " + kLockFileName +
                                                 "); its result files are left as they are");
        return;  // a file system without locks: run as before
    }
    lock_fd_ = fd;
}

void ResultFiles::open(const std::string& dir) {
    lock_folder(dir);
    const std::string prefix = dir.empty() || dir == "." ? "" : dir + "/";
    discharge.open(prefix + "discharge.out", "discharge.out");
    quilmar.open(prefix + "Quilmar.out", "Quilmar.out");
    plume_mass.open(prefix + "plume_mass.out", "plume_mass.out");
    obs_well.open(prefix + "obs_well.out", "obs_well.out");
    discharge.write_line(" Time, X, Discharge1, Discharge2, Discharge3, Discharg4");
    quilmar.write_line(" Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4");
    plume_mass.write_line(" Time,C1low,C1hi,C2low,C2hi,C3low,C3hi,C4low,C4hi");
    obs_well.write_line(" Time, C1well, C2well, C3well, C4well");
    flush();
}

void ResultFiles::flush() {
    discharge.flush();
    quilmar.flush();
    plume_mass.flush();
    obs_well.flush();
    stop_if_signalled();
}

void ResultFiles::close() {
    discharge.close();
    quilmar.close();
    plume_mass.close();
    obs_well.close();
}

std::string ResultFiles::close_after_stop() noexcept {
    std::string report;
    for (LineFile* f : {&discharge, &quilmar, &plume_mass, &obs_well}) {
        try {
            f->close();
        } catch (const RunStop& stop) {
            if (report.empty()) report = stop.what();
        } catch (...) {
            if (report.empty()) report = "cannot write result file '" + f->name() + "'";
        }
    }
    return report;
}

}  // namespace quilmar

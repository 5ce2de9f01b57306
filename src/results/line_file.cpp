#include "results/line_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "state/run_stop.hpp"

namespace quilmar {

LineFile::~LineFile() {
    if (fd_ >= 0) ::close(fd_);
}

void LineFile::open(const std::string& path, const std::string& name) {
    name_ = name;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw RunStop(kExitInputOrIndex, "cannot create result file '" + name + "': " + std::strerror(errno));
}

void LineFile::flush() {
    if (fd_ < 0 || buffer_.empty()) return;
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t w = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            const int err = (w < 0) ? errno : ENOSPC;
            // Keep only the complete lines written before; the file may not allow it (a device).
            if (::ftruncate(fd_, committed_) != 0) { /* nothing more can be done for such a file */ }
            buffer_.clear();
            ::close(fd_);
            fd_ = -1;
            throw RunStop(kExitInputOrIndex, "cannot write result file '" + name_ + "': " + std::strerror(err));
        }
        done += static_cast<std::size_t>(w);
    }
    committed_ += static_cast<long long>(buffer_.size());
    buffer_.clear();
}

void LineFile::close() {
    if (fd_ < 0) return;
    flush();
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0)
        throw RunStop(kExitInputOrIndex, "cannot write result file '" + name_ + "': " + std::strerror(errno));
}

}  // namespace quilmar

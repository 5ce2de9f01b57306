#include "driver/process_setup.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "results/result_files.hpp"

namespace quilmar {
namespace {

volatile std::sig_atomic_t at_once = 1;

void write_all(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t w = ::write(STDERR_FILENO, text, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        text += w;
        left -= static_cast<std::size_t>(w);
    }
}

// Only async-signal-safe calls: a message from fixed texts, _exit, or a flag.
extern "C" void on_stop_signal(int signo) {
    if (at_once) {
        const int saved = errno;
        write_all(signo == SIGINT    ? "quilmar_v3: interrupted by SIGINT while reading the deck\n"
                  : signo == SIGTERM ? "quilmar_v3: interrupted by SIGTERM while reading the deck\n"
                                     : "quilmar_v3: interrupted by SIGHUP while reading the deck\n");
        errno = saved;
        ::_exit(128 + signo);
    }
    note_stop_signal(signo);
}

}  // namespace

void open_missing_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open hands out the lowest free descriptor, which is this one.
        const int got = ::open("/dev/null", O_RDWR);
        if (got >= 0 && got != fd) ::close(got);
    }
}

void install_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (::sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(signo, &sa, nullptr);
    }
}

void stop_at_once_on_signal(bool on) { at_once = on ? 1 : 0; }

}  // namespace quilmar

#include "platform/qt/signal_wake.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velunor::qt {

namespace {

// The pipe end the handler writes to. A signal handler can reach nothing else, so this one
// descriptor is kept where it can see it; -1 while no handler is installed.
volatile std::sig_atomic_t g_wake_fd = -1;

extern "C" void write_wake_byte(int /*signal*/) {
    const int saved_errno = errno;
    const int fd = g_wake_fd;
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up; nothing else can be done here.
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved_errno;
}

}  // namespace

SignalWake::SignalWake() {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        read_fd_ = fds[0];
        write_fd_ = fds[1];
    }
}

SignalWake::~SignalWake() {
    restore();
    if (read_fd_ >= 0) {
        close(read_fd_);
    }
    if (write_fd_ >= 0) {
        close(write_fd_);
    }
}

void SignalWake::install() {
    if (installed_ || write_fd_ < 0) {
        return;
    }
    g_wake_fd = write_fd_;
    struct sigaction action = {};
    action.sa_handler = write_wake_byte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &action, &old_[i]);
    }
    installed_ = true;
}

void SignalWake::restore() {
    if (!installed_) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        sigaction(kSignals[i], &old_[i], nullptr);
    }
    g_wake_fd = -1;
    installed_ = false;
}

bool SignalWake::drain() {
    bool any = false;
    char buffer[64];
    while (read_fd_ >= 0 && read(read_fd_, buffer, sizeof buffer) > 0) {
        any = true;
    }
    return any;
}

}  // namespace velunor::qt

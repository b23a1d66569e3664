#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace velunor {

InstanceLock::InstanceLock(const std::filesystem::path& dir) {
    const std::filesystem::path file = dir / kInstanceLockFileName;
    // Close-on-exec: a program started from this one must not inherit, and so keep, the lock.
    fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd_ < 0 && errno == EACCES) {
        // A lock file of another owner can still be locked through a read-only descriptor.
        fd_ = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    }
    if (fd_ < 0) {
        return;
    }
    int result = 0;
    do {
        result = flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        state_ = State::held;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::held_elsewhere : State::unavailable;
    close(fd_);
    fd_ = -1;
}

InstanceLock::~InstanceLock() {
    // Closing the only descriptor of the open file releases the lock. The file stays: removing
    // it here would let a program that opened it a moment ago lock a file nobody else can see.
    if (fd_ >= 0) {
        close(fd_);
    }
}

}  // namespace velunor

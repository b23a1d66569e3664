// One program per run directory.
#pragma once

#include <filesystem>

namespace velunor {

// The lock file's name inside the run directory.
inline constexpr const char* kInstanceLockFileName = ".velunor.lock";

// An exclusive lock on a directory, held from construction until the object goes. It is a
// flock() on a file in that directory: the system drops it when the process ends in any way,
// killed or crashed included, so a lock file left behind never keeps a later start out.
class InstanceLock {
  public:
    enum class State {
        held,            // this object holds the lock
        held_elsewhere,  // another open of the lock file (another program) holds it
        unavailable,     // the lock file could not be opened or locked at all
    };

    // Tries once, without waiting.
    explicit InstanceLock(const std::filesystem::path& dir);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }

  private:
    int fd_ = -1;
    State state_ = State::unavailable;
};

}  // namespace velunor

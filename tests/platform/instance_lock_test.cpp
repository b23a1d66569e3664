// The lock that keeps a second program off a run directory.
#include "platform/instance_lock.h"

#include "store_test_support.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using State = InstanceLock::State;

// A child process that takes the lock on dir, reports the state it got through a pipe and then
// waits to be killed.
class LockingChild {
  public:
    explicit LockingChild(const fs::path& dir) {
        int fds[2];
        if (pipe(fds) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const InstanceLock lock(dir);
            const char state = static_cast<char>('0' + static_cast<int>(lock.state()));
            (void)!write(fds[1], &state, 1);
            for (;;) {
                pause();
            }
        }
        close(fds[1]);
        char state = 0;
        const bool got = read(fds[0], &state, 1) == 1;
        close(fds[0]);
        if (pid_ < 0 || !got) {
            throw std::runtime_error("the child did not report");
        }
        state_ = static_cast<State>(state - '0');
    }
    LockingChild(const LockingChild&) = delete;
    LockingChild& operator=(const LockingChild&) = delete;
    ~LockingChild() { kill_hard(); }

    State state() const { return state_; }
    // SIGKILL: the child gets no chance to release anything itself.
    void kill_hard() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    State state_ = State::unavailable;
};

TEST(InstanceLock, OneHolderPerDirectoryUntilItGoes) {
    const TempDir dir;
    const TempDir other;
    {
        const InstanceLock first(dir.path());
        EXPECT_EQ(first.state(), State::held);
        // A second open of the same lock file, even in this process, is kept out.
        const InstanceLock second(dir.path());
        EXPECT_EQ(second.state(), State::held_elsewhere);
        // Another directory has a lock of its own.
        const InstanceLock elsewhere(other.path());
        EXPECT_EQ(elsewhere.state(), State::held);
    }
    // The lock file stays behind; it does not keep the next start out.
    EXPECT_TRUE(fs::exists(dir.path() / kInstanceLockFileName));
    const InstanceLock again(dir.path());
    EXPECT_EQ(again.state(), State::held);
}

TEST(InstanceLock, AKilledHolderLeavesNoStaleLock) {
    const TempDir dir;
    LockingChild child(dir.path());
    ASSERT_EQ(child.state(), State::held);
    EXPECT_EQ(InstanceLock(dir.path()).state(), State::held_elsewhere);

    child.kill_hard();
    EXPECT_EQ(InstanceLock(dir.path()).state(), State::held);
}

TEST(InstanceLock, AHolderKeepsOutAnotherProcess) {
    const TempDir dir;
    const InstanceLock lock(dir.path());
    ASSERT_EQ(lock.state(), State::held);
    const LockingChild child(dir.path());
    EXPECT_EQ(child.state(), State::held_elsewhere);
}

// A program started by the holder must not inherit the lock and keep it after the holder ends.
TEST(InstanceLock, ProgramsStartedByTheHolderDoNotKeepIt) {
    const TempDir dir;
    pid_t sleeper = -1;
    {
        const InstanceLock lock(dir.path());
        ASSERT_EQ(lock.state(), State::held);
        char sleep_name[] = "sleep";
        char seconds[] = "30";
        char* argv[] = {sleep_name, seconds, nullptr};
        ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
    }
    EXPECT_EQ(InstanceLock(dir.path()).state(), State::held);
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

// No lock file can be made: the caller learns that nobody holds the lock, not that someone does.
TEST(InstanceLock, AnUnusableDirectoryIsUnavailableNotHeldElsewhere) {
    const TempDir root;
    const fs::path file = root.path() / "file";
    { std::ofstream(file) << "x"; }
    for (const fs::path& dir : {root.path() / "missing", file}) {
        SCOPED_TRACE(dir.string());
        EXPECT_EQ(InstanceLock(dir).state(), State::unavailable);
    }
}

}  // namespace
}  // namespace velunor

// A wait of a number of time units that keeps its thread responsive: tasks posted to the
// thread's own queue run while it waits.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace velunor {

// Unit codes of responsive_wait. Any other code counts as that many milliseconds per count
// (code 7: 7 ms; code 1000: one second).
inline constexpr int32_t kWaitMilliseconds = 0;
inline constexpr int32_t kWaitMicroseconds = 1;
inline constexpr int32_t kWaitSeconds = 2;
inline constexpr int32_t kWaitMinutes = 3;
inline constexpr int32_t kWaitHours = 4;
inline constexpr int32_t kWaitDays = 5;

// The due time of a wait of `count` units, in 100-nanosecond intervals; a negative value is
// relative to the moment the timer is armed. Microseconds: count * -10. Every other unit:
// count * (milliseconds per count) * -10000 in double precision, truncated toward zero and held
// to the int64_t range (the longest wait instead of an overflow). Negative for every count of 1
// or more with a unit code of 0 or more.
int64_t wait_due_time(int32_t count, int32_t unit);

// The task queue of one thread. Any thread posts; the owning thread runs the tasks while it is
// in responsive_wait. An eventfd signals that tasks are waiting.
class TaskQueue {
  public:
    TaskQueue();
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // Any thread: queues the task and wakes the owner's wait.
    void post(std::function<void()> task);

    // Owning thread: runs the tasks queued now, in order; returns how many ran.
    int run_pending();

    // Owning thread, called by a task: the wait that runs the task returns once the task's
    // batch has run, before its due time.
    void end_wait() { end_requested_ = true; }

    // Owning thread: true once, after end_wait.
    bool take_end_request();

    // The descriptor that becomes readable while tasks are queued; -1 when it could not be made.
    int signal_fd() const { return fd_; }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    int fd_ = -1;
    bool end_requested_ = false;  // owning thread only
};

enum class WaitEnd {
    at_once,        // nothing to wait for: count below 1, or a due time not in the future
    due,            // the due time has passed
    ended_by_task,  // a task called TaskQueue::end_wait
};

// Waits `count` units (unit codes above) on a one-shot timer and runs the queue's tasks as they
// arrive; running them never moves the due time. Returns at once, making no timer, when count
// is below 1. When no timer can be made or armed it sleeps the same length instead (still
// running tasks when the queue can signal), and never spins.
WaitEnd responsive_wait(int32_t count, int32_t unit, TaskQueue& queue);

}  // namespace velunor

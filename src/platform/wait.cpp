#include "platform/wait.h"

#include <limits>
#include <utility>

#if defined(_WIN32)
// The Windows form goes here. TaskQueue becomes the thread's own message queue (posting a thread
// message), and responsive_wait makes an unnamed auto-reset timer (CreateWaitableTimerA), arms it
// once with wait_due_time (SetWaitableTimer, period 0), and waits with
// MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, 0xFF): WAIT_OBJECT_0 means the due time
// has passed; any other result dispatches the messages queued for the thread, short of a quit
// message, and waits again. The timer is closed (CloseHandle) before returning.
#error "responsive_wait has no Windows form yet"
#else
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

namespace velunor {

namespace {

double milliseconds_per_count(int32_t unit) {
    switch (unit) {
        case kWaitMilliseconds:
            return 1.0;
        case kWaitSeconds:
            return 1000.0;
        case kWaitMinutes:
            return 60000.0;
        case kWaitHours:
            return 3600000.0;
        case kWaitDays:
            return 86400000.0;
        default:
            return static_cast<double>(unit);
    }
}

}  // namespace

int64_t wait_due_time(int32_t count, int32_t unit) {
    if (unit == kWaitMicroseconds) {
        return static_cast<int64_t>(count) * -10;
    }
    const double due = static_cast<double>(count) * milliseconds_per_count(unit) * -10000.0;
    // 2^63 is exact as a double; a product at or beyond it has no int64_t value, so the wait
    // becomes the longest one that has.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (due >= kTwoTo63) {
        return std::numeric_limits<int64_t>::max();
    }
    if (due <= -kTwoTo63) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(due);  // truncates toward zero
}

#if !defined(_WIN32)

namespace {

constexpr int64_t kIntervalsPerSecond = 10'000'000;  // 100-nanosecond intervals
constexpr long kNanosPerSecond = 1'000'000'000;

// The length of a negative (relative) due time.
timespec length_of(int64_t due) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(-(due / kIntervalsPerSecond));
    t.tv_nsec = static_cast<long>(-(due % kIntervalsPerSecond) * 100);
    return t;
}

timespec monotonic_now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

timespec add(timespec a, const timespec& b) {
    a.tv_sec += b.tv_sec;
    a.tv_nsec += b.tv_nsec;
    if (a.tv_nsec >= kNanosPerSecond) {
        a.tv_nsec -= kNanosPerSecond;
        ++a.tv_sec;
    }
    return a;
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// b - a, for a before b.
timespec difference(const timespec& a, const timespec& b) {
    timespec d{b.tv_sec - a.tv_sec, b.tv_nsec - a.tv_nsec};
    if (d.tv_nsec < 0) {
        d.tv_nsec += kNanosPerSecond;
        --d.tv_sec;
    }
    return d;
}

// Runs the tasks that woke the wait; true when one of them asked the wait to end.
bool run_tasks(TaskQueue& queue) {
    queue.run_pending();
    return queue.take_end_request();
}

// The wait without a timer: sleeps until the deadline (CLOCK_MONOTONIC), still running tasks when
// the queue can signal. Any failure of the poll turns it into a plain sleep to the deadline.
WaitEnd sleep_until(const timespec& deadline, TaskQueue& queue) {
    pollfd signal{queue.signal_fd(), POLLIN, 0};
    nfds_t watched = signal.fd >= 0 ? 1 : 0;
    for (;;) {
        const timespec now = monotonic_now();
        if (!before(now, deadline)) {
            return WaitEnd::due;
        }
        const timespec left = difference(now, deadline);
        const int ready = ppoll(&signal, watched, &left, nullptr);
        if (ready < 0 && errno != EINTR) {
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
            }
            return WaitEnd::due;
        }
        if (ready > 0) {
            if ((signal.revents & POLLIN) != 0) {
                if (run_tasks(queue)) {
                    return WaitEnd::ended_by_task;
                }
            } else {
                watched = 0;  // an error on the descriptor: stop watching it rather than spin
            }
        }
    }
}

// The wait on an armed timer: sleeps in poll until the timer fires, running tasks whenever the
// queue signals. The timer keeps its due time throughout.
WaitEnd wait_on_timer(int timer, const timespec& deadline, TaskQueue& queue) {
    pollfd fds[2] = {{timer, POLLIN, 0}, {queue.signal_fd(), POLLIN, 0}};
    nfds_t watched = fds[1].fd >= 0 ? 2 : 1;
    for (;;) {
        const int ready = poll(fds, watched, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return sleep_until(deadline, queue);
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return WaitEnd::due;
        }
        if (fds[0].revents != 0) {
            return sleep_until(deadline, queue);
        }
        if (watched == 2 && fds[1].revents != 0) {
            if ((fds[1].revents & POLLIN) == 0) {
                watched = 1;  // an error on the queue's descriptor: wait on the timer alone
            } else if (run_tasks(queue)) {
                return WaitEnd::ended_by_task;
            }
        }
    }
}

}  // namespace

TaskQueue::TaskQueue() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TaskQueue::~TaskQueue() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void TaskQueue::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    if (fd_ >= 0) {
        const uint64_t one = 1;
        // A full counter (EAGAIN) still leaves the descriptor readable, so the result can go.
        [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
    }
}

int TaskQueue::run_pending() {
    if (fd_ >= 0) {
        // Reset the signal first: a task posted after the swap below signals afresh.
        uint64_t signalled = 0;
        [[maybe_unused]] const ssize_t got = read(fd_, &signalled, sizeof signalled);
    }
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
    }
    for (auto& task : tasks) {
        task();
    }
    return static_cast<int>(tasks.size());
}

bool TaskQueue::take_end_request() {
    return std::exchange(end_requested_, false);
}

WaitEnd responsive_wait(int32_t count, int32_t unit, TaskQueue& queue) {
    if (count < 1) {
        return WaitEnd::at_once;
    }
    const int64_t due = wait_due_time(count, unit);
    if (due >= 0) {
        // Only a negative unit code gets here: a due time that is already past.
        return WaitEnd::at_once;
    }
    const timespec length = length_of(due);
    const timespec deadline = add(monotonic_now(), length);

    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    bool armed = false;
    if (timer >= 0) {
        itimerspec once{};  // no interval: fires once
        once.it_value = length;
        armed = timerfd_settime(timer, 0, &once, nullptr) == 0;
    }
    const WaitEnd end =
        armed ? wait_on_timer(timer, deadline, queue) : sleep_until(deadline, queue);
    if (timer >= 0) {
        close(timer);
    }
    return end;
}

#endif

}  // namespace velunor

#include "platform/wait.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace velunor {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct DueCase {
    int32_t count;
    int32_t unit;
    int64_t due;
};

TEST(WaitDueTime, FollowsTheUnitTable) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    const DueCase cases[] = {
        {1, kWaitSeconds, -10'000'000},
        {3, kWaitMilliseconds, -30'000},
        {5, kWaitMicroseconds, -50},
        {2, kWaitMinutes, -1'200'000'000},
        {1, kWaitHours, -36'000'000'000},
        {1, kWaitDays, -864'000'000'000},
        // Codes outside the table count their own value in milliseconds.
        {1, 7, -70'000},
        {4, 7, -280'000},
        {1, 1000, -10'000'000},
        {3, 1000, -30'000'000},
        // The largest counts: microseconds stay exact; a product beyond int64_t becomes the
        // longest wait instead of an overflow.
        {2147483647, kWaitMicroseconds, -21'474'836'470},
        {2147483647, kWaitSeconds, -21'474'836'470'000'000},
        {2147483647, kWaitDays, kMin},
        {2147483647, 2147483647, kMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wait_due_time(c.count, c.unit), c.due) << c.count << " x unit " << c.unit;
    }
}

TEST(WaitDueTime, IsNegativeForEveryCountAboveZeroAndUnitCodeFromZero) {
    for (int32_t unit : {0, 1, 2, 3, 4, 5, 6, 7, 1000, 2147483647}) {
        for (int32_t count : {1, 2, 59, 1000, 2147483647}) {
            EXPECT_LT(wait_due_time(count, unit), 0) << count << " x unit " << unit;
        }
    }
}

TEST(ResponsiveWait, ReturnsAtOnceWithNothingToWaitFor) {
    TaskQueue queue;
    bool ran = false;
    queue.post([&] { ran = true; });
    // Counts below 1 make no timer; a negative unit code gives a due time already past.
    const std::pair<int32_t, int32_t> cases[] = {{0, kWaitSeconds}, {-5, kWaitSeconds},
                                                 {0, kWaitDays},    {-2147483647 - 1, 5},
                                                 {1, -7},           {2147483647, -1}};
    for (const auto& [count, unit] : cases) {
        EXPECT_EQ(responsive_wait(count, unit, queue), WaitEnd::at_once)
            << count << " x unit " << unit;
    }
    EXPECT_FALSE(ran) << "no wait happened, so no task ran";
}

TEST(ResponsiveWait, ShortWaitsLastAtLeastTheirLength) {
    struct Case {
        int32_t count;
        int32_t unit;
        Clock::duration at_least;
    };
    const Case cases[] = {
        {5, kWaitMicroseconds, std::chrono::microseconds(5)},
        {3, kWaitMilliseconds, milliseconds(3)},
        {2, 7, milliseconds(14)},
    };
    TaskQueue queue;
    for (const auto& c : cases) {
        const auto start = Clock::now();
        EXPECT_EQ(responsive_wait(c.count, c.unit, queue), WaitEnd::due);
        EXPECT_GE(Clock::now() - start, c.at_least) << c.count << " x unit " << c.unit;
    }
}

// Posts a task every few milliseconds until the wait is over (or a cap is reached) and records
// where and when each one ran.
struct Poster {
    explicit Poster(TaskQueue& q) : queue(q) {}

    void run(Clock::duration cap) {
        const auto until = Clock::now() + cap;
        while (!wait_over.load() && Clock::now() < until) {
            queue.post([this] {
                ran_on.push_back(std::this_thread::get_id());
                ran_at.push_back(Clock::now());
            });
            std::this_thread::sleep_for(milliseconds(5));
        }
    }

    TaskQueue& queue;
    std::atomic<bool> wait_over{false};
    std::vector<std::thread::id> ran_on;  // written only by the waiting thread
    std::vector<Clock::time_point> ran_at;
};

TEST(ResponsiveWait, RunsTasksAsTheyArriveAndStillEndsAtTheFirstDueTime) {
    TaskQueue queue;
    Poster poster(queue);
    // Tasks keep arriving for 3 s; a wait that restarted on each would outlast them.
    std::thread other([&] { poster.run(std::chrono::seconds(3)); });

    const auto start = Clock::now();
    const WaitEnd end = responsive_wait(300, kWaitMilliseconds, queue);
    const auto stop = Clock::now();
    poster.wait_over.store(true);
    other.join();

    EXPECT_EQ(end, WaitEnd::due);
    EXPECT_GE(stop - start, milliseconds(300));
    EXPECT_LT(stop - start, std::chrono::seconds(3));
    ASSERT_GT(poster.ran_on.size(), 5U);
    for (size_t i = 0; i < poster.ran_on.size(); ++i) {
        EXPECT_EQ(poster.ran_on[i], std::this_thread::get_id());
        EXPECT_LE(poster.ran_at[i], stop);
    }
}

TEST(ResponsiveWait, ATaskCanEndTheWaitEarly) {
    TaskQueue queue;
    bool before = false;
    queue.post([&] { before = true; });  // queued before the wait: runs at its start
    std::thread other([&] {
        std::this_thread::sleep_for(milliseconds(20));
        queue.post([&queue] { queue.end_wait(); });
    });
    // A minute-long wait; without the end request the test would sit it out and then fail.
    EXPECT_EQ(responsive_wait(1, kWaitMinutes, queue), WaitEnd::ended_by_task);
    other.join();
    EXPECT_TRUE(before);

    // The request was used up: the next wait runs to its due time.
    EXPECT_EQ(responsive_wait(2, kWaitMilliseconds, queue), WaitEnd::due);
}

// Holds the process's descriptor limit at the lowest free descriptor, so that nothing new can be
// opened, and puts it back afterwards.
class NoNewDescriptors {
  public:
    NoNewDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowest_free = open("/dev/null", O_RDONLY | O_CLOEXEC);
        close(lowest_free);
        rlimit tight = saved_;
        tight.rlim_cur = static_cast<rlim_t>(lowest_free);
        setrlimit(RLIMIT_NOFILE, &tight);
    }
    ~NoNewDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
    NoNewDescriptors(const NoNewDescriptors&) = delete;
    NoNewDescriptors& operator=(const NoNewDescriptors&) = delete;

  private:
    rlimit saved_{};
};

TEST(ResponsiveWait, SleepsTheSameLengthWhenNoTimerCanBeMade) {
    TaskQueue queue;  // its descriptor exists before the limit
    bool ran = false;
    WaitEnd end{};
    Clock::duration took{};
    {
        NoNewDescriptors limit;
        const int probe = timerfd_create(CLOCK_MONOTONIC, 0);
        ASSERT_LT(probe, 0) << "the fixture should leave no descriptor to make a timer with";
        queue.post([&] { ran = true; });
        const auto start = Clock::now();
        end = responsive_wait(60, kWaitMilliseconds, queue);
        took = Clock::now() - start;
    }
    EXPECT_EQ(end, WaitEnd::due);
    EXPECT_GE(took, milliseconds(60));
    EXPECT_TRUE(ran) << "tasks still run while the wait sleeps without a timer";
}

}  // namespace
}  // namespace velunor

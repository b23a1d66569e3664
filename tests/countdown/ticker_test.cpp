#include "countdown/ticker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "countdown_fixture.h"

namespace velunor {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls the condition until it holds or ten seconds have passed.
bool eventually(const std::function<bool()>& condition) {
    const auto until = SteadyClock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (SteadyClock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

class TickerTest : public CountdownFixture {
  protected:
    bool tick_posted() {
        return eventually([this] { return ui.posted_task_count() > 0; });
    }
};

TEST_F(TickerTest, TicksRunWhereTheWindowThreadRunsThemAndNotAfterStop) {
    state.ticker_running.store(1);
    Ticker ticker(ctx);
    ticker.start();
    ASSERT_TRUE(tick_posted());
    EXPECT_TRUE(ui.text_log.empty()) << "the ticker thread writes no label itself";

    // A window thread that is held up finds one tick waiting, not one per second.
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_EQ(ui.posted_task_count(), 1U);
    EXPECT_EQ(ui.run_posted_tasks(), 1);
    EXPECT_EQ(text(ControlId::透明标签_time), "09:05:07");
    EXPECT_EQ(text(ControlId::透明标签_日期), "2024年5月3日");

    // A tick posted just before the stop runs afterwards and writes nothing.
    add_item("甲", 3600);
    count_down(1);
    ASSERT_TRUE(tick_posted());
    ui.text_log.clear();
    ticker.stop_and_join();
    EXPECT_FALSE(ticker.loop_running());
    EXPECT_EQ(state.ticker_running.load(), 0);
    EXPECT_EQ(ui.run_posted_tasks(), 1);
    EXPECT_TRUE(ui.text_log.empty());
    EXPECT_EQ(state.countdown_position, 1);
}

TEST_F(TickerTest, StopWakesTheWaitAtOnce) {
    state.ticker_running.store(1);
    Ticker ticker(ctx);
    ticker.start();
    ASSERT_TRUE(tick_posted());  // the thread now sits in its one-second wait

    const auto start = SteadyClock::now();
    ticker.stop_and_join();
    EXPECT_LT(SteadyClock::now() - start, milliseconds(500));
    EXPECT_FALSE(ticker.loop_running());
    ticker.stop_and_join();  // a second stop is harmless
}

TEST_F(TickerTest, ClearingTheFlagDuringAWaitEndsTheLoopWithoutAnotherTick) {
    // Any value other than exactly 1 ends the loop.
    for (int32_t value : {0, 2}) {
        SCOPED_TRACE(value);
        state.ticker_running.store(1);
        Ticker ticker(ctx);
        ticker.start();
        ASSERT_TRUE(tick_posted());
        EXPECT_EQ(ui.run_posted_tasks(), 1);

        state.ticker_running.store(value);
        ASSERT_TRUE(eventually([&] { return !ticker.loop_running(); }));
        EXPECT_EQ(ui.posted_task_count(), 0U);
    }
}

TEST_F(TickerTest, StartWithTheFlagClearedMakesNoTick) {
    Ticker ticker(ctx);
    ticker.start();
    ASSERT_TRUE(eventually([&] { return !ticker.loop_running(); }));
    EXPECT_EQ(ui.posted_task_count(), 0U);
}

}  // namespace
}  // namespace velunor

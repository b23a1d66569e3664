#include "countdown/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "countdown_fixture.h"

namespace velunor {
namespace {

using Display = CountdownFixture;

TEST_F(Display, ClockShowsTwoDigitTimeAndPlainDate) {
    struct Case {
        DateParts at;
        const char* time;
        const char* date;
    };
    const Case cases[] = {
        {{2024, 5, 3, 9, 5, 7}, "09:05:07", "2024年5月3日"},
        {{2025, 1, 1, 0, 0, 0}, "00:00:00", "2025年1月1日"},
        {{2024, 12, 31, 23, 59, 59}, "23:59:59", "2024年12月31日"},
    };
    for (const auto& c : cases) {
        clock.set(c.at.year, c.at.month, c.at.day, c.at.hour, c.at.minute, c.at.second);
        ui.text_log.clear();
        tick(ctx);
        EXPECT_EQ(text(ControlId::透明标签_time), c.time);
        EXPECT_EQ(text(ControlId::透明标签_日期), c.date);
        // The clock writes nothing else.
        EXPECT_EQ(ui.text_log.size(), 2U);
    }
}

TEST_F(Display, CountdownShowsNameWholeDaysAndTimeLeft) {
    struct Case {
        int64_t seconds;
        const char* left;
        const char* time;
    };
    const Case cases[] = {
        {36561906, "剩余:1年2月3天", "04:05:06"},
        {90000, "剩余:1天", "01:00:00"},
        {86400, "剩余:1天", "00:00:00"},
        {2592000, "剩余:1月", "00:00:00"},
        {31104000, "剩余:1年", "00:00:00"},
        {3599, "剩余:", "00:59:59"},
        {1, "剩余:", "00:00:01"},
        // 2^31 seconds and more: the true years.
        {2147483648, "剩余:69年15天", "03:14:08"},
        {3000000000, "剩余:96年5月12天", "05:20:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        store.pending_items.clear();
        add_item("期末考试", c.seconds);
        count_down(1);
        tick(ctx);
        EXPECT_EQ(text(ControlId::透明标签_日期), "期末考试");
        EXPECT_EQ(text(ControlId::透明标签_差大值), c.left);
        EXPECT_EQ(text(ControlId::透明标签_time), c.time);
        EXPECT_EQ(state.countdown_position, 1);
        EXPECT_TRUE(stop_shown());
    }
}

TEST_F(Display, CountdownExpiresSilentlyAndTheNextTickShowsTheClock) {
    add_item("交报告", 1);
    count_down(1);
    state.list_mode = 1;  // the completed list is shown: the countdown goes on regardless
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_time), "00:00:01");

    clock.advance(1);
    tick(ctx);
    EXPECT_EQ(state.countdown_position, -1);
    EXPECT_FALSE(stop_shown());
    EXPECT_EQ(text(ControlId::透明标签_差大值), "");
    EXPECT_EQ(text(ControlId::透明标签_time), "00:00:01");
    EXPECT_EQ(text(ControlId::透明标签_日期), "交报告");
    EXPECT_TRUE(ui.messages.empty());

    clock.advance(1);
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_time), "09:05:09");
    EXPECT_EQ(text(ControlId::透明标签_日期), "2024年5月3日");
    EXPECT_EQ(text(ControlId::透明标签_差大值), "");
}

TEST_F(Display, StartAsksThenCountsDownToTheSelectedEntry) {
    add_item("甲", 3600);
    add_item("乙", 7200);
    ui.select(1);
    ui.message_answers = {true};
    start_countdown(ctx);

    ASSERT_EQ(ui.messages.size(), 1U);
    EXPECT_EQ(ui.messages[0].text, "是否开始倒计时： '乙'  ?");
    EXPECT_EQ(ui.messages[0].caption, "提醒");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::ok_cancel);
    EXPECT_EQ(state.countdown_position, 2);
    EXPECT_TRUE(stop_shown());
    // Only the state and the stop label change at once; the texts follow at the next tick.
    EXPECT_TRUE(ui.text_log.empty());

    // A running countdown is replaced after the same question.
    ui.select(0);
    ui.message_answers = {true};
    start_countdown(ctx);
    EXPECT_EQ(ui.messages.size(), 2U);
    EXPECT_EQ(state.countdown_position, 1);
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "甲");
    EXPECT_EQ(text(ControlId::透明标签_time), "01:00:00");
}

TEST_F(Display, StartChangesNothingWithoutSelectionOnTheCompletedListOrOnCancel) {
    struct Case {
        const char* what;
        int32_t selected;
        int32_t list_mode;
        size_t questions;
    };
    const Case cases[] = {
        {"nothing selected", -1, 0, 0},
        {"completed list shown", 0, 1, 0},
        {"cancelled", 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.pending_items.clear();
        add_item("甲", 3600);
        ui.messages.clear();
        ui.select(c.selected);
        state.list_mode = c.list_mode;
        state.countdown_position = 0;
        ui.message_answers = {false};
        start_countdown(ctx);
        EXPECT_EQ(ui.messages.size(), c.questions);
        EXPECT_EQ(state.countdown_position, 0);
        EXPECT_FALSE(stop_shown());
        EXPECT_TRUE(ui.text_log.empty());
    }
}

TEST_F(Display, CountdownOnAPastItemExpiresAtTheFirstTick) {
    show_clock(ctx);
    add_item("已过期", -600);
    ui.select(0);
    ui.message_answers = {true};
    start_countdown(ctx);
    EXPECT_TRUE(stop_shown());

    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "已过期");
    EXPECT_EQ(text(ControlId::透明标签_time), "09:05:07");  // still the clock's last text
    EXPECT_EQ(text(ControlId::透明标签_差大值), "");
    EXPECT_EQ(state.countdown_position, -1);
    EXPECT_FALSE(stop_shown());

    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "2024年5月3日");
}

TEST_F(Display, StopLeavesNoCountdownTextBehind) {
    add_item("甲", 90000);
    count_down(1);
    tick(ctx);
    ASSERT_EQ(text(ControlId::透明标签_差大值), "剩余:1天");

    stop_countdown(ctx);
    EXPECT_EQ(state.countdown_position, -1);
    EXPECT_FALSE(stop_shown());
    EXPECT_EQ(text(ControlId::透明标签_差大值), "");
    // The time and the name stay until the next tick.
    EXPECT_EQ(text(ControlId::透明标签_time), "01:00:00");
    EXPECT_EQ(text(ControlId::透明标签_日期), "甲");

    ui.text_log.clear();
    clock.advance(1);
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_time), "09:05:08");
    EXPECT_EQ(text(ControlId::透明标签_日期), "2024年5月3日");
    EXPECT_TRUE(std::none_of(ui.text_log.begin(), ui.text_log.end(), [](const auto& write) {
        return write.first == ControlId::透明标签_差大值;
    }));
}

TEST_F(Display, PositionFollowsTheListAndPastItsEndEndsTheCountdown) {
    add_item("甲", 3600);
    add_item("乙", 7200);
    add_item("丙", 10800);
    count_down(2);
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "乙");

    // An item before it goes: the position now addresses the next one.
    store.pending_items.erase(store.pending_items.begin());
    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "丙");
    EXPECT_EQ(text(ControlId::透明标签_time), "03:00:00");

    // The counted-down item was the last one and goes: ended as at expiry.
    store.pending_items.pop_back();
    tick(ctx);
    EXPECT_EQ(state.countdown_position, -1);
    EXPECT_FALSE(stop_shown());
    EXPECT_EQ(text(ControlId::透明标签_差大值), "");
    EXPECT_EQ(text(ControlId::透明标签_日期), "丙");

    tick(ctx);
    EXPECT_EQ(text(ControlId::透明标签_日期), "2024年5月3日");
}

}  // namespace
}  // namespace velunor

#include "ui/edit/edit_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "ui_fixture.h"

namespace velunor::testing {
namespace {

using EditWindowTest = UiTest;

// The edit window is created centred for the form's 435 x 315 on a 1920 x 1080 screen.
constexpr int kLeft = (1920 - 435) / 2;
constexpr int kTop = (1080 - 315) / 2;

TEST_F(EditWindowTest, HelpPanelShowsVersionAndWelcomeInA210By210WindowAndClosesOnItsButton) {
    bool open_after_click = true;
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        EXPECT_FALSE(f.is_visible(ControlId::分组框_增改));
        EXPECT_TRUE(f.is_visible(ControlId::分组框_说明));
        EXPECT_EQ(f.geometry(ControlId::分组框_说明), (Rect{5, 5, 200, 200}));
        EXPECT_EQ(f.window(WindowId::edit).geometry, (Rect{kLeft, kTop, 210, 210}));
        EXPECT_EQ(f.text(ControlId::分组框_说明), "当前版本：v0.7");
        EXPECT_EQ(f.text(ControlId::标签_说明), "欢迎使用！");
        f.click(ControlId::按钮_说明_退出);
        open_after_click = f.window(WindowId::edit).open;
    });
    open_edit_window(ctx, kEditModeHelp);
    EXPECT_FALSE(open_after_click);
    EXPECT_EQ(state.edit_window_mode, kEditModeHelp);
    EXPECT_FALSE(state.edit_window_open);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(EditWindowTest, AddPanelShowsTheEmptyFormInA221By309Window) {
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        EXPECT_TRUE(state.edit_window_open);
        EXPECT_TRUE(f.is_visible(ControlId::分组框_增改));
        EXPECT_FALSE(f.is_visible(ControlId::分组框_说明));
        EXPECT_EQ(f.geometry(ControlId::分组框_增改), (Rect{5, 5, 211, 299}));
        EXPECT_EQ(f.window(WindowId::edit).geometry, (Rect{kLeft, kTop, 221, 309}));
        EXPECT_EQ(f.text(ControlId::分组框_增改), "新 增 项 目");
        EXPECT_TRUE(f.date_enabled());
        EXPECT_EQ(f.date_value(), clock.now());
        EXPECT_EQ(f.text(ControlId::编辑框_时), "00");
        EXPECT_EQ(f.text(ControlId::编辑框_项目名), "");
    });
    open_edit_window(ctx, kEditModeAdd);
    EXPECT_EQ(fake.window(WindowId::edit).modal_opens, 1);
    EXPECT_FALSE(state.edit_window_open);
}

// The time boxes start at the record's own time of day: "00" there would move the item to
// midnight on a confirm that touched nothing.
TEST_F(EditWindowTest, ModifyPanelShowsTheRecordWithItsTimeOfDayAndLocksACompletedItemsDate) {
    for (const int completed : {0, 1}) {
        SCOPED_TRACE(completed);
        const DateTime due = make_datetime(2024, 5, 6, 8, 5, 9);
        store.edit_buffer = item("买菜", due, "带袋子");
        store.edit_buffer.completed = completed;
        fake.modal_scripts.push_back([&](FakeToolkit& f) {
            EXPECT_EQ(f.text(ControlId::分组框_增改), "修 改 项 目");
            EXPECT_EQ(f.window(WindowId::edit).geometry, (Rect{kLeft, kTop, 221, 309}));
            EXPECT_EQ(f.text(ControlId::编辑框_项目名), "买菜");
            EXPECT_EQ(f.text(ControlId::编辑框_备注), "带袋子");
            EXPECT_EQ(f.date_value(), due);
            EXPECT_EQ(f.text(ControlId::编辑框_时), "08");
            EXPECT_EQ(f.text(ControlId::编辑框_分), "05");
            EXPECT_EQ(f.text(ControlId::编辑框_秒), "09");
            EXPECT_EQ(f.date_enabled(), completed == 0);
        });
        open_edit_window(ctx, kEditModeModify);
    }
}

TEST_F(EditWindowTest, ConfirmedAddAsksThenAppendsRefillsSavesAndCloses) {
    fill(ListId::pending, {item("A", day(3))});
    fake.message_answers = {true};
    bool open_after_confirm = true;
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "买菜");
        f.set_date_value(day(1));
        f.type(ControlId::编辑框_时, "9");
        f.type(ControlId::编辑框_分, "30");
        f.type(ControlId::编辑框_秒, "");
        f.type(ControlId::编辑框_备注, "带袋子");
        f.click(ControlId::按钮_增改_确认);
        open_after_confirm = f.window(WindowId::edit).open;
    });
    open_edit_window(ctx, kEditModeAdd);

    ASSERT_EQ(fake.messages.size(), 1U);
    EXPECT_EQ(fake.messages[0].text,
              "是否确认增加的项目信息如下：\r\n项目名称：买菜\r\n到期时间：2024年5月5日9时30分\r\n"
              "备注：带袋子");
    EXPECT_EQ(fake.messages[0].caption, "提醒");
    EXPECT_EQ(fake.messages[0].buttons, MessageButtons::ok_cancel);
    EXPECT_FALSE(open_after_confirm);

    ASSERT_EQ(names(store.pending_items), (std::vector<std::string>{"A", "买菜"}));
    const ItemRecord& added = store.pending_items[1];
    EXPECT_EQ(datetime_parts(added.due), (DateParts{2024, 5, 5, 9, 30, 0}));
    EXPECT_EQ(added.note, "带袋子");
    EXPECT_EQ(added.marker, -2);
    EXPECT_EQ(added.completed, 0);
    EXPECT_EQ(entry_texts(fake), (std::vector<std::string>{"A", "买菜"}));
    EXPECT_EQ(fake.list_value(1), 2);

    const ItemStore on_disk = saved();
    ASSERT_EQ(names(on_disk.pending_items), (std::vector<std::string>{"A", "买菜"}));
    EXPECT_EQ(on_disk.pending_items[1].due, added.due);
}

TEST_F(EditWindowTest, CancelInTheQuestionKeepsTheWindowAndItsInputAndChangesNothing) {
    fake.message_answers = {false, true};
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "买菜");
        f.set_date_value(day(1));
        f.click(ControlId::按钮_增改_确认);
        EXPECT_TRUE(f.window(WindowId::edit).open);
        EXPECT_EQ(f.text(ControlId::编辑框_项目名), "买菜");
        EXPECT_TRUE(store.pending_items.empty());
        EXPECT_TRUE(f.list_entries().empty());
        EXPECT_FALSE(saved_file_exists());
        // A second confirm still works.
        f.click(ControlId::按钮_增改_确认);
        EXPECT_FALSE(f.window(WindowId::edit).open);
    });
    open_edit_window(ctx, kEditModeAdd);
    EXPECT_EQ(fake.messages.size(), 2U);
    EXPECT_EQ(names(store.pending_items), (std::vector<std::string>{"买菜"}));
    EXPECT_EQ(names(saved().pending_items), (std::vector<std::string>{"买菜"}));
}

// The checks run in the order name, past time, time limits, and only the first failure is
// reported. The past-time check compares the due time that would be stored (the date shown
// with the time boxes) with now; the date box's hidden time of day plays no part.
TEST_F(EditWindowTest, ChecksRunInOrderWithTheirLimits) {
    constexpr const char* kName = "记录名称不可为空！";
    constexpr const char* kPast = "不可将时间设置为过去时间！";
    constexpr const char* kTime = "时间设置错误！！";
    struct Case {
        const char* what;
        const char* name;
        DateTime date;
        const char* hour;
        const char* minute;
        const char* second;
        const char* error;  // nullptr: accepted
        DateParts due;      // when accepted
    };
    const DateTime today = day(0);  // 10:00:00, now
    const DateTime tomorrow = day(1);
    const DateTime yesterday = day(-1);
    const Case cases[] = {
        {"24, 60 and 60 pass as 23:59:59",
         "x",
         tomorrow,
         "24",
         "60",
         "60",
         nullptr,
         {2024, 5, 5, 23, 59, 59}},
        {"hour 25", "x", tomorrow, "25", "0", "0", kTime, {}},
        {"minute 61", "x", tomorrow, "0", "61", "0", kTime, {}},
        {"second 61", "x", tomorrow, "0", "0", "61", kTime, {}},
        {"negative values pass as 0",
         "x",
         tomorrow,
         "-5",
         "-1",
         "-32768",
         nullptr,
         {2024, 5, 5, 0, 0, 0}},
        {"empty boxes are midnight", "x", tomorrow, "", "", "", nullptr, {2024, 5, 5, 0, 0, 0}},
        {"later today is not the past",
         "x",
         today,
         "23",
         "59",
         "59",
         nullptr,
         {2024, 5, 4, 23, 59, 59}},
        {"one second from now", "x", today, "10", "00", "01", nullptr, {2024, 5, 4, 10, 0, 1}},
        {"now itself is the past", "x", today, "10", "00", "00", kPast, {}},
        {"earlier today", "x", today, "9", "59", "59", kPast, {}},
        {"the date box's hidden time does not count",
         "x",
         make_datetime(2024, 5, 4, 18, 0, 0),
         "9",
         "0",
         "0",
         kPast,
         {}},
        {"yesterday", "x", yesterday, "23", "59", "59", kPast, {}},
        {"an empty name is reported before a past date", "", yesterday, "25", "0", "0", kName, {}},
        {"a past date is reported before the time limits",
         "x",
         yesterday,
         "25",
         "0",
         "0",
         kPast,
         {}},
        {"a name of spaces is a name",
         "   ",
         tomorrow,
         "0",
         "0",
         "0",
         nullptr,
         {2024, 5, 5, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.pending_items.clear();
        std::filesystem::remove(dir.path() / "data.db");
        fake.messages.clear();
        fake.message_answers = {true};
        bool open_after_confirm = false;
        fake.modal_scripts.push_back([&](FakeToolkit& f) {
            f.type(ControlId::编辑框_项目名, c.name);
            f.set_date_value(c.date);
            f.type(ControlId::编辑框_时, c.hour);
            f.type(ControlId::编辑框_分, c.minute);
            f.type(ControlId::编辑框_秒, c.second);
            f.click(ControlId::按钮_增改_确认);
            open_after_confirm = f.window(WindowId::edit).open;
        });
        open_edit_window(ctx, kEditModeAdd);

        ASSERT_EQ(fake.messages.size(), 1U);
        if (c.error != nullptr) {
            EXPECT_EQ(fake.messages[0].text, c.error);
            EXPECT_EQ(fake.messages[0].caption, "错误！");
            EXPECT_EQ(fake.messages[0].buttons, MessageButtons::ok);
            EXPECT_TRUE(open_after_confirm);
            EXPECT_TRUE(store.pending_items.empty());
            EXPECT_FALSE(saved_file_exists());
        } else {
            EXPECT_EQ(fake.messages[0].caption, "提醒");
            EXPECT_FALSE(open_after_confirm);
            ASSERT_EQ(store.pending_items.size(), 1U);
            EXPECT_EQ(datetime_parts(store.pending_items[0].due), c.due);
        }
    }
}

// A completed item may keep a date in the past; it stays at its place in the completed list,
// with the time of day from the time boxes.
TEST_F(EditWindowTest, ModifyOfACompletedItemSkipsThePastCheckAndKeepsItsPlace) {
    fill(ListId::completed, {item("X", make_datetime(2024, 1, 1, 8, 0, 0)),
                             item("Y", make_datetime(2024, 1, 2, 8, 0, 0)),
                             item("Z", make_datetime(2024, 1, 3, 8, 0, 0))});
    fill(ListId::pending, {item("P", day(2))});
    state.list_mode = 1;
    copy_to_edit_buffer(store, ListId::completed, 2);
    state.edit_source = 1;
    fake.message_answers = {true};
    fake.modal_scripts.push_back([](FakeToolkit& f) {
        EXPECT_FALSE(f.date_enabled());
        f.type(ControlId::编辑框_项目名, "Y2");
        f.type(ControlId::编辑框_时, "7");
        f.click(ControlId::按钮_增改_确认);
    });
    open_edit_window(ctx, kEditModeModify);

    ASSERT_EQ(fake.messages.size(), 1U);
    EXPECT_EQ(fake.messages[0].caption, "提醒");
    EXPECT_EQ(names(store.completed_items), (std::vector<std::string>{"X", "Y2", "Z"}));
    EXPECT_EQ(datetime_parts(store.completed_items[1].due), (DateParts{2024, 1, 2, 7, 0, 0}));
    EXPECT_EQ(store.completed_items[1].completed, 1);
    EXPECT_EQ(names(store.pending_items), (std::vector<std::string>{"P"}));
    EXPECT_EQ(entry_texts(fake), (std::vector<std::string>{"X", "Y2", "Z"}));
    EXPECT_EQ(names(saved().completed_items), (std::vector<std::string>{"X", "Y2", "Z"}));
}

// A confirm that leaves the time boxes alone keeps the due time; the item keeps its place and
// a countdown on it goes on.
TEST_F(EditWindowTest, ModifyOfAPendingItemKeepsItsDueTimePlaceAndCountdown) {
    const DateTime due = make_datetime(2024, 5, 6, 18, 30, 15);
    fill(ListId::pending, {item("A", day(1)), item("B", due), item("C", day(3))});
    state.countdown_position = 2;
    copy_to_edit_buffer(store, ListId::pending, 2);
    state.edit_source = 0;
    fake.message_answers = {true};
    fake.modal_scripts.push_back([](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "B2");
        f.click(ControlId::按钮_增改_确认);
    });
    open_edit_window(ctx, kEditModeModify);

    ASSERT_EQ(fake.messages.size(), 1U);
    EXPECT_EQ(
        fake.messages[0].text,
        "是否确认增加的项目信息如下：\r\n项目名称：B2\r\n到期时间：2024年5月6日18时30分15秒\r\n"
        "备注：");
    EXPECT_EQ(names(store.pending_items), (std::vector<std::string>{"A", "B2", "C"}));
    EXPECT_EQ(store.pending_items[1].due, due);
    EXPECT_EQ(state.countdown_position, 2);
    const ItemStore on_disk = saved();
    ASSERT_EQ(names(on_disk.pending_items), (std::vector<std::string>{"A", "B2", "C"}));
    EXPECT_EQ(on_disk.pending_items[1].due, due);
}

// Whether a confirm adds or replaces follows the panel the window was opened with, not what
// the last modify left in the edit buffer.
TEST_F(EditWindowTest, AddRightAfterModifyingACompletedItemGoesToThePendingList) {
    fill(ListId::completed, {item("X", make_datetime(2024, 1, 1, 8, 0, 0))});
    copy_to_edit_buffer(store, ListId::completed, 1);  // completed 1, position 1
    state.edit_source = 0;
    fake.message_answers = {true};
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "新");
        f.set_date_value(day(1));
        f.click(ControlId::按钮_增改_确认);
    });
    open_edit_window(ctx, kEditModeAdd);

    EXPECT_EQ(names(store.completed_items), (std::vector<std::string>{"X"}));
    ASSERT_EQ(names(store.pending_items), (std::vector<std::string>{"新"}));
    EXPECT_EQ(store.pending_items[0].completed, 0);
}

TEST_F(EditWindowTest, ReturnButtonClosesWithoutChangingAnything) {
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "买菜");
        f.set_date_value(day(1));
        f.click(ControlId::按钮_增改_返回);
        EXPECT_FALSE(f.window(WindowId::edit).open);
    });
    open_edit_window(ctx, kEditModeAdd);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(store.pending_items.empty());
    EXPECT_EQ(store.edit_buffer.name, "");
    EXPECT_FALSE(saved_file_exists());
}

}  // namespace
}  // namespace velunor::testing

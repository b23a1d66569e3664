#include "ui/main/item_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/datetime.h"
#include "ui/edit/edit_window.h"
#include "ui/main/tray_menu.h"
#include "ui_fixture.h"

namespace velunor::testing {
namespace {

using ItemCommandsTest = UiTest;
using TrayMenuTest = UiTest;

using Strings = std::vector<std::string>;

TEST_F(ItemCommandsTest, ListCommandsDoNothingWithoutASelectedEntry) {
    fill(ListId::pending, {item("A", day(1))});
    const struct {
        const char* what;
        void (*command)(Context&);
    } commands[] = {{"modify", modify_selected},
                    {"delete", delete_selected},
                    {"complete", complete_selected},
                    {"details", show_details}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.what);
        fake.message_answers = {true};
        c.command(ctx);
        EXPECT_TRUE(fake.messages.empty());
        EXPECT_EQ(fake.window(WindowId::edit).modal_opens, 0);
        EXPECT_EQ(names(store.pending_items), Strings{"A"});
        EXPECT_FALSE(saved_file_exists());
    }
}

TEST_F(ItemCommandsTest, DeleteAsksThenRemovesRefillsAndSaves) {
    fill(ListId::pending, {item("A", day(1)), item("买菜", day(2)),
                           item("C", make_datetime(2024, 5, 7, 9, 30, 0), "带袋子")});
    fake.select(1);
    fake.message_answers = {true};
    delete_selected(ctx);

    ASSERT_EQ(fake.messages.size(), 1U);
    EXPECT_EQ(fake.messages[0].text, "是否删除 '买菜' 记录？");
    EXPECT_EQ(fake.messages[0].caption, "删除将无法恢复！");
    EXPECT_EQ(fake.messages[0].buttons, MessageButtons::ok_cancel);
    EXPECT_EQ(names(store.pending_items), (Strings{"A", "C"}));
    EXPECT_EQ(entry_texts(fake), (Strings{"A", "C"}));
    EXPECT_EQ(fake.list_value(1), 2);
    EXPECT_EQ(names(saved().pending_items), (Strings{"A", "C"}));

    // The second entry is now C.
    fake.select(1);
    show_details(ctx);
    ASSERT_EQ(fake.messages.size(), 2U);
    EXPECT_EQ(fake.messages[1].text,
              "数据名： 'C' \r\n到期时间：2024年5月7日9时30分\r\n备注：带袋子");
}

TEST_F(ItemCommandsTest, CancelInTheQuestionChangesNothing) {
    const struct {
        const char* what;
        void (*command)(Context&);
    } commands[] = {{"delete", delete_selected}, {"complete", complete_selected}};
    fill(ListId::pending, {item("A", day(1)), item("B", day(2))});
    state.countdown_position = 2;
    for (const auto& c : commands) {
        SCOPED_TRACE(c.what);
        fake.messages.clear();
        fake.message_answers = {false};
        fake.select(1);
        c.command(ctx);
        EXPECT_EQ(fake.messages.size(), 1U);
        EXPECT_EQ(names(store.pending_items), (Strings{"A", "B"}));
        EXPECT_TRUE(store.completed_items.empty());
        EXPECT_EQ(state.countdown_position, 2);
        EXPECT_FALSE(saved_file_exists());
    }
}

TEST_F(ItemCommandsTest, DeletingTheLastItemEmptiesTheList) {
    fill(ListId::completed, {item("X", day(-1))});
    fake.select(0);
    fake.message_answers = {true};
    delete_selected(ctx);
    EXPECT_TRUE(store.completed_items.empty());
    EXPECT_TRUE(fake.list_entries().empty());
    EXPECT_TRUE(saved_file_exists());
    EXPECT_TRUE(saved().completed_items.empty());
}

TEST_F(ItemCommandsTest, CompleteAsksWithTheRecordsNameThenMovesItToTheEndOfTheCompletedList) {
    fill(ListId::completed, {item("X", day(-1))});
    fill(ListId::pending, {item("A", day(1)), item("买菜", day(2), "带袋子")});
    fake.select(1);
    fake.message_answers = {true};
    complete_selected(ctx);

    ASSERT_EQ(fake.messages.size(), 1U);
    EXPECT_EQ(fake.messages[0].text, "是否完成： '买菜' 项目\r\n提醒，完成后将无法返回到未完成！");
    EXPECT_EQ(fake.messages[0].caption, "警告！");
    EXPECT_EQ(fake.messages[0].buttons, MessageButtons::ok_cancel);
    EXPECT_EQ(names(store.pending_items), Strings{"A"});
    ASSERT_EQ(names(store.completed_items), (Strings{"X", "买菜"}));
    EXPECT_EQ(store.completed_items[1].completed, 1);
    EXPECT_EQ(store.completed_items[1].note, "带袋子");
    EXPECT_EQ(entry_texts(fake), Strings{"A"});
    const ItemStore on_disk = saved();
    EXPECT_EQ(names(on_disk.pending_items), Strings{"A"});
    EXPECT_EQ(names(on_disk.completed_items), (Strings{"X", "买菜"}));
}

TEST_F(ItemCommandsTest, CompleteDoesNothingWhileTheCompletedListIsShown) {
    fill(ListId::pending, {item("A", day(1))});
    fill(ListId::completed, {item("X", day(-1))});
    fake.select(0);
    fake.message_answers = {true};
    complete_selected(ctx);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(names(store.pending_items), Strings{"A"});
    EXPECT_EQ(names(store.completed_items), Strings{"X"});
}

// The countdown stays on its own item: removing a pending item before it moves it up one place,
// removing the item itself ends the countdown, removing one after it changes nothing.
TEST_F(ItemCommandsTest, CountdownFollowsItsItemThroughDeleteAndComplete) {
    const struct {
        const char* what;
        void (*command)(Context&);
        int32_t counted;
        int selected;  // list box index
        int32_t expected;
    } cases[] = {
        {"delete before", delete_selected, 3, 0, 2},
        {"delete the counted item", delete_selected, 3, 2, -1},
        {"delete after", delete_selected, 3, 3, 3},
        {"complete before", complete_selected, 3, 1, 2},
        {"complete the counted item", complete_selected, 3, 2, -1},
        {"complete after", complete_selected, 3, 3, 3},
        {"no countdown", delete_selected, 0, 0, 0},
        {"an ended countdown", complete_selected, -1, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.pending_items.clear();
        store.completed_items.clear();
        fill(ListId::pending,
             {item("A", day(1)), item("B", day(2)), item("C", day(3)), item("D", day(4))});
        state.countdown_position = c.counted;
        fake.set_visible(ControlId::透明标签_停止, c.counted > 0);
        fake.set_text(ControlId::透明标签_差大值, c.counted > 0 ? "剩余:3天" : "");
        fake.select(c.selected);
        fake.message_answers = {true};
        c.command(ctx);

        EXPECT_EQ(store.pending_items.size(), 3U);
        EXPECT_EQ(state.countdown_position, c.expected);
        if (c.expected > 0) {
            EXPECT_EQ(store.pending_items[static_cast<size_t>(c.expected - 1)].name, "C");
        }
        // Stopped as the stop label does it: the label hidden, the remaining text emptied.
        EXPECT_EQ(fake.is_visible(ControlId::透明标签_停止), c.expected > 0);
        EXPECT_EQ(fake.text(ControlId::透明标签_差大值).empty(), c.expected <= 0);
    }
}

TEST_F(ItemCommandsTest, DeletingFromTheCompletedListLeavesTheCountdownAlone) {
    fill(ListId::pending, {item("A", day(1)), item("B", day(2))});
    fill(ListId::completed, {item("X", day(-2)), item("Y", day(-1))});
    state.countdown_position = 2;
    // Completed position 2 (the counted place), then 1 (before it).
    for (const int selected : {1, 0}) {
        SCOPED_TRACE(selected);
        fake.select(selected);
        fake.message_answers = {true};
        delete_selected(ctx);
        EXPECT_EQ(state.countdown_position, 2);
        EXPECT_TRUE(fake.is_visible(ControlId::透明标签_停止));
    }
    EXPECT_TRUE(store.completed_items.empty());
    EXPECT_EQ(names(store.pending_items), (Strings{"A", "B"}));
}

TEST_F(ItemCommandsTest, DetailsShowTheRecordOfTheListShown) {
    const struct {
        const char* what;
        ListId list;
        ItemRecord record;
        const char* text;
    } cases[] = {
        {"pending, empty note", ListId::pending, item("买菜", make_datetime(2024, 5, 4, 9, 30, 0)),
         "数据名： '买菜' \r\n到期时间：2024年5月4日9时30分\r\n备注："},
        {"completed, due at midnight", ListId::completed,
         item("交费", make_datetime(2024, 4, 1, 0, 0, 0), "电费\r\n水费"),
         "数据名： '交费' \r\n到期时间：2024年4月1日\r\n备注：电费\r\n水费"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.pending_items.clear();
        store.completed_items.clear();
        fake.messages.clear();
        // Something else at the same place of the other list.
        fill(c.list == ListId::pending ? ListId::completed : ListId::pending,
             {item("other", day(5), "other")});
        fill(c.list, {c.record});
        fake.select(0);
        show_details(ctx);
        ASSERT_EQ(fake.messages.size(), 1U);
        EXPECT_EQ(fake.messages[0].text, c.text);
        EXPECT_EQ(fake.messages[0].caption, "详情");
        EXPECT_EQ(fake.messages[0].buttons, MessageButtons::ok);
    }
    EXPECT_FALSE(saved_file_exists());
}

TEST_F(ItemCommandsTest, NewTargetAddsToThePendingListWhileTheCompletedListIsShown) {
    fill(ListId::completed, {item("X", day(-1))});
    state.edit_source = 1;  // left by an earlier modify of a completed item
    fake.message_answers = {true};
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        EXPECT_EQ(state.edit_window_mode, kEditModeAdd);
        EXPECT_EQ(state.edit_source, 0);
        f.type(ControlId::编辑框_项目名, "新");
        f.set_date_value(day(1));
        f.click(ControlId::按钮_增改_确认);
    });
    new_target(ctx);

    EXPECT_EQ(fake.window(WindowId::edit).modal_opens, 1);
    EXPECT_EQ(names(store.pending_items), Strings{"新"});
    EXPECT_EQ(entry_texts(fake), Strings{"X"});
    EXPECT_EQ(names(saved().pending_items), Strings{"新"});
}

TEST_F(ItemCommandsTest, ModifyOpensTheFormOnTheSelectedRecordOfTheListShown) {
    const struct {
        const char* what;
        ListId list;
        int32_t edit_source;
        bool date_enabled;
    } cases[] = {{"pending", ListId::pending, 0, true}, {"completed", ListId::completed, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.pending_items.clear();
        store.completed_items.clear();
        fill(c.list == ListId::pending ? ListId::completed : ListId::pending, {item("o", day(9))});
        fill(c.list, {item("A", day(1)), item("B", make_datetime(2024, 5, 8, 7, 15, 0), "n")});
        state.edit_source = 1 - c.edit_source;
        fake.select(1);
        fake.message_answers = {true};
        fake.modal_scripts.push_back([&](FakeToolkit& f) {
            EXPECT_EQ(state.edit_window_mode, kEditModeModify);
            EXPECT_EQ(state.edit_source, c.edit_source);
            EXPECT_EQ(store.edit_buffer.position, 2);
            EXPECT_EQ(f.text(ControlId::编辑框_项目名), "B");
            EXPECT_EQ(f.text(ControlId::编辑框_时), "07");
            EXPECT_EQ(f.text(ControlId::编辑框_分), "15");
            EXPECT_EQ(f.date_enabled(), c.date_enabled);
            f.type(ControlId::编辑框_备注, "changed");
            f.click(ControlId::按钮_增改_确认);
        });
        modify_selected(ctx);

        const ItemList& list = store.list(c.list);
        ASSERT_EQ(names(list), (Strings{"A", "B"}));
        EXPECT_EQ(list[1].note, "changed");
        EXPECT_EQ(datetime_parts(list[1].due), (DateParts{2024, 5, 8, 7, 15, 0}));
        const ItemStore on_disk = saved();
        ASSERT_EQ(names(on_disk.list(c.list)), (Strings{"A", "B"}));
        EXPECT_EQ(on_disk.list(c.list)[1].note, "changed");
    }
}

TEST_F(TrayMenuTest, OnlyARightReleaseOpensTheMenuWithHelpAndExitAtThePointer) {
    for (const int code : {kTrayLeftRelease, kTrayDoubleClick}) {
        fake.tray(code);
    }
    EXPECT_TRUE(fake.menus.empty());

    fake.pointer = {1700, 1050};
    fake.tray(kTrayContextMenu);
    ASSERT_EQ(fake.menus.size(), 1U);
    EXPECT_EQ(fake.menus[0].menu, MenuId::菜单_托盘);
    EXPECT_EQ(fake.menus[0].at, (Point{1700, 1050}));
    EXPECT_EQ(fake.menus[0].visible_entries,
              (std::vector<MenuEntryId>{MenuEntryId::说明, MenuEntryId::退出}));
}

TEST_F(TrayMenuTest, HelpOpensTheHelpPanelAndLeavesTheEditBufferAlone) {
    store.edit_buffer = item("kept", day(1));
    state.edit_source = 1;
    fake.menu_choices = {MenuEntryId::说明};
    bool help_shown = false;
    fake.modal_scripts.push_back(
        [&](FakeToolkit& f) { help_shown = f.is_visible(ControlId::分组框_说明); });
    fake.tray(kTrayContextMenu);
    EXPECT_TRUE(help_shown);
    EXPECT_EQ(state.edit_window_mode, kEditModeHelp);
    EXPECT_EQ(state.edit_source, 1);
    EXPECT_EQ(store.edit_buffer.name, "kept");
}

// The tray icon still answers while the edit window is open. Help then does nothing: the form
// keeps its panel and its input, and a confirm still adds.
TEST_F(TrayMenuTest, HelpDoesNothingWhileTheEditWindowIsOpen) {
    fake.message_answers = {true};
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "买菜");
        f.set_date_value(day(1));
        f.menu_choices = {MenuEntryId::说明};
        f.tray(kTrayContextMenu);
        EXPECT_EQ(f.menus.size(), 1U);
        EXPECT_EQ(state.edit_window_mode, kEditModeAdd);
        EXPECT_TRUE(f.is_visible(ControlId::分组框_增改));
        EXPECT_FALSE(f.is_visible(ControlId::分组框_说明));
        EXPECT_EQ(f.text(ControlId::编辑框_项目名), "买菜");
        f.click(ControlId::按钮_增改_确认);
    });
    new_target(ctx);
    EXPECT_EQ(fake.window(WindowId::edit).modal_opens, 1);
    EXPECT_EQ(names(store.pending_items), Strings{"买菜"});
}

TEST_F(TrayMenuTest, ExitEndsTheProgramWithTheSave) {
    fake.create_main_window();
    fill(ListId::pending, {item("A", day(1))});
    fake.menu_choices = {MenuEntryId::退出};
    fake.tray(kTrayContextMenu);
    EXPECT_FALSE(fake.window(WindowId::main).open);
    EXPECT_EQ(names(saved().pending_items), Strings{"A"});
}

// Exit while a modify is open and its change was answered with Cancel: the edit window goes,
// the main window goes, and data.db holds the confirmed lists without the unconfirmed change.
TEST_F(TrayMenuTest, ExitWhileTheEditWindowIsOpenDropsItsInputAndSaves) {
    fake.create_main_window();
    fill(ListId::pending, {item("A", day(1)), item("B", day(2))});
    fake.select(0);
    fake.message_answers = {false};
    bool edit_open_after_exit = true;
    fake.modal_scripts.push_back([&](FakeToolkit& f) {
        f.type(ControlId::编辑框_项目名, "A2");
        f.click(ControlId::按钮_增改_确认);  // Cancel: the window stays open
        f.menu_choices = {MenuEntryId::退出};
        f.tray(kTrayContextMenu);
        edit_open_after_exit = f.window(WindowId::edit).open;
    });
    modify_selected(ctx);

    EXPECT_FALSE(edit_open_after_exit);
    EXPECT_FALSE(fake.window(WindowId::main).open);
    EXPECT_FALSE(state.edit_window_open);
    EXPECT_EQ(names(store.pending_items), (Strings{"A", "B"}));
    EXPECT_EQ(names(saved().pending_items), (Strings{"A", "B"}));
}

}  // namespace
}  // namespace velunor::testing

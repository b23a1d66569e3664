// The main window's list view, tabs, popup menus, set-up and tear-down, against the fake toolkit.
#include "ui/main/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <stdlib.h>  // mkdtemp

#include "fake_toolkit.h"
#include "store/data_file.h"
#include "ui/main/tray_icon.h"

namespace velunor {
namespace {

using ::testing::ElementsAre;
using velunor::testing::FakeToolkit;
using velunor::testing::ListEntry;

namespace fs = std::filesystem;

// A run directory of its own, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "velunor-main-window-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

ItemRecord item(const std::string& name) {
    ItemRecord r;
    r.name = name;
    r.due = make_datetime(2030, 5, 1, 14, 30, 0);
    r.note = "备注 " + name;
    return r;
}

std::vector<std::string> names(const std::vector<ListEntry>& entries) {
    std::vector<std::string> out;
    out.reserve(entries.size());
    for (const auto& e : entries) {
        out.push_back(e.text);
    }
    return out;
}

// The main window with its routing, on the fake toolkit, with items put in by hand.
struct Panel {
    Panel() { tk.set_event_handler(&events); }
    ~Panel() { ticker.stop_and_join(); }
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    void add(ListId list, const std::string& name) {
        ItemRecord r = item(name);
        r.completed = list == ListId::completed ? 1 : 0;
        store.list(list).push_back(r);
    }
    void add_many(ListId list, int count) {
        for (int i = 1; i <= count; ++i) {
            add(list, "项目" + std::to_string(i));
        }
    }
    int window_height() const { return tk.window(WindowId::main).geometry.height; }
    const velunor::testing::FakeControl& list_box() const {
        return tk.control(ControlId::列表框_记录);
    }

    TempDir dir;
    FakeToolkit tk;
    ItemStore store;
    ProgramState state;
    FixedClock clock{make_datetime(2024, 5, 1, 14, 30, 0)};
    Context ctx{tk, store, state, clock, dir.path()};
    Ticker ticker{ctx};
    MainWindowEvents events{ctx, ticker};
};

class MainWindowTest : public ::testing::Test, public Panel {};

// ---- refresh_item_list -----------------------------------------------------------------------

TEST_F(MainWindowTest, ListBoxAndWindowHeightFollowTheEntryCount) {
    struct Case {
        int entries;
        int list_height;
        bool list_visible;
        int window_height;
    };
    // Ten or more entries get a fixed 325 pixels, less than nine entries get; the scroll bar
    // reaches the rest.
    const Case cases[] = {
        {0, 0, false, 112},  {1, 60, true, 172},   {2, 95, true, 207},
        {9, 340, true, 452}, {10, 325, true, 437}, {25, 325, true, 437},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries);
        store.pending_items.clear();
        add_many(ListId::pending, c.entries);
        // A window moved to the corner keeps its place and width; only its height changes.
        tk.set_window_geometry(WindowId::main, {1620, 0, 300, 999});

        refresh_item_list(ctx);

        EXPECT_EQ(tk.list_count(), c.entries);
        EXPECT_EQ(list_box().geometry, (Rect{0, 112, 300, c.list_height}));
        EXPECT_EQ(list_box().visible, c.list_visible);
        EXPECT_EQ(tk.window(WindowId::main).geometry, (Rect{1620, 0, 300, c.window_height}));
    }
}

TEST_F(MainWindowTest, EntriesShowNamesInOrderWithTheirPositions) {
    add(ListId::pending, "考试");
    add(ListId::pending, "");  // an empty name still gives a selectable entry
    add(ListId::pending, "生日");
    add(ListId::completed, "旧事");

    refresh_item_list(ctx);

    ASSERT_EQ(tk.list_entries().size(), 3u);
    EXPECT_EQ(tk.list_entries()[0].text, "考试");
    EXPECT_EQ(tk.list_entries()[1].text, "");
    EXPECT_EQ(tk.list_entries()[2].text, "生日");
    for (int32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(tk.list_value(k), k + 1);
    }
}

TEST_F(MainWindowTest, AListModeOtherThanZeroOrOneShowsNothing) {
    add_many(ListId::pending, 3);
    add_many(ListId::completed, 3);
    state.list_mode = 2;

    refresh_item_list(ctx);

    EXPECT_EQ(tk.list_count(), 0);
    EXPECT_FALSE(list_box().visible);
    EXPECT_EQ(window_height(), 112);
}

TEST_F(MainWindowTest, AHiddenListBoxShowsAgainWhenEntriesCome) {
    refresh_item_list(ctx);
    ASSERT_FALSE(list_box().visible);

    add(ListId::pending, "新的");
    refresh_item_list(ctx);

    EXPECT_TRUE(list_box().visible);
    EXPECT_EQ(list_box().geometry.height, 60);
}

// ---- tabs --------------------------------------------------------------------------------------

TEST_F(MainWindowTest, TabsSwitchTheListAndMarkTheShownTab) {
    add_many(ListId::pending, 2);
    add(ListId::completed, "甲");
    add(ListId::completed, "乙");
    add(ListId::completed, "丙");
    refresh_item_list(ctx);

    tk.press(ControlId::标签_完成记录);
    EXPECT_EQ(state.list_mode, 1);
    EXPECT_THAT(names(tk.list_entries()), ElementsAre("甲", "乙", "丙"));
    EXPECT_EQ(window_height(), 112 + 130);
    EXPECT_EQ(tk.control(ControlId::标签_完成记录).text_colour, kWhite);
    EXPECT_EQ(tk.control(ControlId::标签_当前目标).text_colour, kBlack);
    EXPECT_EQ(tk.control(ControlId::标签_当前目标).gradient,
              (std::array<Rgb, 3>{kGrey, kGrey, kGrey}));

    tk.press(ControlId::标签_当前目标);
    EXPECT_EQ(state.list_mode, 0);
    EXPECT_THAT(names(tk.list_entries()), ElementsAre("项目1", "项目2"));
    EXPECT_EQ(window_height(), 112 + 95);
    EXPECT_EQ(tk.control(ControlId::标签_当前目标).text_colour, kWhite);
    EXPECT_EQ(tk.control(ControlId::标签_完成记录).text_colour, kBlack);
    EXPECT_EQ(tk.control(ControlId::标签_完成记录).gradient,
              (std::array<Rgb, 3>{kGrey, kGrey, kGrey}));
}

TEST_F(MainWindowTest, TabsDoNotTouchTheCountdown) {
    add_many(ListId::pending, 2);
    state.countdown_position = 2;

    tk.press(ControlId::标签_完成记录);
    tk.press(ControlId::标签_当前目标);

    EXPECT_EQ(state.countdown_position, 2);
}

// ---- popup menus -------------------------------------------------------------------------------

TEST_F(MainWindowTest, ListMenuOffersCountdownAndCompleteOnlyForPendingItems) {
    add_many(ListId::pending, 2);
    add_many(ListId::completed, 2);
    tk.pointer = {1700, 300};

    // Pending, completed, then pending again: the hidden entries come back.
    const struct {
        ControlId tab;
        std::vector<MenuEntryId> entries;
    } cases[] = {
        {ControlId::标签_当前目标,
         {MenuEntryId::修改, MenuEntryId::开始倒计时, MenuEntryId::删除, MenuEntryId::详情,
          MenuEntryId::完成}},
        {ControlId::标签_完成记录, {MenuEntryId::修改, MenuEntryId::删除, MenuEntryId::详情}},
        {ControlId::标签_当前目标,
         {MenuEntryId::修改, MenuEntryId::开始倒计时, MenuEntryId::删除, MenuEntryId::详情,
          MenuEntryId::完成}},
    };
    for (const auto& c : cases) {
        tk.menus.clear();
        tk.press(c.tab);
        tk.select(1);
        tk.press(ControlId::列表框_记录, MouseButton::right);

        ASSERT_EQ(tk.menus.size(), 1u);
        EXPECT_EQ(tk.menus[0].menu, MenuId::菜单_列表选项);
        EXPECT_EQ(tk.menus[0].at, (Point{1700, 300}));
        EXPECT_EQ(tk.menus[0].visible_entries, c.entries);
    }
}

TEST_F(MainWindowTest, ListMenuNeedsASelection) {
    add_many(ListId::pending, 3);
    refresh_item_list(ctx);

    tk.press(ControlId::列表框_记录, MouseButton::right);
    EXPECT_TRUE(tk.menus.empty());

    // A press on the tab already shown refills the list, which drops the selection: the next
    // right click opens nothing either.
    tk.select(2);
    tk.press(ControlId::标签_当前目标);
    EXPECT_EQ(tk.list_selected(), -1);
    EXPECT_EQ(tk.list_count(), 3);
    tk.press(ControlId::列表框_记录, MouseButton::right);
    EXPECT_TRUE(tk.menus.empty());
}

TEST_F(MainWindowTest, EveryRefillClearsTheSelection) {
    add_many(ListId::pending, 3);
    refresh_item_list(ctx);
    tk.select(1);

    refresh_item_list(ctx);

    EXPECT_EQ(tk.list_selected(), -1);
}

TEST_F(MainWindowTest, TabMenuOpensOnEitherTabWithoutChangingTheList) {
    add_many(ListId::pending, 2);
    add_many(ListId::completed, 1);
    tk.press(ControlId::标签_完成记录);
    tk.select(0);
    tk.pointer = {1650, 95};

    for (ControlId tab : {ControlId::标签_当前目标, ControlId::标签_完成记录}) {
        tk.menus.clear();
        tk.press(tab, MouseButton::right);

        ASSERT_EQ(tk.menus.size(), 1u);
        EXPECT_EQ(tk.menus[0].menu, MenuId::菜单_当前目标);
        EXPECT_EQ(tk.menus[0].at, (Point{1650, 95}));
        EXPECT_THAT(tk.menus[0].visible_entries, ElementsAre(MenuEntryId::新增目标));
        EXPECT_EQ(state.list_mode, 1);
        EXPECT_EQ(tk.list_count(), 1);
        EXPECT_EQ(tk.list_selected(), 0);
    }
}

TEST_F(MainWindowTest, RightPressOnOtherControlsOpensNoMenu) {
    add_many(ListId::pending, 1);
    refresh_item_list(ctx);
    tk.select(0);

    for (ControlId c : {ControlId::透明标签_time, ControlId::透明标签_日期,
                        ControlId::透明标签_差大值, ControlId::透明标签_停止}) {
        tk.press(c, MouseButton::right);
    }
    tk.press(ControlId::列表框_记录, MouseButton::left);

    EXPECT_TRUE(tk.menus.empty());
    EXPECT_EQ(state.list_mode, 0);
}

// ---- routing to the commands ------------------------------------------------------------------

// Each menu entry, chosen the way a user chooses it, runs its own command: the second of three
// pending items is selected and every question is answered with OK.
TEST_F(MainWindowTest, MenuEntriesRunTheirCommands) {
    struct Case {
        MenuEntryId entry;
        std::function<void(Panel&)> check;
    };
    const Case cases[] = {
        {MenuEntryId::修改,
         [](Panel& t) {
             EXPECT_EQ(t.tk.window(WindowId::edit).modal_opens, 1);
             EXPECT_EQ(t.state.edit_window_mode, 1);
             EXPECT_EQ(t.store.edit_buffer.name, "乙");
         }},
        {MenuEntryId::开始倒计时,
         [](Panel& t) {
             EXPECT_EQ(t.state.countdown_position, 2);
             EXPECT_TRUE(t.tk.is_visible(ControlId::透明标签_停止));
         }},
        {MenuEntryId::删除,
         [](Panel& t) { EXPECT_THAT(names(t.tk.list_entries()), ElementsAre("甲", "丙")); }},
        {MenuEntryId::详情,
         [](Panel& t) {
             ASSERT_EQ(t.tk.messages.size(), 1u);
             EXPECT_THAT(t.tk.messages[0].text, ::testing::HasSubstr("乙"));
             EXPECT_EQ(t.store.pending_items.size(), 3u);
         }},
        {MenuEntryId::完成,
         [](Panel& t) {
             ASSERT_EQ(t.store.completed_items.size(), 1u);
             EXPECT_EQ(t.store.completed_items[0].name, "乙");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.entry));
        Panel t;
        t.tk.create_main_window();
        for (const char* name : {"甲", "乙", "丙"}) {
            t.add(ListId::pending, name);
        }
        refresh_item_list(t.ctx);
        t.tk.select(1);
        t.tk.message_answers = {true, true};
        t.tk.menu_choices = {c.entry};

        t.tk.press(ControlId::列表框_记录, MouseButton::right);

        c.check(t);
    }
}

TEST_F(MainWindowTest, TabMenuAddsAndTheStopLabelEndsTheCountdown) {
    tk.create_main_window();
    tk.menu_choices = {MenuEntryId::新增目标};
    tk.press(ControlId::标签_完成记录, MouseButton::right);
    EXPECT_EQ(tk.window(WindowId::edit).modal_opens, 1);
    EXPECT_EQ(state.edit_window_mode, 0);

    add(ListId::pending, "甲");
    refresh_item_list(ctx);
    tk.select(0);
    tk.message_answers = {true};
    tk.menu_choices = {MenuEntryId::开始倒计时};
    tk.press(ControlId::列表框_记录, MouseButton::right);
    ASSERT_EQ(state.countdown_position, 1);

    tk.press(ControlId::透明标签_停止);
    EXPECT_LE(state.countdown_position, 0);
    EXPECT_FALSE(tk.is_visible(ControlId::透明标签_停止));
}

// ---- set-up ------------------------------------------------------------------------------------

TEST_F(MainWindowTest, SetupFinishesTheWindowBeforeItIsShown) {
    {
        ItemStore saved;
        append_item(saved, ListId::pending, item("考试"));
        append_item(saved, ListId::pending, item("生日"));
        append_item(saved, ListId::completed, item("旧事"));
        ASSERT_TRUE(save_items(saved, dir.path()));
    }

    // The fake counts the window as shown once the created handler has returned: everything
    // below is in place by then.
    tk.create_main_window();

    const auto& main = tk.window(WindowId::main);
    EXPECT_EQ(main.caption, "Velunorv0.7");
    EXPECT_EQ(main.background, kColourKey);
    EXPECT_EQ(list_box().background, kColourKey);
    EXPECT_EQ(main.geometry, (Rect{1620, 0, 300, 112 + 95}));

    EXPECT_EQ(tk.text(ControlId::透明标签_差大值), "");
    EXPECT_FALSE(tk.is_visible(ControlId::透明标签_停止));
    EXPECT_EQ(tk.control(ControlId::标签_当前目标).text_colour, kWhite);
    EXPECT_EQ(tk.control(ControlId::标签_完成记录).text_colour, kBlack);
    EXPECT_EQ(tk.control(ControlId::标签_完成记录).gradient,
              (std::array<Rgb, 3>{kGrey, kGrey, kGrey}));

    EXPECT_EQ(state.list_mode, 0);
    EXPECT_THAT(names(tk.list_entries()), ElementsAre("考试", "生日"));
    EXPECT_EQ(tk.list_selected(), -1);
    ASSERT_EQ(store.completed_items.size(), 1u);

    // The clock was written during set-up, and the ticker runs.
    EXPECT_NE(tk.text(ControlId::透明标签_time), "透明标签");
    EXPECT_NE(tk.text(ControlId::透明标签_日期), "透明标签");
    EXPECT_EQ(state.ticker_running.load(), 1);
}

TEST_F(MainWindowTest, SetupPlacesTheWindowAtTheTopRightOfThePrimaryScreen) {
    for (int width : {1920, 1366, 300}) {
        FakeToolkit screen;
        screen.screen_width = width;
        Context c{screen, store, state, clock, dir.path()};
        Ticker t{c};
        MainWindowEvents e{c, t};
        screen.set_event_handler(&e);

        screen.create_main_window();

        EXPECT_EQ(screen.window(WindowId::main).geometry.left, width - 300) << width;
        EXPECT_EQ(screen.window(WindowId::main).geometry.top, 0) << width;
        t.stop_and_join();
    }
}

// The panel follows the primary screen: a new size, a new primary screen somewhere else on the
// desktop (left of, right of or below another one). It keeps its size and its list.
TEST_F(MainWindowTest, AScreenChangeMovesThePanelToThePrimaryScreensCorner) {
    add_many(ListId::pending, 2);
    tk.screen_left = 1280;
    tk.screen_top = 0;
    tk.create_main_window();
    EXPECT_EQ(tk.window(WindowId::main).geometry, (Rect{1280 + 1620, 0, 300, 112 + 95}));

    struct Case {
        Rect screen;
        int left;
        int top;
    };
    const Case cases[] = {
        {{0, 0, 1280, 1024}, 980, 0},        {{0, 0, 3840, 2160}, 3540, 0},
        {{1920, 0, 1366, 768}, 2986, 0},     {{-1280, 0, 1280, 1024}, -300, 0},
        {{0, 1080, 1920, 1080}, 1620, 1080}, {{-1024, -768, 1024, 768}, -300, -768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.screen.left << "," << c.screen.top << " "
                                          << c.screen.width << "x" << c.screen.height);
        tk.screen_left = c.screen.left;
        tk.screen_top = c.screen.top;
        tk.screen_width = c.screen.width;
        tk.screen_height = c.screen.height;
        tk.screen_changed();
        EXPECT_EQ(tk.window(WindowId::main).geometry, (Rect{c.left, c.top, 300, 112 + 95}));
    }
    EXPECT_THAT(names(tk.list_entries()), ElementsAre("项目1", "项目2"));
    EXPECT_EQ(state.list_mode, 0);
}

// A screen change while the edit window is open moves the panel and leaves the form alone.
TEST_F(MainWindowTest, AScreenChangeWithTheEditWindowOpenMovesOnlyThePanel) {
    tk.create_main_window();
    Rect panel_during;
    bool edit_open_after = false;
    tk.modal_scripts.emplace_back([&](FakeToolkit& t) {
        t.type(ControlId::编辑框_项目名, "考试");
        const Rect form = t.window(WindowId::edit).geometry;
        t.screen_width = 1280;
        t.screen_changed();
        panel_during = t.window(WindowId::main).geometry;
        edit_open_after = t.window(WindowId::edit).open;
        EXPECT_EQ(t.window(WindowId::edit).geometry, form);
        EXPECT_EQ(t.text(ControlId::编辑框_项目名), "考试");
    });
    tk.menu_choices.emplace_back(MenuEntryId::新增目标);
    tk.press(ControlId::标签_当前目标, MouseButton::right);

    EXPECT_EQ(panel_during.left, 980);
    EXPECT_TRUE(edit_open_after);
}

TEST_F(MainWindowTest, SetupMakesTheWindowColourKeyedAndPartlyOpaque) {
    tk.create_main_window();

    const auto& t = tk.window(WindowId::main).transparency;
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->alpha, 150);
    EXPECT_TRUE(t->use_alpha);
    EXPECT_EQ(t->key, kColourKey);
    EXPECT_TRUE(t->use_key);
    EXPECT_FALSE(t->click_through);
}

TEST_F(MainWindowTest, SetupCreatesTheTrayIcon) {
    tk.create_main_window();

    EXPECT_TRUE(tk.tray_created);
    EXPECT_EQ(tk.tray_tip, "Kobu");
    EXPECT_EQ(tk.tray_icon.size(), 4286u);
    EXPECT_TRUE(std::equal(tk.tray_icon.begin(), tk.tray_icon.end(), kTrayIconIco.begin()));
}

// The icon must be a file the platform's ICO reader accepts: one 32 x 32 image of 32 bits per
// pixel with a real alpha channel.
TEST(TrayIcon, IsOneThirtyTwoBitIcoImage) {
    const auto& ico = kTrayIconIco;
    auto u16 = [&](size_t at) { return ico[at] | (ico[at + 1] << 8); };
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16);
    };

    EXPECT_EQ(u16(0), 0);  // reserved
    EXPECT_EQ(u16(2), 1);  // icon
    EXPECT_EQ(u16(4), 1);  // one image
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(u16(12), 32);           // bits per pixel
    EXPECT_EQ(u32(14), 4286u - 22u);  // image size
    EXPECT_EQ(u32(18), 22u);          // image offset
    EXPECT_EQ(u32(22), 40u);          // BITMAPINFOHEADER
    EXPECT_EQ(u32(26), 32u);          // width
    EXPECT_EQ(u32(30), 64u);          // height: colour rows plus mask rows
    EXPECT_EQ(u16(36), 32);           // bits per pixel
    EXPECT_EQ(u32(38), 0u);           // no compression

    int transparent = 0;
    int opaque = 0;
    for (size_t p = 0; p < size_t{32} * 32; ++p) {
        const unsigned alpha = ico[62 + p * 4 + 3];
        transparent += alpha == 0 ? 1 : 0;
        opaque += alpha == 255 ? 1 : 0;
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
}

// ---- tear-down ---------------------------------------------------------------------------------

TEST_F(MainWindowTest, TeardownStopsTheTickerAndSavesBothLists) {
    tk.create_main_window();
    ASSERT_EQ(state.ticker_running.load(), 1);
    add(ListId::pending, "考试");
    add(ListId::pending, "生日");
    add(ListId::completed, "旧事");
    state.countdown_position = 1;

    events.on_window_destroying(WindowId::main);

    EXPECT_EQ(state.ticker_running.load(), 0);
    ItemStore reloaded;
    load_items(reloaded, dir.path());
    ASSERT_EQ(reloaded.pending_items.size(), 2u);
    EXPECT_EQ(reloaded.pending_items[0].name, "考试");
    EXPECT_EQ(reloaded.pending_items[1].name, "生日");
    EXPECT_EQ(reloaded.pending_items[1].note, "备注 生日");
    EXPECT_EQ(reloaded.pending_items[1].due, make_datetime(2030, 5, 1, 14, 30, 0));
    ASSERT_EQ(reloaded.completed_items.size(), 1u);
    EXPECT_EQ(reloaded.completed_items[0].name, "旧事");
}

TEST_F(MainWindowTest, TeardownWritesTheFileEvenWithoutChanges) {
    tk.create_main_window();
    ASSERT_FALSE(fs::exists(dir.path() / "data.db"));

    events.on_window_destroying(WindowId::main);

    EXPECT_TRUE(fs::exists(dir.path() / "data.db"));
}

TEST_F(MainWindowTest, ClosingTheEditWindowLeavesTheMainWindowAlone) {
    tk.create_main_window();

    events.on_window_destroying(WindowId::edit);

    EXPECT_EQ(state.ticker_running.load(), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "data.db"));
}

}  // namespace
}  // namespace velunor

#include "ui/main/main_window.h"

#include "countdown/display.h"
#include "store/data_file.h"
#include "ui/edit/edit_window.h"
#include "ui/main/item_commands.h"
#include "ui/main/tray_icon.h"
#include "ui/main/tray_menu.h"

namespace velunor {

namespace {

constexpr const char* kMainCaption = "Velunorv0.7";
constexpr const char* kTrayTip = "Kobu";
constexpr int kWindowAlpha = 150;

// List box sizing: 35 pixels per entry plus 25 for up to 9 entries; from 10 entries on a fixed
// 325 pixels, and the scroll bar reaches the rest.
constexpr int kEntryHeight = 35;
constexpr int kListPadding = 25;
constexpr int kFullListEntries = 10;
constexpr int kFullListHeight = 325;

int list_box_height(int32_t entries) {
    if (entries >= kFullListEntries) {
        return kFullListHeight;
    }
    return kEntryHeight * entries + kListPadding;
}

// Which tab is marked: the shown list's tab has white text, the other black; both keep their
// plain grey background.
void mark_tabs(Toolkit& tk, ControlId shown, ControlId other) {
    tk.set_text_colour(shown, kWhite);
    tk.set_text_colour(other, kBlack);
    tk.set_gradient(other, kGrey, kGrey, kGrey);
}

}  // namespace

void refresh_item_list(Context& ctx) {
    Toolkit& tk = ctx.toolkit;
    tk.list_clear();

    const ItemList* shown = nullptr;
    if (ctx.state.list_mode == 0) {
        shown = &ctx.store.pending_items;
    } else if (ctx.state.list_mode == 1) {
        shown = &ctx.store.completed_items;
    }
    if (shown != nullptr) {
        int32_t value = 1;
        for (const ItemRecord& record : *shown) {
            tk.list_add(record.name, value++);
        }
    }

    const int time_height = tk.geometry(ControlId::透明标签_time).height;
    const Rect window = tk.window_geometry(WindowId::main);
    Rect list = tk.geometry(ControlId::列表框_记录);
    list.left = 0;
    list.top = time_height;
    list.width = window.width;

    const int32_t entries = tk.list_count();
    if (entries == 0) {
        list.height = 0;
        tk.set_geometry(ControlId::列表框_记录, list);
        tk.set_visible(ControlId::列表框_记录, false);
    } else {
        tk.set_visible(ControlId::列表框_记录, true);
        list.height = list_box_height(entries);
        tk.set_geometry(ControlId::列表框_记录, list);
    }

    Rect resized = window;
    resized.height = time_height + list.height;
    tk.set_window_geometry(WindowId::main, resized);
}

void show_pending_list(Context& ctx) {
    mark_tabs(ctx.toolkit, ControlId::标签_当前目标, ControlId::标签_完成记录);
    ctx.state.list_mode = 0;
    refresh_item_list(ctx);
}

void show_completed_list(Context& ctx) {
    mark_tabs(ctx.toolkit, ControlId::标签_完成记录, ControlId::标签_当前目标);
    ctx.state.list_mode = 1;
    refresh_item_list(ctx);
}

void open_list_menu(Context& ctx) {
    Toolkit& tk = ctx.toolkit;
    // The menu works on the entry selected before with the left button; without one there is
    // nothing to act on.
    if (tk.list_selected() == -1) {
        return;
    }
    // Counting down and completing only make sense for pending items.
    const bool pending = ctx.state.list_mode == 0;
    tk.set_menu_entry_visible(MenuEntryId::开始倒计时, pending);
    tk.set_menu_entry_visible(MenuEntryId::完成, pending);
    tk.popup_menu(MenuId::菜单_列表选项, tk.pointer_position());
}

void open_tab_menu(Context& ctx) {
    ctx.toolkit.popup_menu(MenuId::菜单_当前目标, ctx.toolkit.pointer_position());
}

void place_main_window(Context& ctx) {
    Toolkit& tk = ctx.toolkit;
    // The window's right edge touches the right edge of the whole primary screen, which need
    // not be the leftmost one.
    const Rect screen = tk.primary_screen_geometry();
    Rect window = tk.window_geometry(WindowId::main);
    window.left = screen.left + screen.width - window.width;
    window.top = screen.top;
    tk.set_window_geometry(WindowId::main, window);
}

void setup_main_window(Context& ctx, Ticker& ticker) {
    Toolkit& tk = ctx.toolkit;
    tk.set_caption(WindowId::main, kMainCaption);
    tk.set_window_background(WindowId::main, kColourKey);
    tk.set_background(ControlId::列表框_记录, kColourKey);

    place_main_window(ctx);

    tk.set_text(ControlId::透明标签_差大值, "");
    tk.set_visible(ControlId::透明标签_停止, false);
    mark_tabs(tk, ControlId::标签_当前目标, ControlId::标签_完成记录);

    tk.create_tray_icon(kTrayIconIco, kTrayTip);
    tk.apply_window_transparency(WindowId::main, kWindowAlpha, true, kColourKey, true, false);

    load_items(ctx.store, ctx.run_dir);
    ctx.state.list_mode = 0;
    refresh_item_list(ctx);

    show_clock(ctx);
    // The ticker starts last: every label it writes already holds its first text.
    ctx.state.ticker_running = 1;
    ticker.start();
}

void teardown_main_window(Context& ctx, Ticker& ticker) {
    // The ticker reads the pending list and writes the clock labels; it has ended before the
    // lists are saved and before the window and its controls go.
    ctx.state.ticker_running = 0;
    ticker.stop_and_join();
    save_items(ctx.store, ctx.run_dir);
}

void MainWindowEvents::on_window_created(WindowId window) {
    if (window == WindowId::main) {
        setup_main_window(ctx_, ticker_);
    } else {
        setup_edit_window(ctx_);
    }
}

void MainWindowEvents::on_window_destroying(WindowId window) {
    if (window == WindowId::main) {
        teardown_main_window(ctx_, ticker_);
    }
}

void MainWindowEvents::on_tray_event(int code) {
    open_tray_menu(ctx_, code);
}

void MainWindowEvents::on_mouse_press(ControlId control, MouseButton button) {
    if (button == MouseButton::left) {
        switch (control) {
            case ControlId::透明标签_停止:
                stop_countdown(ctx_);
                break;
            case ControlId::标签_当前目标:
                show_pending_list(ctx_);
                break;
            case ControlId::标签_完成记录:
                show_completed_list(ctx_);
                break;
            default:
                break;
        }
        return;
    }
    switch (control) {
        case ControlId::标签_当前目标:
        case ControlId::标签_完成记录:
            open_tab_menu(ctx_);
            break;
        case ControlId::列表框_记录:
            open_list_menu(ctx_);
            break;
        default:
            break;
    }
}

void MainWindowEvents::on_button_click(ControlId control) {
    switch (control) {
        case ControlId::按钮_增改_确认:
            confirm_edit(ctx_);
            break;
        case ControlId::按钮_增改_返回:
        case ControlId::按钮_说明_退出:
            close_edit_window(ctx_);
            break;
        default:
            break;
    }
}

void MainWindowEvents::on_menu_entry(MenuEntryId entry) {
    switch (entry) {
        case MenuEntryId::修改:
            modify_selected(ctx_);
            break;
        case MenuEntryId::开始倒计时:
            start_countdown(ctx_);
            break;
        case MenuEntryId::删除:
            delete_selected(ctx_);
            break;
        case MenuEntryId::详情:
            show_details(ctx_);
            break;
        case MenuEntryId::完成:
            complete_selected(ctx_);
            break;
        case MenuEntryId::新增目标:
            new_target(ctx_);
            break;
        case MenuEntryId::说明:
            show_help(ctx_);
            break;
        case MenuEntryId::退出:
            exit_program(ctx_);
            break;
    }
}

void MainWindowEvents::on_screen_changed() {
    // The panel belongs at the corner of the primary screen as it is now.
    place_main_window(ctx_);
}

}  // namespace velunor

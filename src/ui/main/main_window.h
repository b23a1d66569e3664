// The main window: its set-up and tear-down, the list view, the tabs and the popup menus, and
// the routing of its events to the commands.
#pragma once

#include "countdown/context.h"
#include "countdown/ticker.h"
#include "platform/toolkit.h"

namespace velunor {

// Refills 列表框_记录 from the list list_mode names and sizes the list box and the window.
void refresh_item_list(Context& ctx);
void show_pending_list(Context& ctx);
void show_completed_list(Context& ctx);
void open_list_menu(Context& ctx);
void open_tab_menu(Context& ctx);

// Puts the main window's top-right corner at the primary screen's top-right corner.
void place_main_window(Context& ctx);

// Runs when the main window exists and before it is first shown.
void setup_main_window(Context& ctx, Ticker& ticker);
// Runs when the main window is about to go: stops the ticker, saves the lists.
void teardown_main_window(Context& ctx, Ticker& ticker);

// Routes the toolkit's events to the handlers and commands.
class MainWindowEvents final : public EventHandler {
  public:
    MainWindowEvents(Context& ctx, Ticker& ticker) : ctx_(ctx), ticker_(ticker) {}
    void on_window_created(WindowId window) override;
    void on_window_destroying(WindowId window) override;
    void on_tray_event(int code) override;
    void on_mouse_press(ControlId control, MouseButton button) override;
    void on_button_click(ControlId control) override;
    void on_menu_entry(MenuEntryId entry) override;
    void on_screen_changed() override;

  private:
    Context& ctx_;
    Ticker& ticker_;
};

}  // namespace velunor

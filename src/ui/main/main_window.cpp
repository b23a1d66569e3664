#include "ui/main/main_window.h"

namespace velunor {
// Not written yet.
void refresh_item_list(Context&) {}
void show_pending_list(Context&) {}
void show_completed_list(Context&) {}
void open_list_menu(Context&) {}
void open_tab_menu(Context&) {}
void setup_main_window(Context&, Ticker&) {}
void teardown_main_window(Context&, Ticker&) {}
void MainWindowEvents::on_window_created(WindowId) {}
void MainWindowEvents::on_window_destroying(WindowId) {}
void MainWindowEvents::on_tray_event(int) {}
void MainWindowEvents::on_mouse_press(ControlId, MouseButton) {}
void MainWindowEvents::on_button_click(ControlId) {}
void MainWindowEvents::on_menu_entry(MenuEntryId) {}
}  // namespace velunor

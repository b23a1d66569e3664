#include "ui/main/tray_menu.h"

namespace velunor {
// Not written yet.
void open_tray_menu(Context&, int) {}
void show_help(Context&) {}
void exit_program(Context&) {}
}  // namespace velunor

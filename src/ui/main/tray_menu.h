// The tray icon's menu.
#pragma once

#include "countdown/context.h"

namespace velunor {

// Pops up 菜单_托盘 for the tray code kTrayContextMenu; other codes do nothing.
void open_tray_menu(Context& ctx, int code);
void show_help(Context& ctx);     // "说明"
void exit_program(Context& ctx);  // "退出"

}  // namespace velunor

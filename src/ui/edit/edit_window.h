// The edit window: the add/modify form and the help panel.
#pragma once

#include "countdown/context.h"

namespace velunor {

inline constexpr int kEditModeAdd = 0;
inline constexpr int kEditModeModify = 1;
inline constexpr int kEditModeHelp = 9;

// Sets edit_window_mode and shows the edit window modally; returns once it has closed.
void open_edit_window(Context& ctx, int mode);
// Arranges the panel that edit_window_mode asks for; runs once each time the window is created.
void setup_edit_window(Context& ctx);
// 按钮_增改_确认: checks the inputs, asks, then adds or replaces the item.
void confirm_edit(Context& ctx);
// 按钮_增改_返回 and 按钮_说明_退出.
void close_edit_window(Context& ctx);

}  // namespace velunor

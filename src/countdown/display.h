// The clock and countdown area of the main window.
#pragma once

#include "countdown/context.h"

namespace velunor {

// Writes the current time and date to 透明标签_time and 透明标签_日期.
void show_clock(Context& ctx);
// Writes the time left until the counted-down item is due, or ends an expired countdown.
void show_countdown(Context& ctx);
// The once-a-second refresh: the clock, or the counted-down item's name and time left.
void tick(Context& ctx);
// List menu "开始倒计时": asks, then counts down to the selected pending item.
void start_countdown(Context& ctx);
// Left press on 透明标签_停止.
void stop_countdown(Context& ctx);

}  // namespace velunor

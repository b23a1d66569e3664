#include "countdown/display.h"

namespace velunor {
// Not written yet.
void show_clock(Context&) {}
void show_countdown(Context&) {}
void tick(Context&) {}
void start_countdown(Context&) {}
void stop_countdown(Context&) {}
}  // namespace velunor

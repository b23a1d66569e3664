// Work that waits until a window's first frame is on the screen.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>

namespace velunor::qt {

// Runs task on the window's thread once the window has been exposed and its first frame drawn
// (at once, through the event loop, when that has already happened), or after `limit` when no
// exposure comes (the window never shown). The task is dropped with the window if the window
// goes first. The main window uses it for start-up work that need not hold up the panel's first
// appearance.
void run_after_first_frame(QWidget* window, std::function<void()> task,
                           std::chrono::milliseconds limit);

}  // namespace velunor::qt

// The program's shared state: owned by the program (or a test) and handed to every handler.
#pragma once

#include <atomic>
#include <cstdint>

namespace velunor {

struct ProgramState {
    // 0: the list box shows the pending items; 1: the completed items.
    int32_t list_mode = 0;
    // 1-based position in pending_items of the counted-down item; 0 or less: the clock is shown.
    int32_t countdown_position = 0;
    // The ticker loops while this is exactly 1. Written by the window thread, read by the ticker.
    std::atomic<int32_t> ticker_running{0};
    // Panel of the edit window: 0 add, 1 modify, 9 help.
    int32_t edit_window_mode = 0;
    // 0 when the edit window adds or modifies a pending item, 1 when it modifies a completed one.
    int32_t edit_source = 0;
    // True while the edit window is open: it exists once at a time, and its panel (and so the
    // choice between adding and modifying) stays the one it was opened with.
    bool edit_window_open = false;
};

}  // namespace velunor

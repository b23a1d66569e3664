// A main window's clock area on the fake toolkit, with a settable clock and pending items.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "countdown/context.h"
#include "fake_toolkit.h"

namespace velunor {

class CountdownFixture : public ::testing::Test {
  protected:
    CountdownFixture() {
        clock.set(2024, 5, 3, 9, 5, 7);
        // As the main window starts: no remaining text, no stop label.
        ui.set_text(ControlId::透明标签_差大值, "");
        ui.set_visible(ControlId::透明标签_停止, false);
        ui.text_log.clear();
    }

    // Appends a pending item due `seconds` from now and lists it.
    void add_item(const std::string& name, int64_t seconds) {
        ItemRecord record;
        record.name = name;
        record.due = clock.now() + static_cast<double>(seconds) / 86400.0;
        store.pending_items.push_back(record);
        relist();
    }

    // Fills the list box with the pending items, as the main window does.
    void relist() {
        ui.list_clear();
        int32_t position = 1;
        for (const auto& item : store.pending_items) {
            ui.list_add(item.name, position++);
        }
    }

    void count_down(int32_t position) {
        state.countdown_position = position;
        ui.set_visible(ControlId::透明标签_停止, true);
    }

    std::string text(ControlId id) const { return ui.text(id); }
    bool stop_shown() const { return ui.is_visible(ControlId::透明标签_停止); }

    testing::FakeToolkit ui;
    ItemStore store;
    ProgramState state;
    FixedClock clock;
    Context ctx{ui, store, state, clock, {}};
};

}  // namespace velunor

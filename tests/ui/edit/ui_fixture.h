// A program without a display: the fake toolkit with the main window's event routing, an item
// store, a clock set by hand and a run directory of its own, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>  // mkdtemp

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/datetime.h"
#include "common/program_state.h"
#include "countdown/context.h"
#include "countdown/ticker.h"
#include "fake_toolkit.h"
#include "store/data_file.h"
#include "store/item_store.h"
#include "ui/main/main_window.h"

namespace velunor::testing {

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velunor-ui-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline ItemRecord item(const std::string& name, DateTime due, const std::string& note = {}) {
    ItemRecord r;
    r.name = name;
    r.due = due;
    r.note = note;
    return r;
}

inline std::vector<std::string> names(const ItemList& list) {
    std::vector<std::string> out;
    for (const auto& r : list) {
        out.push_back(r.name);
    }
    return out;
}

inline std::vector<std::string> entry_texts(const FakeToolkit& fake) {
    std::vector<std::string> out;
    for (const auto& e : fake.list_entries()) {
        out.push_back(e.text);
    }
    return out;
}

// Now is 10:00:00 on 4 May 2024.
class UiTest : public ::testing::Test {
  protected:
    UiTest() {
        fake.set_event_handler(&events);
        fake.date_on_open = clock.now();
    }

    // Puts records into a list and shows that list, as the tabs would.
    void fill(ListId list, const std::vector<ItemRecord>& records) {
        for (const auto& r : records) {
            append_item(store, list, r);
        }
        state.list_mode = list == ListId::completed ? 1 : 0;
        refresh_item_list(ctx);
    }

    // What data.db holds now; empty lists when it does not exist.
    ItemStore saved() const {
        ItemStore loaded;
        load_items(loaded, dir.path());
        return loaded;
    }
    bool saved_file_exists() const { return std::filesystem::exists(dir.path() / "data.db"); }

    // The date box's value for a day counted from today, with today's time of day.
    static DateTime day(int offset) { return make_datetime(2024, 5, 4, 10, 0, 0) + offset; }

    FakeToolkit fake;
    ItemStore store;
    ProgramState state;
    FixedClock clock{make_datetime(2024, 5, 4, 10, 0, 0)};
    TempDir dir;
    Context ctx{fake, store, state, clock, dir.path()};
    Ticker ticker{ctx};
    MainWindowEvents events{ctx, ticker};
};

}  // namespace velunor::testing

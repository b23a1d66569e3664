// What every handler works on: the toolkit, the items, the shared state, the clock and the run
// directory. The program owns one; each test makes its own.
#pragma once

#include <filesystem>

#include "common/datetime.h"
#include "common/program_state.h"
#include "platform/toolkit.h"
#include "store/item_store.h"

namespace velunor {

struct Context {
    Toolkit& toolkit;
    ItemStore& store;
    ProgramState& state;
    const Clock& clock;
    std::filesystem::path run_dir;
};

}  // namespace velunor

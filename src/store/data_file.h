// The lists on disk: data.db, an SQLite database in the run directory.
#pragma once

#include <filesystem>

#include "store/item_store.h"

namespace velunor {

// Appends the rows of tables 未完成 and 已完成 of run_dir/data.db to the store's lists. Never
// creates the file; whatever cannot be read is skipped.
void load_items(ItemStore& store, const std::filesystem::path& run_dir);

// Writes both lists to run_dir/data.db: the new database is written beside it and renamed over
// it only once complete. Returns false when nothing was written; the old file is then intact.
bool save_items(ItemStore& store, const std::filesystem::path& run_dir);

}  // namespace velunor

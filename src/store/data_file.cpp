#include "store/data_file.h"

namespace velunor {
// Not written yet.
void load_items(ItemStore&, const std::filesystem::path&) {}
bool save_items(ItemStore&, const std::filesystem::path&) { return false; }
}  // namespace velunor

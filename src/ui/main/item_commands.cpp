#include "ui/main/item_commands.h"

namespace velunor {
// Not written yet.
void new_target(Context&) {}
void modify_selected(Context&) {}
void delete_selected(Context&) {}
void complete_selected(Context&) {}
void show_details(Context&) {}
}  // namespace velunor

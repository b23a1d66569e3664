#include "ui/edit/edit_window.h"

namespace velunor {
// Not written yet.
void open_edit_window(Context&, int) {}
void setup_edit_window(Context&) {}
void confirm_edit(Context&) {}
void close_edit_window(Context&) {}
}  // namespace velunor

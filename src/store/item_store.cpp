#include "store/item_store.h"

namespace velunor {
// Not written yet.
void append_item(ItemStore&, ListId, const ItemRecord&) {}
void replace_item(ItemStore&) {}
void remove_item(ItemStore&, ListId, int32_t) {}
void complete_item(ItemStore&, int32_t) {}
void copy_to_edit_buffer(ItemStore&, ListId, int32_t) {}
}  // namespace velunor

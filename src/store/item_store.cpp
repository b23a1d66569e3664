#include "store/item_store.h"

#include <cstddef>

namespace velunor {

namespace {

// The 0-based index of a 1-based position, or -1 when the position is outside the list.
std::ptrdiff_t index_of(const ItemList& list, int32_t position) {
    if (position < 1 || static_cast<size_t>(position) > list.size()) {
        return -1;
    }
    return position - 1;
}

int32_t completed_flag(ListId list) {
    return list == ListId::completed ? 1 : 0;
}

}  // namespace

void append_item(ItemStore& store, ListId list, const ItemRecord& record) {
    // The copy is taken first: the record may live in the list that grows.
    ItemRecord copy = record;
    copy.completed = completed_flag(list);
    store.list(list).push_back(std::move(copy));
}

void replace_item(ItemStore& store) {
    const ListId id = store.edit_buffer.completed == 1 ? ListId::completed : ListId::pending;
    ItemList& list = store.list(id);
    const std::ptrdiff_t index = index_of(list, store.edit_buffer.position);
    if (index < 0) {
        return;
    }
    list[static_cast<size_t>(index)] = store.edit_buffer;
}

void remove_item(ItemStore& store, ListId list_id, int32_t position) {
    ItemList& list = store.list(list_id);
    const std::ptrdiff_t index = index_of(list, position);
    if (index < 0) {
        return;
    }
    list.erase(list.begin() + index);
}

void complete_item(ItemStore& store, int32_t position) {
    const std::ptrdiff_t index = index_of(store.pending_items, position);
    if (index < 0) {
        return;
    }
    ItemRecord record = store.pending_items[static_cast<size_t>(index)];
    record.id = -1;
    record.completed = 1;
    record.marker = -1;
    append_item(store, ListId::completed, record);
    remove_item(store, ListId::pending, position);
}

void copy_to_edit_buffer(ItemStore& store, ListId list_id, int32_t position) {
    const ItemList& list = store.list(list_id);
    const std::ptrdiff_t index = index_of(list, position);
    if (index < 0) {
        return;
    }
    store.edit_buffer = list[static_cast<size_t>(index)];
    store.edit_buffer.position = position;
}

}  // namespace velunor

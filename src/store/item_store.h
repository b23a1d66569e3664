// The user's items in memory: two ordered lists of records and the edit buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"

namespace velunor {

struct ItemRecord {
    int32_t id = 0;        // ID column of the row it was read from; -1 once completed
    int32_t position = 0;  // 1-based place at load; in edit_buffer: the place being modified
    int32_t marker = 0;    // 0 after load, -2 once confirmed in the edit window, -1 once completed
    std::string name;
    DateTime due = 0.0;
    std::string note;
    int32_t completed = 0;  // 1 in completed_items, 0 in pending_items

    friend bool operator==(const ItemRecord&, const ItemRecord&) = default;
};

// Records are values: every transfer between the lists and edit_buffer is a deep copy.
using ItemList = std::vector<ItemRecord>;

enum class ListId { pending, completed };

struct ItemStore {
    ItemList pending_items;
    ItemList completed_items;
    ItemRecord edit_buffer;

    // Set by load_items when data.db exists but could not be read as the expected database;
    // the next save keeps that file under another name before it writes the new one.
    bool keep_unreadable_file = false;

    ItemList& list(ListId id) { return id == ListId::pending ? pending_items : completed_items; }
    const ItemList& list(ListId id) const {
        return id == ListId::pending ? pending_items : completed_items;
    }
};

// Appends a copy of the record; the copy's `completed` is set to match the list.
void append_item(ItemStore& store, ListId list, const ItemRecord& record);
// Puts a copy of edit_buffer at edit_buffer.position of the list its `completed` names.
void replace_item(ItemStore& store);
// Removes the record at a 1-based position; a position outside 1..length changes nothing.
void remove_item(ItemStore& store, ListId list, int32_t position);
// Moves the pending record at a 1-based position to the end of completed_items.
void complete_item(ItemStore& store, int32_t position);
// Copies the record at a 1-based position into edit_buffer and sets its position.
void copy_to_edit_buffer(ItemStore& store, ListId list, int32_t position);

}  // namespace velunor

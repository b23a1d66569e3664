#include "store/item_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace velunor {
namespace {

ItemRecord record(const std::string& name, int32_t position = 0) {
    ItemRecord r;
    r.id = position;
    r.position = position;
    r.name = name;
    r.note = name + " note";
    r.due = make_datetime(2030, 1, 2, 3, 4, 5);
    return r;
}

std::vector<std::string> names(const ItemList& list) {
    std::vector<std::string> out;
    for (const ItemRecord& r : list) {
        out.push_back(r.name);
    }
    return out;
}

using Names = std::vector<std::string>;

// Pending A, B, C (positions 1..3) and completed X.
struct StoreTest : testing::Test {
    ItemStore store;
    void SetUp() override {
        append_item(store, ListId::pending, record("A", 1));
        append_item(store, ListId::pending, record("B", 2));
        append_item(store, ListId::pending, record("C", 3));
        append_item(store, ListId::completed, record("X", 1));
    }
};

TEST(ItemStoreStart, IsEmptyWithAZeroEditBuffer) {
    const ItemStore store;
    EXPECT_TRUE(store.pending_items.empty());
    EXPECT_TRUE(store.completed_items.empty());
    EXPECT_EQ(store.edit_buffer, ItemRecord{});
    EXPECT_EQ(store.edit_buffer.due, 0.0);
}

TEST(ItemStoreStart, RemoveOnAnEmptyListChangesNothing) {
    ItemStore store;
    for (const int32_t position : {INT_MIN, -1, 0, 1, 2, INT_MAX}) {
        remove_item(store, ListId::pending, position);
        remove_item(store, ListId::completed, position);
    }
    EXPECT_TRUE(store.pending_items.empty());
    EXPECT_TRUE(store.completed_items.empty());
}

TEST_F(StoreTest, AppendSetsCompletedFromTheList) {
    ItemRecord r = record("D");
    r.completed = 1;
    append_item(store, ListId::pending, r);
    r.completed = 0;
    append_item(store, ListId::completed, r);
    EXPECT_EQ(store.pending_items.back().completed, 0);
    EXPECT_EQ(store.completed_items.back().completed, 1);
    for (const ItemRecord& p : store.pending_items) {
        EXPECT_EQ(p.completed, 0);
    }
}

TEST_F(StoreTest, AppendingARecordOfTheSameListCopiesIt) {
    append_item(store, ListId::pending, store.pending_items[0]);
    EXPECT_EQ(names(store.pending_items), (Names{"A", "B", "C", "A"}));
}

TEST_F(StoreTest, RemoveOutsideTheListChangesNothing) {
    const ItemStore before = store;
    for (const int32_t position : {INT_MIN, -1, 0, 4, 5, INT_MAX}) {
        remove_item(store, ListId::pending, position);
    }
    EXPECT_EQ(store.pending_items, before.pending_items);
    EXPECT_EQ(store.completed_items, before.completed_items);
}

TEST_F(StoreTest, RemoveClosesTheGapAndKeepsPositionFields) {
    remove_item(store, ListId::pending, 2);
    EXPECT_EQ(names(store.pending_items), (Names{"A", "C"}));
    EXPECT_EQ(store.pending_items[1].position, 3);
    remove_item(store, ListId::pending, 2);
    EXPECT_EQ(names(store.pending_items), (Names{"A"}));
    EXPECT_EQ(names(store.completed_items), (Names{"X"}));
}

TEST_F(StoreTest, StoredCopiesAreIndependentOfTheEditBuffer) {
    store.edit_buffer = record("new");
    append_item(store, ListId::pending, store.edit_buffer);
    store.edit_buffer.name = "changed";
    store.edit_buffer.note.clear();
    EXPECT_EQ(store.pending_items.back().name, "new");
    EXPECT_EQ(store.pending_items.back().note, "new note");

    copy_to_edit_buffer(store, ListId::pending, 1);
    store.pending_items[0].name = "A2";
    EXPECT_EQ(store.edit_buffer.name, "A");
}

TEST_F(StoreTest, EmptyTextsCopyAsEmptyTexts) {
    ItemRecord empty;
    append_item(store, ListId::pending, empty);
    EXPECT_EQ(store.pending_items.back().name, "");
    EXPECT_EQ(store.pending_items.back().note, "");
}

TEST_F(StoreTest, CompleteMovesTheRecordToTheEndOfCompleted) {
    const ItemRecord b = store.pending_items[1];
    complete_item(store, 2);
    EXPECT_EQ(names(store.pending_items), (Names{"A", "C"}));
    EXPECT_EQ(names(store.completed_items), (Names{"X", "B"}));
    const ItemRecord& moved = store.completed_items.back();
    EXPECT_EQ(moved.completed, 1);
    EXPECT_EQ(moved.marker, -1);
    EXPECT_EQ(moved.id, -1);
    EXPECT_EQ(moved.name, b.name);
    EXPECT_EQ(moved.due, b.due);
    EXPECT_EQ(moved.note, b.note);
}

// Positions come from the list box; a stale one must not touch any list or the buffer.
TEST_F(StoreTest, PositionsOutsideTheListChangeNothing) {
    store.edit_buffer = record("buffer", 7);
    const ItemStore before = store;
    for (const int32_t position : {INT_MIN, -1, 0, 4, INT_MAX}) {
        complete_item(store, position);
        copy_to_edit_buffer(store, ListId::pending, position);
        copy_to_edit_buffer(store, ListId::completed, position);
        store.edit_buffer.position = position;
        store.edit_buffer.completed = position == 0 ? 1 : 0;
        replace_item(store);
        store.edit_buffer = before.edit_buffer;
    }
    EXPECT_EQ(store.pending_items, before.pending_items);
    EXPECT_EQ(store.completed_items, before.completed_items);
    EXPECT_EQ(store.edit_buffer, before.edit_buffer);
}

TEST_F(StoreTest, ReplaceGoesBackToTheListTheRecordCameFrom) {
    append_item(store, ListId::completed, record("Y", 2));
    append_item(store, ListId::completed, record("Z", 3));
    struct Case {
        ListId list;
        Names pending;
        Names completed;
    };
    const Case cases[] = {
        {ListId::completed, {"A", "B", "C"}, {"X", "Y", "edited"}},
        {ListId::pending, {"A", "B", "edited"}, {"X", "Y", "Z"}},
    };
    for (const Case& c : cases) {
        ItemStore s = store;
        copy_to_edit_buffer(s, c.list, 3);
        EXPECT_EQ(s.edit_buffer.position, 3);
        s.edit_buffer.name = "edited";
        s.edit_buffer.marker = -2;
        replace_item(s);
        EXPECT_EQ(names(s.pending_items), c.pending);
        EXPECT_EQ(names(s.completed_items), c.completed);
        EXPECT_EQ(s.list(c.list)[2].marker, -2);
    }
}

TEST_F(StoreTest, EditBufferPositionIsThePlaceInTheListNotTheRecordsOwn) {
    store.pending_items[1].position = 5;
    copy_to_edit_buffer(store, ListId::pending, 2);
    EXPECT_EQ(store.edit_buffer.position, 2);
    store.edit_buffer.name = "B2";
    replace_item(store);
    EXPECT_EQ(names(store.pending_items), (Names{"A", "B2", "C"}));
}

TEST_F(StoreTest, AnItemAddedAfterModifyingACompletedOneIsPending) {
    copy_to_edit_buffer(store, ListId::completed, 1);
    replace_item(store);
    // The edit window overwrites name, marker, due and note only, then appends.
    store.edit_buffer.name = "fresh";
    store.edit_buffer.marker = -2;
    append_item(store, ListId::pending, store.edit_buffer);
    EXPECT_EQ(names(store.pending_items), (Names{"A", "B", "C", "fresh"}));
    EXPECT_EQ(store.pending_items.back().completed, 0);
    EXPECT_EQ(names(store.completed_items), (Names{"X"}));
}

}  // namespace
}  // namespace velunor

// Helpers for the tests that prove a save never loses what data.db held: an independent reader of
// data.db, numbered stores, tmpfs mounts and the soak round count. Temporary directories and file
// bytes come from the data file tests' helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/item_store.h"
#include "store_test_support.h"

namespace velunor::test {

// One row of a table as data.db stores it.
struct Row {
    int64_t id = 0;
    std::string name;
    std::string time;
    std::string note;
    friend bool operator==(const Row&, const Row&) = default;
};

struct Content {
    std::vector<Row> pending;    // table 未完成 in ID order
    std::vector<Row> completed;  // table 已完成 in ID order
    friend bool operator==(const Content&, const Content&) = default;
};

// What data.db holds after the store was saved: each list in order, IDs counted from 1.
Content expected_content(const ItemStore& store);

// Reads data.db with SQLite directly, not through load_items: runs PRAGMA integrity_check and
// reads every row of both tables. nullopt, with the reason in `problem`, when the file does not
// open, fails the check or lacks a table.
std::optional<Content> read_content(const fs::path& database, std::string& problem);

// `count` items named "<prefix> <n>", alternately pending and completed, with notes of
// `note_size` bytes that differ from item to item.
ItemStore numbered_store(const std::string& prefix, int count, size_t note_size);

// How many rounds a repeated test runs: $VELUNOR_SOAK_ROUNDS when set (make soak sets it), else
// `quick_rounds` for the ordinary test run.
int soak_rounds(int quick_rounds);

// The seed of a randomised test: $VELUNOR_SOAK_SEED when set, so a failed run can be replayed;
// else a fresh one.
uint64_t soak_seed();

// A tmpfs mounted on a directory for the object's lifetime. Mounting needs root; mounted() is
// false, with the reason in error(), where this process may not mount. The mount is made in a
// mount namespace of the test process's own where possible, so that nothing outlives it even if
// the test crashes.
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& dir, size_t size_bytes);
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    ~TmpfsMount();
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    // Makes the file system read-only; false when that fails.
    bool remount_read_only();

  private:
    fs::path dir_;
    bool mounted_ = false;
    std::string error_;
};

// Fills the file system that holds `path` with a new file at `path` until no byte is left;
// returns the file's size. shrink_file then gives room back by truncating the file.
uintmax_t fill_file_system(const fs::path& path);
bool shrink_file(const fs::path& path, uintmax_t size);

}  // namespace velunor::test

// Saves onto a full file system (a small tmpfs): a save that runs out of room reports failure,
// leaves data.db as it was and nothing beside it; once there is room, the next save goes through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "durability_support.h"
#include "store/data_file.h"

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::Content;
using test::TempDir;
using test::TmpfsMount;

std::vector<std::string> entries(std::initializer_list<const char*> names) {
    return {names.begin(), names.end()};
}

// The run directory on a tmpfs of its own, inside a temporary directory.
struct SmallDisk {
    TempDir dir;
    fs::path run_dir = dir / "run";
    fs::path filler = run_dir / "filler";
    std::optional<TmpfsMount> mount;
    explicit SmallDisk(size_t size) {
        fs::create_directory(run_dir);
        mount.emplace(run_dir, size);
    }
};

TEST(FullDisk, AFailedSaveLeavesTheOldFileAndALaterSaveSucceeds) {
    SmallDisk disk(size_t{256} * 1024);
    if (!disk.mount->mounted()) {
        GTEST_SKIP() << "no small file system to fill: " << disk.mount->error();
    }
    ItemStore old_store = test::numbered_store("old", 20, 50);
    ASSERT_TRUE(save_items(old_store, disk.run_dir));
    const std::string old_bytes = test::read_bytes(disk.run_dir / "data.db");
    ASSERT_GT(test::fill_file_system(disk.filler), 0U);

    // As many items as before, so only the temporary file needs the room.
    ItemStore new_store = test::numbered_store("new", 20, 50);
    EXPECT_FALSE(save_items(new_store, disk.run_dir));
    EXPECT_EQ(test::read_bytes(disk.run_dir / "data.db"), old_bytes) << "data.db changed";
    EXPECT_EQ(test::directory_entries(disk.run_dir), entries({"data.db", "filler"}));
    ItemStore loaded;
    load_items(loaded, disk.run_dir);
    EXPECT_EQ(test::expected_content(loaded), test::expected_content(old_store));
    EXPECT_FALSE(loaded.keep_unreadable_file);

    fs::remove(disk.filler);
    EXPECT_TRUE(save_items(new_store, disk.run_dir));
    std::string problem;
    EXPECT_EQ(test::read_content(disk.run_dir / "data.db", problem),
              test::expected_content(new_store))
        << problem;
    EXPECT_EQ(test::directory_entries(disk.run_dir), entries({"data.db"}));
}

// The room runs out at a different point of the save in each round: before the file is
// created, among the first pages, near the end, or not at all.
TEST(FullDisk, ASaveWithAnyAmountOfRoomLeavesTheOldOrTheNewFile) {
    const int rounds = test::soak_rounds(5);
    const uint64_t seed = test::soak_seed();
    std::mt19937_64 random(seed);

    SmallDisk disk(size_t{2} * 1024 * 1024);
    if (!disk.mount->mounted()) {
        GTEST_SKIP() << "no small file system to fill: " << disk.mount->error();
    }
    ItemStore old_store = test::numbered_store("old", 300, 100);
    const ItemStore new_store = test::numbered_store("new", 3000, 150);
    const Content new_content = test::expected_content(new_store);
    ASSERT_TRUE(save_items(old_store, disk.run_dir));
    const std::string old_bytes = test::read_bytes(disk.run_dir / "data.db");

    // From no room at all to half as much again as the new file needs.
    uintmax_t new_size = 0;
    {
        const TempDir scratch;
        ItemStore copy = new_store;
        ASSERT_TRUE(save_items(copy, scratch.path()));
        new_size = fs::file_size(scratch / "data.db");
    }
    std::uniform_int_distribution<uintmax_t> room(0, new_size * 3 / 2);

    int failed = 0;
    int succeeded = 0;
    int losses = 0;
    for (int round = 1; round <= rounds; ++round) {
        fs::remove(disk.filler);
        for (const std::string& name : test::directory_entries(disk.run_dir)) {
            fs::remove(disk.run_dir / name);
        }
        ASSERT_TRUE(test::write_bytes(disk.run_dir / "data.db", old_bytes));
        const uintmax_t full = test::fill_file_system(disk.filler);
        const uintmax_t free_bytes = std::min(room(random), full);
        ASSERT_TRUE(test::shrink_file(disk.filler, full - free_bytes));

        ItemStore copy = new_store;
        const bool saved = save_items(copy, disk.run_dir);
        std::string problem;
        const std::optional<Content> content =
            test::read_content(disk.run_dir / "data.db", problem);
        if (saved && content == new_content) {
            ++succeeded;
        } else if (!saved && test::read_bytes(disk.run_dir / "data.db") == old_bytes) {
            ++failed;
        } else {
            ++losses;
            ADD_FAILURE() << "round " << round << " with " << free_bytes << " bytes free: save "
                          << (saved ? "succeeded" : "failed") << " but data.db holds "
                          << (content ? "other content" : problem);
        }
        EXPECT_EQ(test::directory_entries(disk.run_dir), entries({"data.db", "filler"}))
            << "round " << round << " with " << free_bytes << " bytes free";
    }

    std::printf(
        "full disk: %d rounds of a %ju-byte save with 0 to %ju bytes free (seed %llu): %d "
        "failed and kept the old file, %d succeeded; losses: %d\n",
        rounds, new_size, new_size * 3 / 2, static_cast<unsigned long long>(seed), failed,
        succeeded, losses);
    EXPECT_EQ(losses, 0);
}

}  // namespace
}  // namespace velunor

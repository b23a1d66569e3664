// A save killed at a random moment: data.db holds either everything it held before or
// everything the save wrote, never a mixture, a short file or a damaged one.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "durability_support.h"
#include "store/data_file.h"

namespace velunor {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::Content;
using test::TempDir;

constexpr int kNewItems = 20000;
constexpr int kOldItems = 12000;
constexpr size_t kNoteSize = 100;

// Starts a child that saves `store` into `dir` and exits 0 on success, 1 on failure.
pid_t start_save(const ItemStore& store, const fs::path& dir) {
    const pid_t pid = fork();
    if (pid == 0) {
        ItemStore copy = store;
        _exit(save_items(copy, dir) ? 0 : 1);
    }
    return pid;
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Puts the old file back and removes whatever a killed save left beside it.
void restore(const fs::path& dir, const std::string& old_bytes) {
    for (const std::string& name : test::directory_entries(dir)) {
        fs::remove(dir / name);
    }
    ASSERT_TRUE(test::write_bytes(dir / "data.db", old_bytes));
}

TEST(KilledMidSave, DataDbHoldsTheWholeOldOrTheWholeNewContent) {
    const int rounds = test::soak_rounds(5);
    const uint64_t seed = test::soak_seed();
    std::mt19937_64 random(seed);

    const TempDir dir;
    const ItemStore old_store = test::numbered_store("old", kOldItems, kNoteSize);
    const ItemStore new_store = test::numbered_store("new", kNewItems, kNoteSize);
    const Content old_content = test::expected_content(old_store);
    const Content new_content = test::expected_content(new_store);
    ASSERT_NE(old_content, new_content);

    ItemStore first = old_store;
    ASSERT_TRUE(save_items(first, dir.path()));
    const std::string old_bytes = test::read_bytes(dir / "data.db");
    std::string problem;
    ASSERT_EQ(test::read_content(dir / "data.db", problem), old_content) << problem;

    // How long a whole save takes, from fork to exit: the kills are spread over that span.
    std::vector<Clock::duration> durations;
    for (int i = 0; i < 3; ++i) {
        restore(dir.path(), old_bytes);
        const auto start = Clock::now();
        const int status = wait_for(start_save(new_store, dir.path()));
        durations.push_back(Clock::now() - start);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an uninterrupted save";
        ASSERT_EQ(test::read_content(dir / "data.db", problem), new_content) << problem;
        ASSERT_EQ(test::directory_entries(dir.path()), std::vector<std::string>{"data.db"});
    }
    std::sort(durations.begin(), durations.end());
    const auto save_time = std::chrono::duration_cast<std::chrono::microseconds>(durations[1]);
    // Every other kill falls anywhere in the save, the rest around its end, where the finished
    // file is flushed and put in place of the old one.
    std::uniform_int_distribution<int64_t> anywhere_us(0, save_time.count());
    std::uniform_int_distribution<int64_t> near_end_us(save_time.count() * 7 / 10,
                                                       save_time.count());

    int killed = 0;
    int finished = 0;
    int held_old = 0;
    int held_new = 0;
    int losses = 0;
    for (int round = 1; round <= rounds; ++round) {
        restore(dir.path(), old_bytes);
        const auto delay =
            std::chrono::microseconds(round % 2 == 1 ? anywhere_us(random) : near_end_us(random));
        const pid_t pid = start_save(new_store, dir.path());
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        const int status = wait_for(pid);
        const bool was_killed = WIFSIGNALED(status);
        killed += was_killed ? 1 : 0;
        finished += was_killed ? 0 : 1;
        if (!was_killed) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "round " << round << ": the save failed";
        }

        const std::optional<Content> content = test::read_content(dir / "data.db", problem);
        if (content == old_content) {
            ++held_old;
        } else if (content == new_content) {
            ++held_new;
        } else {
            ++losses;
            ADD_FAILURE() << "round " << round << ", killed after " << delay.count()
                          << " us: data.db holds neither content"
                          << (content ? "" : " (" + problem + ")");
        }
        // Beside data.db, at most the killed save's own unfinished file.
        const std::vector<std::string> entries = test::directory_entries(dir.path());
        const auto others = std::count_if(entries.begin(), entries.end(), [](const auto& name) {
            return name != "data.db" && !name.starts_with("data.db.saving-");
        });
        EXPECT_EQ(others, 0) << "round " << round << ": stray files beside data.db";
        EXPECT_LE(entries.size(), was_killed ? 2U : 1U) << "round " << round;
    }

    std::printf(
        "killed mid-save: %d rounds of %d items over %d (a whole save takes %lld ms, seed %llu): "
        "%d killed before the save ended, %d finished first; data.db held the old content %d "
        "times, the "
        "new %d times; losses: %d\n",
        rounds, kNewItems, kOldItems, static_cast<long long>(save_time.count() / 1000),
        static_cast<unsigned long long>(seed), killed, finished, held_old, held_new, losses);
    EXPECT_EQ(losses, 0);
    EXPECT_EQ(held_old + held_new, rounds);
}

}  // namespace
}  // namespace velunor

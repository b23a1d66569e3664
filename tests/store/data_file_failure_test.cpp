// Saves that fail or are cut short must leave the old data.db as it was.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "store/data_file.h"
#include "store_test_support.h"

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::item;
using test::read_bytes;
using test::TempDir;

ItemStore small_store() {
    ItemStore store;
    append_item(store, ListId::pending, item("old 1", make_datetime(2024, 5, 1, 14, 30, 0), "a"));
    append_item(store, ListId::pending, item("old 2", make_datetime(2024, 6, 1, 0, 0, 0), ""));
    append_item(store, ListId::completed, item("old 3", make_datetime(2023, 1, 1, 8, 0, 0), "c"));
    return store;
}

ItemStore big_store(int count, size_t note_size) {
    ItemStore store;
    for (int i = 0; i < count; ++i) {
        append_item(store, i % 2 == 0 ? ListId::pending : ListId::completed,
                    item("item " + std::to_string(i), make_datetime(2030, 1, 1, 0, 0, i % 60),
                         std::string(note_size, static_cast<char>('a' + i % 26))));
    }
    return store;
}

std::vector<std::string> names(const ItemList& list) {
    std::vector<std::string> out;
    for (const ItemRecord& r : list) {
        out.push_back(r.name);
    }
    return out;
}

// A directory holding data.db as saved from small_store().
struct OldFile {
    TempDir dir;
    std::string bytes;
    OldFile() {
        ItemStore store = small_store();
        EXPECT_TRUE(save_items(store, dir.path()));
        bytes = read_bytes(dir / "data.db");
    }
    void expect_intact() const {
        EXPECT_EQ(read_bytes(dir / "data.db"), bytes) << "data.db changed";
        ItemStore loaded;
        load_items(loaded, dir.path());
        EXPECT_EQ(names(loaded.pending_items), (std::vector<std::string>{"old 1", "old 2"}));
        EXPECT_EQ(names(loaded.completed_items), (std::vector<std::string>{"old 3"}));
    }
};

// Runs body in a child process and gives back its exit status, or -1 when it did not exit.
template <typename Body>
int run_in_child(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DataFileFailure, ARunDirectoryUnderARegularFileSavesNothing) {
    const TempDir dir;
    test::write_bytes(dir / "file", "x");
    ItemStore store = small_store();
    EXPECT_FALSE(save_items(store, dir / "file" / "sub"));
    EXPECT_FALSE(save_items(store, dir / "missing"));
    EXPECT_EQ(test::directory_entries(dir.path()), std::vector<std::string>{"file"});
}

// Root writes anywhere, so the save runs as the unprivileged user "nobody" in a child process.
TEST(DataFileFailure, ASaveIntoAReadOnlyDirectoryLeavesTheOldFile) {
    const OldFile old;
    fs::permissions(old.dir.path(), fs::perms(0555));
    const int status = run_in_child([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 2;
        }
        if (access(old.dir.path().c_str(), W_OK) == 0) {
            return 3;
        }
        ItemStore store = big_store(10, 10);
        return save_items(store, old.dir.path()) ? 1 : 0;
    });
    fs::permissions(old.dir.path(), fs::perms(0700));
    if (status == 2 || status == 3) {
        GTEST_SKIP() << "cannot make a directory that this process cannot write";
    }
    EXPECT_EQ(status, 0) << "save reported success";
    old.expect_intact();
    EXPECT_EQ(test::directory_entries(old.dir.path()), std::vector<std::string>{"data.db"});
}

// A full disk, stood in for by a file size limit: the save fails, the temporary file goes.
TEST(DataFileFailure, ASaveThatRunsOutOfSpaceLeavesTheOldFile) {
    const OldFile old;
    const ItemStore store = big_store(2000, 1000);
    const int status = run_in_child([&] {
        if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) {
            return 2;
        }
        constexpr rlim_t kLimit = rlim_t{256} * 1024;
        const rlimit limit{kLimit, kLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 2;
        }
        ItemStore copy = store;
        return save_items(copy, old.dir.path()) ? 1 : 0;
    });
    ASSERT_NE(status, 2) << "could not limit the file size";
    EXPECT_EQ(status, 0) << "save reported success";
    old.expect_intact();
    EXPECT_EQ(test::directory_entries(old.dir.path()), std::vector<std::string>{"data.db"});
}

// The saving process is killed while it writes: data.db is still the old file, byte for byte,
// and the next save clears away what the killed one left.
TEST(DataFileFailure, ASaveKilledMidWriteLeavesTheOldFile) {
    const OldFile old;
    ItemStore store = big_store(40000, 2000);
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(save_items(store, old.dir.path()) ? 0 : 1);
    }

    // Wait until the new file has grown to a few megabytes of its ~80, then kill the child.
    bool caught_mid_write = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!caught_mid_write && std::chrono::steady_clock::now() < deadline) {
        for (const std::string& name : test::directory_entries(old.dir.path())) {
            std::error_code ec;
            if (name.starts_with("data.db.saving-") &&
                fs::file_size(old.dir / name, ec) > uintmax_t{4} * 1024 * 1024) {
                caught_mid_write = true;
            }
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(caught_mid_write) << "the save ended before it could be interrupted";
    ASSERT_TRUE(WIFSIGNALED(status));

    old.expect_intact();
    EXPECT_EQ(test::directory_entries(old.dir.path()).size(), 2U) << "the unfinished file";

    ItemStore next = small_store();
    ASSERT_TRUE(save_items(next, old.dir.path()));
    EXPECT_EQ(test::directory_entries(old.dir.path()), std::vector<std::string>{"data.db"});
}

// Another writer stopped in the middle of a transaction and left a hot journal. Loading reads
// the last committed state without touching data.db; the next save drops the journal, which
// would otherwise be applied to the new file.
TEST(DataFileFailure, AFileWithAHotJournalLoadsItsCommittedRows) {
    const OldFile old;
    const fs::path db_path = old.dir / "data.db";
    const int status = run_in_child([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open(db_path.c_str(), &db) != SQLITE_OK) {
            return 2;
        }
        const char* sql =
            "PRAGMA cache_size=1; BEGIN; DELETE FROM 未完成;"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
            "INSERT INTO 已完成 (名称, time, 备注) SELECT 'uncommitted', '', "
            "printf('%.*c', 500, 'z') FROM n;";
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return 3;
        }
        return 0;  // exits with the transaction open
    });
    ASSERT_EQ(status, 0);
    const fs::path journal = old.dir / "data.db-journal";
    ASSERT_TRUE(fs::exists(journal));
    const std::string changed = read_bytes(db_path);
    const std::string journal_bytes = read_bytes(journal);
    ASSERT_NE(changed, old.bytes);

    ItemStore loaded;
    load_items(loaded, old.dir.path());
    EXPECT_EQ(names(loaded.pending_items), (std::vector<std::string>{"old 1", "old 2"}));
    EXPECT_EQ(names(loaded.completed_items), (std::vector<std::string>{"old 3"}));
    EXPECT_FALSE(loaded.keep_unreadable_file);
    EXPECT_EQ(read_bytes(db_path), changed);
    EXPECT_EQ(read_bytes(journal), journal_bytes);

    append_item(loaded, ListId::pending, item("new", make_datetime(2030, 1, 1, 0, 0, 0), ""));
    ASSERT_TRUE(save_items(loaded, old.dir.path()));
    EXPECT_FALSE(fs::exists(journal));
    ItemStore reloaded;
    load_items(reloaded, old.dir.path());
    EXPECT_EQ(names(reloaded.pending_items), (std::vector<std::string>{"old 1", "old 2", "new"}));
    EXPECT_EQ(names(reloaded.completed_items), (std::vector<std::string>{"old 3"}));
}

// A WAL-mode file whose writer stopped before a checkpoint: its newest rows are in data.db-wal.
// Loading reads them; the save drops the WAL files, which SQLite would otherwise lay over the
// new file.
TEST(DataFileFailure, AFileWithUncheckpointedWalRowsLoadsThem) {
    const OldFile old;
    const fs::path db_path = old.dir / "data.db";
    const int status = run_in_child([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open(db_path.c_str(), &db) != SQLITE_OK) {
            return 2;
        }
        const char* sql =
            "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
            "INSERT INTO 未完成 (名称, time, 备注) VALUES ('in the wal', '2024/5/1', '');";
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return 3;
        }
        return 0;  // exits without closing, so no checkpoint runs
    });
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(fs::exists(old.dir / "data.db-wal"));

    ItemStore loaded;
    load_items(loaded, old.dir.path());
    EXPECT_EQ(names(loaded.pending_items),
              (std::vector<std::string>{"old 1", "old 2", "in the wal"}));
    EXPECT_FALSE(loaded.keep_unreadable_file);

    ASSERT_TRUE(save_items(loaded, old.dir.path()));
    EXPECT_EQ(test::directory_entries(old.dir.path()), std::vector<std::string>{"data.db"});
    ItemStore reloaded;
    load_items(reloaded, old.dir.path());
    EXPECT_EQ(names(reloaded.pending_items), names(loaded.pending_items));
}

// The journal of an unreadable file stays with it, under the kept file's name.
TEST(DataFileFailure, AnUnreadableFileKeepsItsJournal) {
    const TempDir dir;
    test::write_bytes(dir / "data.db", "not a database");
    test::write_bytes(dir / "data.db-journal", "its journal");
    ItemStore store;
    load_items(store, dir.path());
    ASSERT_TRUE(store.keep_unreadable_file);
    ASSERT_TRUE(save_items(store, dir.path()));

    const std::vector<std::string> entries = test::directory_entries(dir.path());
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_EQ(entries[0], "data.db");
    const std::string& kept = entries[1];
    EXPECT_TRUE(kept.starts_with("data.db.unreadable-"));
    EXPECT_EQ(entries[2], kept + "-journal");
    EXPECT_EQ(read_bytes(dir / kept), "not a database");
    EXPECT_EQ(read_bytes(dir / (kept + "-journal")), "its journal");
}

// Another program holds a write lock for a moment: load waits for it instead of taking the
// file for an unreadable one.
TEST(DataFileFailure, ABrieflyLockedFileLoadsOnceTheLockGoes) {
    const OldFile old;
    const fs::path db_path = old.dir / "data.db";
    std::array<int, 2> ready{};
    ASSERT_EQ(pipe(ready.data()), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        const bool locked =
            sqlite3_open(db_path.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
        const char byte = locked ? '1' : '0';
        if (write(ready[1], &byte, 1) != 1 || !locked) {
            _exit(2);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        _exit(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : 3);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ASSERT_EQ(byte, '1');

    ItemStore loaded;
    load_items(loaded, old.dir.path());
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(names(loaded.pending_items), (std::vector<std::string>{"old 1", "old 2"}));
    EXPECT_FALSE(loaded.keep_unreadable_file);
}

}  // namespace
}  // namespace velunor

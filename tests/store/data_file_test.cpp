// Round trips, the saved file as another reader sees it, and files written elsewhere.
#include "store/data_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "store_test_support.h"

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::item;
using test::read_bytes;
using test::run_sqlite3;
using test::TempDir;
using test::write_bytes;

#define REQUIRE_SQLITE3_PROGRAM()                                            \
    if (!test::have_sqlite3_program()) {                                     \
        GTEST_SKIP() << "the sqlite3 command-line program is not installed"; \
    }

// Writes a database with the sqlite3 program; the test fails when the program does.
void make_database(const fs::path& path, const std::string& sql) {
    const test::CliResult result = run_sqlite3(path, sql);
    ASSERT_EQ(result.status, 0) << result.output;
}

std::vector<std::string> names(const ItemList& list) {
    std::vector<std::string> out;
    for (const ItemRecord& r : list) {
        out.push_back(r.name);
    }
    return out;
}

// Files that are made only of the kept copies of an unreadable data.db.
std::vector<fs::path> kept_files(const fs::path& dir) {
    static const std::regex pattern(R"(data\.db\.unreadable-\d{8}-\d{6}(-\d+)?)");
    std::vector<fs::path> kept;
    for (const std::string& name : test::directory_entries(dir)) {
        if (std::regex_match(name, pattern)) {
            kept.push_back(dir / name);
        }
    }
    return kept;
}

ItemStore sample_store() {
    ItemStore store;
    append_item(store, ListId::pending,
                item("会议", make_datetime(2024, 5, 1, 14, 30, 0), "带上资料"));
    append_item(store, ListId::pending,
                item("生日 \xF0\x9F\x8E\x82", make_datetime(2100, 1, 1, 0, 0, 5),
                     "emoji \xF0\x9F\x8E\x89 in the note"));
    append_item(store, ListId::pending, item("", kMissingDateTime, ""));
    append_item(store, ListId::completed,
                item("done", make_datetime(2023, 12, 31, 23, 59, 59), "x"));
    append_item(store, ListId::completed, item("before 1900", -1.25, "it's \"quoted\""));
    return store;
}

TEST(DataFile, BothListsComeBackAsTheyWereSaved) {
    const TempDir dir;
    ItemStore saved = sample_store();
    ASSERT_TRUE(save_items(saved, dir.path()));

    ItemStore loaded;
    load_items(loaded, dir.path());
    EXPECT_FALSE(loaded.keep_unreadable_file);
    for (const ListId list : {ListId::pending, ListId::completed}) {
        const ItemList& before = saved.list(list);
        const ItemList& after = loaded.list(list);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            SCOPED_TRACE(before[i].name);
            EXPECT_EQ(after[i].name, before[i].name);
            EXPECT_EQ(after[i].due, before[i].due);
            EXPECT_EQ(after[i].note, before[i].note);
            EXPECT_EQ(after[i].id, static_cast<int32_t>(i + 1));
            EXPECT_EQ(after[i].position, static_cast<int32_t>(i + 1));
            EXPECT_EQ(after[i].marker, 0);
            EXPECT_EQ(after[i].completed, list == ListId::completed ? 1 : 0);
        }
    }
    EXPECT_EQ(test::directory_entries(dir.path()), std::vector<std::string>{"data.db"});
}

TEST(DataFile, EmptyListsGiveEmptyTables) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    ItemStore empty;
    ASSERT_TRUE(save_items(empty, dir.path()));
    // Six pages of 1024 bytes, like the empty database the file format starts from.
    EXPECT_EQ(fs::file_size(dir / "data.db"), 6144U);
    const test::CliResult counts =
        run_sqlite3(dir / "data.db", "SELECT count(*) FROM 未完成; SELECT count(*) FROM 已完成;");
    EXPECT_EQ(counts.output, "0\n0\n");

    ItemStore loaded;
    load_items(loaded, dir.path());
    EXPECT_TRUE(loaded.pending_items.empty());
    EXPECT_TRUE(loaded.completed_items.empty());
    EXPECT_FALSE(loaded.keep_unreadable_file);
}

// Another reader sees the schema text, the page layout, the page size, the encoding and IDs
// 1, 2, 3... in list order; empty texts are stored as texts, not NULL.
TEST(DataFile, TheSqlite3ProgramReadsTheSavedFile) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    ItemStore store;
    append_item(store, ListId::pending, item("A", make_datetime(2024, 5, 1, 14, 30, 0), "a"));
    append_item(store, ListId::pending, item("B", make_datetime(2024, 5, 1, 14, 0, 0), ""));
    append_item(store, ListId::pending, item("C", make_datetime(2024, 5, 1, 0, 0, 0), "c"));
    append_item(store, ListId::completed, item("D", make_datetime(2024, 5, 1, 0, 0, 5), "d"));
    ASSERT_TRUE(save_items(store, dir.path()));

    const test::CliResult result =
        run_sqlite3(dir / "data.db",
                    "SELECT type, name, rootpage FROM sqlite_master "
                    "ORDER BY rootpage;\n"
                    "SELECT sql FROM sqlite_master WHERE type='table' "
                    "AND name<>'sqlite_sequence' ORDER BY rootpage;\n"
                    "PRAGMA page_size;\n"
                    "PRAGMA encoding;\n"
                    "PRAGMA journal_mode;\n"
                    "PRAGMA integrity_check;\n"
                    "SELECT ID, 名称, time, 备注, typeof(备注) FROM 未完成 "
                    "ORDER BY _ROWID_;\n"
                    "SELECT ID, 名称, time, 备注 FROM 已完成;\n");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output,
              "table|未完成|2\n"
              "index|sqlite_autoindex_未完成_1|3\n"
              "table|sqlite_sequence|4\n"
              "table|已完成|5\n"
              "index|sqlite_autoindex_已完成_1|6\n"
              "CREATE TABLE [未完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
              "[time] DATETIME, [备注] TEXT)\n"
              "CREATE TABLE [已完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
              "[time] DATETIME, [备注] TEXT)\n"
              "1024\n"
              "UTF-8\n"
              "delete\n"
              "ok\n"
              "1|A|2024年5月1日14时30分|a|text\n"
              "2|B|2024年5月1日14时||text\n"
              "3|C|2024年5月1日|c|text\n"
              "1|D|2024年5月1日0时0分5秒|d\n");
}

// A file written elsewhere: NULLs, numbers, blobs, unparsable times, full-width digits,
// malformed and four-byte UTF-8, NUL bytes and rowids out of insertion order.
TEST(DataFile, AFileWrittenBySqlite3WithMixedRowsLoads) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    make_database(dir / "data.db",
                  std::string(test::kCreateTables) +
                      "INSERT INTO 未完成 VALUES (5, 'late', '2024年5月1日14时30分', NULL);\n"
                      "INSERT INTO 未完成 VALUES (2, 'early', '２０２４／５／１　８：０５', 'n');\n"
                      "INSERT INTO 未完成 VALUES (9, NULL, 'not a time', X'626C6F62');\n"
                      "INSERT INTO 未完成 VALUES (7, 42, 3.5, 'numbers');\n"
                      "INSERT INTO 未完成 VALUES (8, CAST(X'C0AF' AS TEXT), '2024-05-01 14:30:00',"
                      " CAST(X'F09F8E82' AS TEXT));\n"
                      "INSERT INTO 未完成 VALUES (11, CAST(X'EDA080' AS TEXT), '2024/5/1',"
                      " CAST(X'61006263' AS TEXT));\n"
                      "INSERT INTO 已完成 VALUES (3, 'bad date', '2023年2月29日', '');\n"
                      "INSERT INTO 已完成 VALUES (1, 'cut', '2024年5月1日14时30分5X',"
                      " CAST(X'E5B9' AS TEXT));\n");
    ItemStore store;
    load_items(store, dir.path());
    EXPECT_FALSE(store.keep_unreadable_file);

    struct Expected {
        int32_t id;
        std::string name;
        DateTime due;
        std::string note;
    };
    const Expected pending[] = {
        {2, "early", make_datetime(2024, 5, 1, 8, 5, 0), "n"},
        {5, "late", make_datetime(2024, 5, 1, 14, 30, 0), ""},
        {7, "42", kMissingDateTime, "numbers"},
        {8, "", make_datetime(2024, 5, 1, 14, 30, 0), "\xF0\x9F\x8E\x82"},
        {9, "", kMissingDateTime, "blob"},
        {11, "", make_datetime(2024, 5, 1, 0, 0, 0), "a"},
    };
    const Expected completed[] = {
        {1, "cut", kMissingDateTime, ""},
        {3, "bad date", kMissingDateTime, ""},
    };
    const auto check = [](const ItemList& list, const auto& expected, int32_t completed_flag) {
        ASSERT_EQ(list.size(), std::size(expected));
        for (size_t i = 0; i < list.size(); ++i) {
            SCOPED_TRACE(expected[i].id);
            EXPECT_EQ(list[i].id, expected[i].id);
            EXPECT_EQ(list[i].position, static_cast<int32_t>(i + 1));
            EXPECT_EQ(list[i].name, expected[i].name);
            EXPECT_EQ(list[i].due, expected[i].due);
            EXPECT_EQ(list[i].note, expected[i].note);
            EXPECT_EQ(list[i].completed, completed_flag);
        }
    };
    check(store.pending_items, pending, 0);
    check(store.completed_items, completed, 1);
}

TEST(DataFile, TablesWithFewerOrMoreColumnsLoadWhatTheyHold) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    make_database(dir / "data.db",
                  "CREATE TABLE 未完成 (ID INTEGER PRIMARY KEY, 名称 TEXT);\n"
                  "INSERT INTO 未完成 VALUES (1, 'two columns');\n"
                  "CREATE TABLE 已完成 (ID INTEGER PRIMARY KEY, 名称, time, 备注, extra, more);\n"
                  "INSERT INTO 已完成 VALUES (4, 'six', '2024/5/1', 'note', 'x', 'y');\n");
    ItemStore store;
    load_items(store, dir.path());
    ASSERT_EQ(store.pending_items.size(), 1U);
    EXPECT_EQ(store.pending_items[0].name, "two columns");
    EXPECT_EQ(store.pending_items[0].due, kMissingDateTime);
    EXPECT_EQ(store.pending_items[0].note, "");
    ASSERT_EQ(store.completed_items.size(), 1U);
    EXPECT_EQ(store.completed_items[0].id, 4);
    EXPECT_EQ(store.completed_items[0].note, "note");
    EXPECT_FALSE(store.keep_unreadable_file);
}

TEST(DataFile, LoadingAMissingFileCreatesNothing) {
    const TempDir dir;
    ItemStore store;
    store.keep_unreadable_file = true;
    load_items(store, dir.path());
    EXPECT_TRUE(store.pending_items.empty());
    EXPECT_FALSE(store.keep_unreadable_file);
    EXPECT_TRUE(test::directory_entries(dir.path()).empty());

    load_items(store, dir / "no such directory");
    EXPECT_TRUE(store.pending_items.empty());
}

// A data.db that cannot be read as the expected database loads what it can, is left as it is,
// and is kept under another name by the next save, which writes the lists beside it.
TEST(DataFile, AnUnreadableFileIsKeptByTheNextSave) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir source;
    make_database(source / "good.db",
                  std::string("PRAGMA page_size=1024;\n") + test::kCreateTables +
                      "INSERT INTO 未完成 (名称) SELECT 'row ' || value FROM generate_series(1, "
                      "200);\n");
    make_database(source / "one-table.db",
                  "CREATE TABLE 未完成 (ID INTEGER PRIMARY KEY, 名称, time, 备注);\n"
                  "INSERT INTO 未完成 VALUES (1, 'only', '', '');\n");
    const std::string good = read_bytes(source / "good.db");
    std::string damaged = good;
    for (size_t i = 1024; i < 2048; ++i) {
        damaged[i] = static_cast<char>(0xA5);  // page 2: the root of 未完成
    }

    struct Case {
        const char* what;
        std::string bytes;
        size_t readable_pending;
    };
    const Case cases[] = {
        {"not a database", "this is a note, not a database\n", 0},
        {"empty", "", 0},
        {"truncated header", good.substr(0, 60), 0},
        {"truncated", good.substr(0, 3000), 0},
        {"damaged page", damaged, 0},
        {"a table missing", read_bytes(source / "one-table.db"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        write_bytes(dir / "data.db", c.bytes);

        ItemStore store;
        load_items(store, dir.path());
        EXPECT_TRUE(store.keep_unreadable_file);
        EXPECT_EQ(store.pending_items.size(), c.readable_pending);
        EXPECT_EQ(read_bytes(dir / "data.db"), c.bytes) << "load changed the file";

        append_item(store, ListId::pending, item("new", make_datetime(2030, 1, 1, 0, 0, 0), ""));
        ASSERT_TRUE(save_items(store, dir.path()));
        EXPECT_FALSE(store.keep_unreadable_file);
        const std::vector<fs::path> kept = kept_files(dir.path());
        ASSERT_EQ(kept.size(), 1U);
        EXPECT_EQ(read_bytes(kept[0]), c.bytes);

        ItemStore reloaded;
        load_items(reloaded, dir.path());
        EXPECT_FALSE(reloaded.keep_unreadable_file);
        EXPECT_EQ(reloaded.pending_items.size(), c.readable_pending + 1);

        // The next save has nothing more to keep.
        ASSERT_TRUE(save_items(reloaded, dir.path()));
        EXPECT_EQ(kept_files(dir.path()).size(), 1U);
    }
}

TEST(DataFile, AKeptFileNeverReplacesAnEarlierOne) {
    const TempDir dir;
    for (int round = 0; round < 3; ++round) {
        const std::string junk = "junk " + std::to_string(round);
        write_bytes(dir / "data.db", junk);
        ItemStore store;
        load_items(store, dir.path());
        ASSERT_TRUE(save_items(store, dir.path()));
    }
    const std::vector<fs::path> kept = kept_files(dir.path());
    ASSERT_EQ(kept.size(), 3U);
    std::vector<std::string> contents;
    contents.reserve(kept.size());
    for (const fs::path& path : kept) {
        contents.push_back(read_bytes(path));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"junk 0", "junk 1", "junk 2"}));
}

// Views and triggers are off while loading: a view in place of a table could run forever.
TEST(DataFile, ACraftedViewDoesNotRun) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    make_database(dir / "data.db",
                  "CREATE VIEW 未完成 AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                  "FROM c) SELECT x, x, x, x FROM c;\n"
                  "CREATE TABLE 已完成 (ID INTEGER PRIMARY KEY, 名称, time, 备注);\n"
                  "INSERT INTO 已完成 VALUES (1, 'kept', '', '');\n");
    ItemStore store;
    load_items(store, dir.path());
    EXPECT_TRUE(store.pending_items.empty());
    EXPECT_EQ(names(store.completed_items), std::vector<std::string>{"kept"});
    EXPECT_TRUE(store.keep_unreadable_file);
}

TEST(DataFile, LargeFilesLoadInFull) {
    REQUIRE_SQLITE3_PROGRAM();
    const TempDir dir;
    make_database(dir / "data.db",
                  std::string(test::kCreateTables) +
                      "INSERT INTO 未完成 (名称, time, 备注) SELECT 'item ' || value, "
                      "'2024年5月1日14时30分', '' FROM generate_series(1, 100000);\n"
                      "INSERT INTO 已完成 (名称, time, 备注) VALUES "
                      "(printf('%.*c', 1000000, 'x'), '', printf('%.*c', 1000000, 'y'));\n");
    ItemStore store;
    load_items(store, dir.path());
    ASSERT_EQ(store.pending_items.size(), 100000U);
    EXPECT_EQ(store.pending_items.back().name, "item 100000");
    EXPECT_EQ(store.pending_items.back().position, 100000);
    ASSERT_EQ(store.completed_items.size(), 1U);
    EXPECT_EQ(store.completed_items[0].name, std::string(1000000, 'x'));
    EXPECT_EQ(store.completed_items[0].note, std::string(1000000, 'y'));

    ASSERT_TRUE(save_items(store, dir.path()));
    ItemStore again;
    load_items(again, dir.path());
    EXPECT_EQ(again.pending_items.size(), 100000U);
    EXPECT_EQ(again.completed_items[0].name.size(), 1000000U);
}

}  // namespace
}  // namespace velunor

// Save and load of 10,000 pending plus 10,000 completed items, and in the same run the
// baselines: the same 20,000 rows inserted through the raw SQLite C API into a fresh file in one
// transaction (SQLite's default journal and sync settings), and read back with one query per
// table. Prints medians and ratios against the targets: save <= 1.5x the insert baseline, load
// <= 50 ms.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/common/result.h"
#include "common/datetime.h"
#include "store/data_file.h"
#include "store/item_store.h"

namespace {

namespace fs = std::filesystem;
using velunor::ItemStore;
using velunor::ListId;

constexpr int kItemsPerList = 10000;
constexpr int kRuns = 15;

const char* const kCreatePending =
    "CREATE TABLE [未完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT)";
const char* const kCreateCompleted =
    "CREATE TABLE [已完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT)";

ItemStore make_store() {
    ItemStore store;
    for (int i = 0; i < 2 * kItemsPerList; ++i) {
        velunor::ItemRecord r;
        r.name = "项目 " + std::to_string(i) + " 期末考试";
        r.note = "备注：带上资料和笔记本，第 " + std::to_string(i % 97) + " 教室";
        r.due = velunor::make_datetime(2024 + i % 30, 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                                       (i * 7) % 60);
        velunor::append_item(store, i < kItemsPerList ? ListId::pending : ListId::completed, r);
    }
    return store;
}

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed");
    }
}

// Median wall time in milliseconds of kRuns runs of `run`; `prepare` runs untimed before each.
double median_ms(const std::function<void()>& prepare, const std::function<void()>& run) {
    std::vector<double> samples;
    samples.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[kRuns / 2];
}

// The baseline save: a fresh file, the two tables, every row in one transaction.
void raw_insert(const fs::path& path, const ItemStore& store) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "baseline open");
    check(sqlite3_exec(db, "PRAGMA page_size=1024", nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, kCreatePending, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, kCreateCompleted, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK,
          "baseline schema");
    const std::pair<const char*, const velunor::ItemList*> tables[] = {
        {"INSERT INTO 未完成 (名称,time,备注) VALUES (?,?,?)", &store.pending_items},
        {"INSERT INTO 已完成 (名称,time,备注) VALUES (?,?,?)", &store.completed_items},
    };
    for (const auto& [sql, items] : tables) {
        sqlite3_stmt* stmt = nullptr;
        check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK, "baseline prepare");
        for (const velunor::ItemRecord& r : *items) {
            const std::string due = velunor::datetime_to_text(r.due);
            sqlite3_bind_text(stmt, 1, r.name.c_str(), static_cast<int>(r.name.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(stmt, 2, due.c_str(), static_cast<int>(due.size()), SQLITE_STATIC);
            sqlite3_bind_text(stmt, 3, r.note.c_str(), static_cast<int>(r.note.size()),
                              SQLITE_STATIC);
            check(sqlite3_step(stmt) == SQLITE_DONE, "baseline insert");
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
    }
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK, "baseline commit");
    check(sqlite3_close(db) == SQLITE_OK, "baseline close");
}

// The baseline load: every cell of both tables as text.
size_t raw_read(const fs::path& path) {
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK,
          "baseline open");
    std::vector<std::string> cells;
    for (const char* sql :
         {"SELECT * FROM 未完成 ORDER BY _ROWID_ ", "SELECT * FROM 已完成 ORDER BY _ROWID_ "}) {
        sqlite3_stmt* stmt = nullptr;
        check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK, "baseline query");
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < 4; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                cells.emplace_back(text != nullptr ? text : "");
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return cells.size();
}

int run() {
    std::string pattern = (fs::temp_directory_path() / "velunor-bench-XXXXXX").string();
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    const fs::path dir = pattern;
    const fs::path baseline_file = dir / "baseline.db";
    ItemStore store = make_store();

    const double save = median_ms([] {}, [&] { check(velunor::save_items(store, dir), "save"); });
    const double insert =
        median_ms([&] { fs::remove(baseline_file); }, [&] { raw_insert(baseline_file, store); });
    size_t loaded = 0;
    const double load = median_ms([] {},
                                  [&] {
                                      ItemStore fresh;
                                      velunor::load_items(fresh, dir);
                                      loaded =
                                          fresh.pending_items.size() + fresh.completed_items.size();
                                  });
    check(loaded == 2 * static_cast<size_t>(kItemsPerList), "load count");
    const double read = median_ms([] {}, [&] { check(raw_read(dir / "data.db") > 0, "read"); });
    const auto file_kb = static_cast<double>(fs::file_size(dir / "data.db")) / 1024.0;
    fs::remove_all(dir);

    std::printf("%d pending + %d completed items (data.db %.0f KiB), median of %d runs\n",
                kItemsPerList, kItemsPerList, file_kb, kRuns);
    std::printf("%-6s %10s %-42s %10s %8s  %s\n", "", "ms", "baseline", "ms", "ratio", "target");
    std::printf("%-6s %10.1f %-42s %10.1f %7.2fx  %s\n", "save", save,
                "raw SQLite insert, one transaction", insert, save / insert,
                save <= 1.5 * insert ? "<= 1.5x: met" : "<= 1.5x: MISSED");
    std::printf("%-6s %10.1f %-42s %10.1f %7.2fx  %s\n", "load", load,
                "raw SQLite read of the same cells", read, load / read,
                load <= 50.0 ? "<= 50 ms: met" : "<= 50 ms: MISSED");

    using velunor::bench::Figure;
    using velunor::bench::verdict;
    print_result(Figure{"save 20,000 items", save, "ms", "raw SQLite insert, one transaction",
                        insert, "<= 1.5x baseline", verdict(save <= 1.5 * insert)});
    print_result(Figure{"load 20,000 items", load, "ms", "raw SQLite read of the same cells", read,
                        "<= 50 ms", verdict(load <= 50.0)});
    return 0;
}
}  // namespace

int main() {
    try {
        return run();
    } catch (const std::exception& e) {
        (void)std::fprintf(stderr, "bench_store: %s\n", e.what());
        return 1;
    }
}

#include "store/data_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "common/datetime.h"
#include "common/text.h"

namespace velunor {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileName = "data.db";
// Prefix of the file a save writes before it becomes data.db.
constexpr std::string_view kTempPrefix = "data.db.saving-";
// Files SQLite keeps beside a database; they belong to the file they were made for.
constexpr std::array<const char*, 3> kSideFileSuffixes = {"-journal", "-wal", "-shm"};

struct Table {
    const char* create;
    const char* select;
    const char* insert;
};

constexpr Table kPendingTable = {
    "CREATE TABLE [未完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT)",
    "SELECT * FROM 未完成 ORDER BY _ROWID_ ",
    "INSERT INTO 未完成 (名称,time,备注) VALUES (?,?,?)",
};

constexpr Table kCompletedTable = {
    "CREATE TABLE [已完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT)",
    "SELECT * FROM 已完成 ORDER BY _ROWID_ ",
    "INSERT INTO 已完成 (名称,time,备注) VALUES (?,?,?)",
};

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DbCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Opens a connection hardened against a crafted file: no writes to the schema through odd
// paths, no functions with side effects run from the schema, no views or triggers.
Database open_database(const fs::path& path, int flags) {
    sqlite3* raw = nullptr;
    // Each connection lives inside one call on one thread: SQLite's own locking is not needed.
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
        return nullptr;
    }
    sqlite3_extended_result_codes(db.get(), 1);
    // Another program that is writing to the file briefly holds a lock: wait for it rather than
    // take a busy file for an unreadable one.
    sqlite3_busy_timeout(db.get(), 2000);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
#ifdef SQLITE_DBCONFIG_ENABLE_VIEW
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
#endif
    if (sqlite3_exec(db.get(), "PRAGMA trusted_schema=OFF", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        return nullptr;
    }
    return db;
}

bool execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// ---- Load ----

enum class ReadStatus { ok, failed, needs_recovery };

// A cell as text: NULL, malformed UTF-8 and a missing column read as the empty text; a number
// reads as SQLite renders it. A text ends at its first NUL byte.
std::string cell_text(sqlite3_stmt* stmt, int column) {
    if (column >= sqlite3_column_count(stmt) || sqlite3_column_type(stmt, column) == SQLITE_NULL) {
        return {};
    }
    const unsigned char* text = sqlite3_column_text(stmt, column);
    const int size = sqlite3_column_bytes(stmt, column);
    if (text == nullptr || size <= 0) {
        return {};
    }
    std::string_view bytes(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
    bytes = bytes.substr(0, bytes.find('\0'));
    if (!is_valid_utf8(bytes)) {
        return {};
    }
    return std::string(bytes);
}

ReadStatus status_of(sqlite3* db) {
    return sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK ? ReadStatus::needs_recovery
                                                                    : ReadStatus::failed;
}

// Reads the rows of one table in rowid order into `rows`; rows read before an error are kept.
ReadStatus read_table(sqlite3* db, const Table& table, ItemList& rows) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, table.select, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return status_of(db);
    }
    const Statement stmt(raw);
    int32_t position = 0;
    for (;;) {
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE) {
            return ReadStatus::ok;
        }
        if (rc != SQLITE_ROW) {
            return status_of(db);
        }
        ItemRecord record;
        record.id = text_to_int(cell_text(stmt.get(), 0));
        record.position = ++position;
        record.name = cell_text(stmt.get(), 1);
        record.due = text_to_datetime(cell_text(stmt.get(), 2));
        record.note = cell_text(stmt.get(), 3);
        rows.push_back(std::move(record));
    }
}

struct LoadedFile {
    ItemList pending;
    ItemList completed;
    ReadStatus status = ReadStatus::failed;
};

LoadedFile read_file(const fs::path& path, int flags) {
    LoadedFile file;
    const Database db = open_database(path, flags);
    if (!db) {
        return file;
    }
    execute(db.get(), "PRAGMA cell_size_check=ON");
    const ReadStatus pending = read_table(db.get(), kPendingTable, file.pending);
    if (pending == ReadStatus::needs_recovery) {
        file.status = pending;
        return file;
    }
    const ReadStatus completed = read_table(db.get(), kCompletedTable, file.completed);
    if (completed != ReadStatus::ok) {
        file.status = completed;
    } else {
        file.status = pending;
    }
    return file;
}

fs::path side_file(const fs::path& database, const char* suffix) {
    fs::path path = database;
    path += suffix;
    return path;
}

// A file left with a hot rollback journal by a writer that stopped mid-transaction cannot be
// read without rolling that journal back, which a read-only connection may not do. The file and
// its journal are copied to a private directory and the copy is rolled back and read there;
// data.db itself is left as it is.
LoadedFile read_with_recovery(const fs::path& path) {
    LoadedFile file;
    std::error_code ec;
    const fs::path temp_root = fs::temp_directory_path(ec);
    if (ec) {
        return file;
    }
    std::string pattern = (temp_root / "velunor-recover-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return file;
    }
    const fs::path dir = pattern;
    const fs::path copy = dir / kFileName;
    const fs::path journal = side_file(path, "-journal");
    if (fs::copy_file(path, copy, ec) && fs::copy_file(journal, side_file(copy, "-journal"), ec)) {
        file = read_file(copy, SQLITE_OPEN_READWRITE);
    }
    fs::remove_all(dir, ec);
    return file;
}

// ---- Save ----

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes the descriptor; false when close reports an error.
    bool reset() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

  private:
    int fd_;
};

bool sync_directory(const fs::path& dir) {
    const FileDescriptor fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && fsync(fd.get()) == 0;
}

// Removes the temporary files of saves whose process is gone (killed or crashed mid-write).
void remove_abandoned_temp_files(const fs::path& run_dir) {
    std::error_code ec;
    fs::directory_iterator it(run_dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kTempPrefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(name).substr(kTempPrefix.size());
        const int32_t pid = text_to_int(rest);
        if (pid <= 0 || pid == getpid()) {
            continue;
        }
        if (kill(pid, 0) == -1 && errno == ESRCH) {
            std::error_code remove_ec;
            fs::remove(it->path(), remove_ec);
        }
    }
}

// Creates an empty temporary file beside data.db that no other process can have open.
FileDescriptor create_temp_file(const fs::path& run_dir, fs::path& path) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = run_dir / (std::string(kTempPrefix) + std::to_string(getpid()) + "-" +
                          std::to_string(stamp) + "-" + std::to_string(attempt));
        FileDescriptor fd(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) {
            return fd;
        }
    }
    return FileDescriptor();
}

bool insert_rows(sqlite3* db, const Table& table, const ItemList& items) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, table.insert, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return false;
    }
    const Statement stmt(raw);
    for (const ItemRecord& item : items) {
        const std::string due = datetime_to_text(item.due);
        // Empty texts are bound as empty texts (data() is never null), not as NULL.
        if (sqlite3_bind_text64(stmt.get(), 1, item.name.data(), item.name.size(), SQLITE_STATIC,
                                SQLITE_UTF8) != SQLITE_OK ||
            sqlite3_bind_text64(stmt.get(), 2, due.data(), due.size(), SQLITE_STATIC,
                                SQLITE_UTF8) != SQLITE_OK ||
            sqlite3_bind_text64(stmt.get(), 3, item.note.data(), item.note.size(), SQLITE_STATIC,
                                SQLITE_UTF8) != SQLITE_OK ||
            sqlite3_step(stmt.get()) != SQLITE_DONE || sqlite3_reset(stmt.get()) != SQLITE_OK) {
            return false;
        }
    }
    return true;
}

// Writes the whole database into the (empty) file at path in one transaction. The file is
// flushed to disk by the caller.
bool write_database(const fs::path& path, const ItemStore& store) {
    Database db = open_database(path, SQLITE_OPEN_READWRITE);
    if (!db) {
        return false;
    }
    // The journal only guards this private file, which is thrown away on any failure; the
    // caller syncs the finished file once instead of SQLite syncing on every step.
    const bool written = execute(db.get(),
                                 "PRAGMA page_size=1024; PRAGMA encoding='UTF-8'; "
                                 "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF") &&
                         execute(db.get(), "BEGIN") && execute(db.get(), kPendingTable.create) &&
                         execute(db.get(), kCompletedTable.create) &&
                         insert_rows(db.get(), kPendingTable, store.pending_items) &&
                         insert_rows(db.get(), kCompletedTable, store.completed_items) &&
                         execute(db.get(), "COMMIT");
    return sqlite3_close(db.release()) == SQLITE_OK && written;
}

std::string timestamp_now() {
    const DateParts p = datetime_parts(SystemClock().now());
    std::array<char, 32> text{};
    const int n = std::snprintf(text.data(), text.size(), "%04d%02d%02d-%02d%02d%02d", p.year,
                                p.month, p.day, p.hour, p.minute, p.second);
    return n > 0 ? std::string(text.data()) : std::string();
}

// Gives the current data.db a second name, data.db.unreadable-YYYYMMDD-HHMMSS, so that it
// survives the rename of the new file over data.db. Never replaces an existing file.
bool keep_old_file(const fs::path& target, fs::path& kept) {
    const std::string base = target.string() + ".unreadable-" + timestamp_now();
    for (int n = 1; n < 1000; ++n) {
        kept = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        if (link(target.c_str(), kept.c_str()) == 0) {
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: move it instead, unless the name is taken.
        std::error_code ec;
        if (fs::exists(fs::symlink_status(kept, ec))) {
            continue;
        }
        return rename(target.c_str(), kept.c_str()) == 0;
    }
    return false;
}

// The journal and WAL files of the old data.db must not meet the new one: SQLite would apply
// them to it. They go with the kept file, or away when the old file was read in full.
bool clear_side_files(const fs::path& target, const fs::path& kept) {
    for (const char* suffix : kSideFileSuffixes) {
        const fs::path side = side_file(target, suffix);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(side, ec))) {
            continue;
        }
        if (!kept.empty()) {
            if (rename(side.c_str(), side_file(kept, suffix).c_str()) != 0) {
                return false;
            }
        } else if (!fs::remove(side, ec)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void load_items(ItemStore& store, const fs::path& run_dir) {
    const fs::path path = run_dir / kFileName;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        store.keep_unreadable_file = false;
        return;
    }
    LoadedFile file = read_file(path, SQLITE_OPEN_READONLY);
    if (file.status == ReadStatus::needs_recovery) {
        file = read_with_recovery(path);
    }
    store.keep_unreadable_file = file.status != ReadStatus::ok;
    // The rows were read into records of their own; they move into the lists as append_item
    // would copy them there, with `completed` set to match the list.
    for (const ListId id : {ListId::pending, ListId::completed}) {
        ItemList& rows = id == ListId::pending ? file.pending : file.completed;
        for (ItemRecord& record : rows) {
            record.completed = id == ListId::completed ? 1 : 0;
        }
        ItemList& list = store.list(id);
        if (list.empty()) {
            list = std::move(rows);
        } else {
            list.insert(list.end(), std::make_move_iterator(rows.begin()),
                        std::make_move_iterator(rows.end()));
        }
    }
}

bool save_items(ItemStore& store, const fs::path& run_dir) {
    const fs::path target = run_dir / kFileName;
    remove_abandoned_temp_files(run_dir);

    fs::path temp;
    FileDescriptor fd = create_temp_file(run_dir, temp);
    if (!fd) {
        return false;
    }
    // The new file keeps the old one's permissions.
    struct stat old_stat {};
    if (stat(target.c_str(), &old_stat) == 0 && S_ISREG(old_stat.st_mode)) {
        fchmod(fd.get(), old_stat.st_mode & 07777);
    }

    bool ok = write_database(temp, store) && fsync(fd.get()) == 0;
    ok = fd.reset() && ok;

    fs::path kept;
    std::error_code ec;
    if (ok && store.keep_unreadable_file && fs::exists(fs::symlink_status(target, ec))) {
        ok = keep_old_file(target, kept);
    }
    ok = ok && clear_side_files(target, kept);
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        fs::remove(temp, ec);
        return false;
    }
    sync_directory(run_dir);
    store.keep_unreadable_file = false;
    return true;
}

}  // namespace velunor

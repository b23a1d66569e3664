#include "durability_support.h"

#include <fcntl.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <random>
#include <system_error>

#include "common/datetime.h"

namespace velunor::test {

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string column_text(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    const int size = sqlite3_column_bytes(stmt, column);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), size);
}

bool read_rows(sqlite3* db, const char* sql, std::vector<Row>& rows, std::string& problem) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        problem = sqlite3_errmsg(db);
        return false;
    }
    const Statement stmt(raw);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        rows.push_back(Row{sqlite3_column_int64(stmt.get(), 0), column_text(stmt.get(), 1),
                           column_text(stmt.get(), 2), column_text(stmt.get(), 3)});
    }
    if (rc != SQLITE_DONE) {
        problem = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

// Moves this process into a mount namespace of its own, once, so that its mounts are seen by
// nobody else and vanish with it. Best effort: without it the mounts are made where we are and
// removed by TmpfsMount's destructor.
void use_private_mounts() {
    static const bool done = [] {
        return unshare(CLONE_NEWNS) == 0 &&
               mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    (void)done;
}

}  // namespace

Content expected_content(const ItemStore& store) {
    Content content;
    for (const ListId id : {ListId::pending, ListId::completed}) {
        std::vector<Row>& rows = id == ListId::pending ? content.pending : content.completed;
        int64_t row_id = 0;
        for (const ItemRecord& record : store.list(id)) {
            rows.push_back(Row{++row_id, record.name, datetime_to_text(record.due), record.note});
        }
    }
    return content;
}

std::optional<Content> read_content(const fs::path& database, std::string& problem) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, DbCloser> db(raw);
    if (rc != SQLITE_OK) {
        problem = "cannot open: " + std::string(sqlite3_errstr(rc));
        return std::nullopt;
    }
    std::vector<Row> check;
    if (!read_rows(db.get(), "SELECT 0, integrity_check, '', '' FROM pragma_integrity_check", check,
                   problem)) {
        return std::nullopt;
    }
    if (check.size() != 1 || check[0].name != "ok") {
        problem = "integrity_check: " + (check.empty() ? std::string("no answer") : check[0].name);
        return std::nullopt;
    }
    Content content;
    if (!read_rows(db.get(), "SELECT ID, 名称, time, 备注 FROM 未完成 ORDER BY ID", content.pending,
                   problem) ||
        !read_rows(db.get(), "SELECT ID, 名称, time, 备注 FROM 已完成 ORDER BY ID",
                   content.completed, problem)) {
        return std::nullopt;
    }
    return content;
}

ItemStore numbered_store(const std::string& prefix, int count, size_t note_size) {
    ItemStore store;
    for (int i = 0; i < count; ++i) {
        ItemRecord record;
        record.name = prefix + " " + std::to_string(i);
        record.due = make_datetime(2030 + i % 50, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 59);
        record.note = std::string(note_size, static_cast<char>('a' + i % 26));
        if (!record.note.empty()) {
            record.note.front() = prefix.empty() ? '-' : prefix.front();
        }
        append_item(store, i % 2 == 0 ? ListId::pending : ListId::completed, record);
    }
    return store;
}

int soak_rounds(int quick_rounds) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread or child starts.
    if (const char* text = std::getenv("VELUNOR_SOAK_ROUNDS"); text != nullptr) {
        const int rounds = std::atoi(text);
        if (rounds > 0) {
            return rounds;
        }
    }
    return quick_rounds;
}

uint64_t soak_seed() {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread or child starts.
    if (const char* text = std::getenv("VELUNOR_SOAK_SEED"); text != nullptr && *text != '\0') {
        return std::strtoull(text, nullptr, 10);
    }
    std::random_device device;
    return (uint64_t{device()} << 32) | device();
}

TmpfsMount::TmpfsMount(const fs::path& dir, size_t size_bytes) : dir_(dir) {
    if (geteuid() != 0) {
        error_ = "mounting a tmpfs needs root";
        return;
    }
    use_private_mounts();
    const std::string options = "size=" + std::to_string(size_bytes) + ",mode=0755";
    if (mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        error_ = "mount: " + std::error_code(errno, std::generic_category()).message();
        return;
    }
    mounted_ = true;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) {
        umount2(dir_.c_str(), MNT_DETACH);
    }
}

bool TmpfsMount::remount_read_only() {
    return mounted_ && mount(nullptr, dir_.c_str(), nullptr,
                             MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

uintmax_t fill_file_system(const fs::path& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return 0;
    }
    const std::string chunk(size_t{64} * 1024, 'f');
    size_t size = chunk.size();
    uintmax_t total = 0;
    // Halve the write on ENOSPC so the last partly free page is filled too.
    while (size > 0) {
        const ssize_t n = write(fd, chunk.data(), size);
        if (n > 0) {
            total += static_cast<uintmax_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            size /= 2;
        }
    }
    close(fd);
    return total;
}

bool shrink_file(const fs::path& path, uintmax_t size) {
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

}  // namespace velunor::test

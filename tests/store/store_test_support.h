// Temporary directories, file bytes and the sqlite3 command-line program for the data file tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store/item_store.h"

namespace velunor::test {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Sets an environment variable (or, with no value, unsets it) for the lifetime of the object; the
// tests that use it run one at a time.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv();

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string read_bytes(const fs::path& path);
// Writes the bytes and flushes them; false when any step fails.
bool write_bytes(const fs::path& path, const std::string& bytes);

// Names of the directory's entries, sorted.
std::vector<std::string> directory_entries(const fs::path& dir);

// True when the sqlite3 command-line program is available.
bool have_sqlite3_program();

struct CliResult {
    int status = -1;     // exit status of sqlite3
    std::string output;  // its standard output and error
};
// Runs SQL through the sqlite3 command-line program on a database file.
CliResult run_sqlite3(const fs::path& database, const std::string& sql);

ItemRecord item(const std::string& name, DateTime due, const std::string& note);

// The two tables exactly as data.db holds them.
extern const char* const kCreateTables;

}  // namespace velunor::test

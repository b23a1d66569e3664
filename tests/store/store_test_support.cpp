#include "store_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velunor::test {

const char* const kCreateTables =
    "CREATE TABLE [未完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT);\n"
    "CREATE TABLE [已完成] ([ID] INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, [名称] TEXT, "
    "[time] DATETIME, [备注] TEXT);\n";

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "velunor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    // NOLINTBEGIN(concurrency-mt-unsafe): single-threaded test
    if (const char* old = std::getenv(name)) {
        old_ = old;
    }
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
    // NOLINTEND(concurrency-mt-unsafe)
}

ScopedEnv::~ScopedEnv() {
    // NOLINTBEGIN(concurrency-mt-unsafe): single-threaded test
    if (old_) {
        setenv(name_, old_->c_str(), 1);
    } else {
        unsetenv(name_);
    }
    // NOLINTEND(concurrency-mt-unsafe)
}

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return out.good();
}

std::vector<std::string> directory_entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool have_sqlite3_program() {
    const std::string program = VELUNOR_SQLITE3_PROGRAM;
    return !program.empty() && access(program.c_str(), X_OK) == 0;
}

CliResult run_sqlite3(const fs::path& database, const std::string& sql) {
    const TempDir scratch;
    const fs::path script = scratch / "script.sql";
    write_bytes(script, sql);
    const std::string command = std::string("'") + VELUNOR_SQLITE3_PROGRAM + "' -batch -bail '" +
                                database.string() + "' < '" + script.string() + "' 2>&1";
    CliResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ItemRecord item(const std::string& name, DateTime due, const std::string& note) {
    ItemRecord r;
    r.name = name;
    r.due = due;
    r.note = note;
    return r;
}

}  // namespace velunor::test

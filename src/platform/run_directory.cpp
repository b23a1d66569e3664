#include "platform/run_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#ifndef VELUNOR_INSTALL_BINDIR
#define VELUNOR_INSTALL_BINDIR ""
#endif

namespace velunor {

namespace fs = std::filesystem;

namespace {

// The home directory: $HOME, else the password database's entry for this user.
fs::path home_directory() {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read once at start-up, nothing sets the environment.
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return {};
}

// $XDG_DATA_HOME/velunor when that variable holds an absolute path, else
// ~/.local/share/velunor.
fs::path user_data_directory() {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read once at start-up, nothing sets the environment.
    if (const char* data_home = std::getenv("XDG_DATA_HOME");
        data_home != nullptr && data_home[0] == '/') {
        return fs::path(data_home) / "velunor";
    }
    const fs::path home = home_directory();
    if (home.empty()) {
        return {};
    }
    return home / ".local" / "share" / "velunor";
}

// Whether dir is where installed programs live: the given install directory or one of the
// system's bin directories, under whatever name (a symbolic link, a trailing slash) it is given.
bool is_install_directory(const fs::path& dir, const fs::path& install_bindir) {
    static constexpr const char* kSystemBinDirectories[] = {
        "/bin",           "/sbin",           "/usr/bin",   "/usr/sbin",
        "/usr/local/bin", "/usr/local/sbin", "/usr/games", "/usr/local/games",
    };
    const auto same = [&dir](const fs::path& other) {
        std::error_code ec;
        return !other.empty() && fs::equivalent(dir, other, ec) && !ec;
    };
    return same(install_bindir) ||
           std::ranges::any_of(kSystemBinDirectories,
                               [&same](const char* system) { return same(system); });
}

}  // namespace

fs::path install_bin_directory() {
    return VELUNOR_INSTALL_BINDIR;
}

fs::path executable_directory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        return fs::current_path(ec);
    }
    return exe.parent_path();
}

fs::path find_run_directory(const fs::path& executable_dir) {
    return find_run_directory(executable_dir, install_bin_directory());
}

fs::path find_run_directory(const fs::path& executable_dir, const fs::path& install_bindir) {
    if (!executable_dir.empty() && access(executable_dir.c_str(), W_OK | X_OK) == 0 &&
        !is_install_directory(executable_dir, install_bindir)) {
        return executable_dir;
    }
    fs::path data_dir = user_data_directory();
    if (data_dir.empty()) {
        return executable_dir;
    }
    std::error_code ec;
    fs::create_directories(data_dir, ec);
    return data_dir;
}

}  // namespace velunor

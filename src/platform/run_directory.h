// Where data.db lives.
#pragma once

#include <filesystem>

namespace velunor {

// The directory that holds the running executable.
std::filesystem::path executable_directory();

// executable_dir when it is writable; else the per-user data directory ($XDG_DATA_HOME/velunor,
// by default ~/.local/share/velunor), created on demand.
std::filesystem::path find_run_directory(const std::filesystem::path& executable_dir);

}  // namespace velunor

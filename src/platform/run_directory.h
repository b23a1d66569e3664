// Where data.db lives.
#pragma once

#include <filesystem>

namespace velunor {

// The directory that holds the running executable.
std::filesystem::path executable_directory();

// The directory `cmake --install` puts the program in, as configured for this build.
std::filesystem::path install_bin_directory();

// executable_dir when it is writable and not a directory installed programs live in (the
// system's bin directories and install_bindir); else the per-user data directory
// ($XDG_DATA_HOME/velunor, by default ~/.local/share/velunor), created on demand. An installed
// copy thus never writes beside itself, not even when root can write there.
std::filesystem::path find_run_directory(const std::filesystem::path& executable_dir,
                                         const std::filesystem::path& install_bindir);

// The same, with this build's install_bin_directory().
std::filesystem::path find_run_directory(const std::filesystem::path& executable_dir);

}  // namespace velunor

#include "platform/run_directory.h"

namespace velunor {
// Not written yet.
std::filesystem::path executable_directory() { return "."; }
std::filesystem::path find_run_directory(const std::filesystem::path& executable_dir) {
    return executable_dir;
}
}  // namespace velunor

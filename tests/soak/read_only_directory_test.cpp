// A program directory that cannot be written: the run directory becomes the per-user data
// directory, and the items are saved and loaded there.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "durability_support.h"
#include "platform/run_directory.h"
#include "store/data_file.h"

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

// What a run of the program does with its run directory: find it, save, load back. Returns
// an empty text on success, else what went wrong.
std::string use_run_directory(const fs::path& program_dir, const fs::path& expected) {
    const fs::path run_dir = find_run_directory(program_dir);
    if (run_dir != expected) {
        return "run directory " + run_dir.string() + ", expected " + expected.string();
    }
    ItemStore store = test::numbered_store("item", 10, 20);
    if (save_items(store, program_dir)) {
        return "a save into the program directory succeeded";
    }
    if (!save_items(store, run_dir)) {
        return "the save into the run directory failed";
    }
    ItemStore loaded;
    load_items(loaded, run_dir);
    if (test::expected_content(loaded) != test::expected_content(store)) {
        return "the items did not load back";
    }
    return {};
}

// Even root cannot write to a read-only file system.
TEST(ReadOnlyRunDirectory, AReadOnlyFileSystemFallsBackToThePerUserDirectory) {
    const TempDir root;
    const fs::path program_dir = root / "bin";
    fs::create_directory(program_dir);
    test::TmpfsMount mount(program_dir, size_t{1024} * 1024);
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot make a read-only file system: " << mount.error();
    }
    ASSERT_TRUE(test::write_bytes(program_dir / "velunor", "the program"));
    ASSERT_TRUE(mount.remount_read_only());

    const ScopedEnv xdg("XDG_DATA_HOME", (root / "xdg").string());
    EXPECT_EQ(use_run_directory(program_dir, root / "xdg" / "velunor"), "");
    EXPECT_EQ(test::directory_entries(program_dir), std::vector<std::string>{"velunor"});
}

// An installed program's directory belongs to root; the user runs it. Root writes anywhere, so
// the run happens as the user "nobody" in a child process.
TEST(ReadOnlyRunDirectory, ADirectoryTheUserMayNotWriteFallsBackToThePerUserDirectory) {
    const TempDir root;
    const fs::path program_dir = root / "bin";
    const fs::path data_home = root / "xdg";
    fs::create_directory(program_dir);
    fs::create_directory(data_home);
    ASSERT_TRUE(test::write_bytes(program_dir / "velunor", "the program"));
    fs::permissions(root.path(), fs::perms(0755));
    fs::permissions(program_dir, fs::perms(0555));
    fs::permissions(data_home, fs::perms(0777));

    std::array<int, 2> report{};
    ASSERT_EQ(pipe(report.data()), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        std::string outcome;
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            outcome = "skip: cannot become the user nobody";
        } else if (access(program_dir.c_str(), W_OK) == 0) {
            outcome = "skip: this user can write the program directory";
        } else {
            // NOLINTNEXTLINE(concurrency-mt-unsafe): the child has one thread.
            setenv("XDG_DATA_HOME", data_home.c_str(), 1);
            outcome = use_run_directory(program_dir, data_home / "velunor");
        }
        const bool written = write(report[1], outcome.data(), outcome.size()) ==
                             static_cast<ssize_t>(outcome.size());
        _exit(written ? 0 : 1);
    }
    close(report[1]);
    std::string outcome;
    std::array<char, 256> buffer{};
    ssize_t n = 0;
    while ((n = read(report[0], buffer.data(), buffer.size())) > 0) {
        outcome.append(buffer.data(), static_cast<size_t>(n));
    }
    close(report[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (outcome.starts_with("skip: ")) {
        GTEST_SKIP() << outcome.substr(6);
    }
    EXPECT_EQ(outcome, "");
    EXPECT_EQ(test::directory_entries(program_dir), std::vector<std::string>{"velunor"});
    struct stat data_file {};
    ASSERT_EQ(stat((data_home / "velunor" / "data.db").c_str(), &data_file), 0);
    if (geteuid() == 0) {
        EXPECT_EQ(data_file.st_uid, 65534U) << "data.db belongs to the user who ran the program";
    }
}

}  // namespace
}  // namespace velunor

#include "platform/run_directory.h"

#include "store_test_support.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace velunor {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

TEST(RunDirectory, ExecutableDirectoryHoldsThisProgram) {
    const fs::path dir = executable_directory();
    EXPECT_TRUE(dir.is_absolute());
    EXPECT_TRUE(fs::exists(dir / "run_directory_tests"));
}

TEST(RunDirectory, AWritableExecutableDirectoryIsUsed) {
    const TempDir exe;
    EXPECT_EQ(find_run_directory(exe.path()), exe.path());
}

// A directory that cannot be written even by root: its "parent" is a regular file.
TEST(RunDirectory, OtherwiseThePerUserDataDirectoryIsCreated) {
    const TempDir root;
    const fs::path file = root.path() / "file";
    { std::ofstream(file) << "x"; }
    const fs::path unwritable = file / "bin";

    struct Case {
        std::optional<std::string> xdg_data_home;
        fs::path expected;
    };
    const Case cases[] = {
        {root.path().string() + "/xdg", root.path() / "xdg" / "velunor"},
        {std::nullopt, root.path() / "home" / ".local" / "share" / "velunor"},
        {"", root.path() / "home" / ".local" / "share" / "velunor"},
        {"relative/path", root.path() / "home" / ".local" / "share" / "velunor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdg_data_home.value_or("(unset)"));
        const ScopedEnv home("HOME", (root.path() / "home").string());
        const ScopedEnv xdg("XDG_DATA_HOME", c.xdg_data_home);
        EXPECT_EQ(find_run_directory(unwritable), c.expected);
        EXPECT_TRUE(fs::is_directory(c.expected));
        EXPECT_EQ(find_run_directory(root.path() / "missing"), c.expected);
        fs::remove_all(c.expected);
    }
}

// An installed copy must not keep data.db beside itself: the bin directory it was installed to
// and the system's bin directories are never the run directory, even for root, who can write
// there, and whatever name the directory is given by.
TEST(RunDirectory, AnInstalledCopyUsesThePerUserDataDirectory) {
    const TempDir root;
    const fs::path bindir = root.path() / "prefix" / "bin";
    fs::create_directories(bindir);
    fs::create_directory_symlink(bindir, root.path() / "link");
    const fs::path data_dir = root.path() / "xdg" / "velunor";
    const ScopedEnv xdg("XDG_DATA_HOME", (root.path() / "xdg").string());

    struct Case {
        fs::path executable_dir;
        fs::path install_bindir;
    };
    const Case cases[] = {
        {bindir, bindir},
        {bindir / "", bindir},
        {root.path() / "link", bindir},
        {root.path() / "prefix" / "." / "bin", bindir},
        {"/usr/bin", ""},
        {"/usr/local/bin", ""},
        {"/bin", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable_dir.string() + " installed to " + c.install_bindir.string());
        EXPECT_EQ(find_run_directory(c.executable_dir, c.install_bindir), data_dir);
    }
    // The same program not installed, in a writable directory, keeps its data beside itself.
    EXPECT_EQ(find_run_directory(bindir, root.path() / "elsewhere"), bindir);
    EXPECT_EQ(find_run_directory(bindir, ""), bindir);

    // This build's own install directory counts, whatever prefix it was configured with.
    const fs::path installed = install_bin_directory();
    ASSERT_TRUE(installed.is_absolute()) << installed;
    if (fs::is_directory(installed)) {
        EXPECT_EQ(find_run_directory(installed), data_dir);
    }
}

}  // namespace
}  // namespace velunor

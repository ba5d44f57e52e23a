#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"
#include "update/local_file.h"

namespace {

namespace fs = std::filesystem;

TEST(CopyFileWhole, ReplacesTheTargetAndLeavesNoCopyBeside) {
    ScopedTempDir dir;
    dir.Write("new.exe", "the new updater");
    dir.Write("old.exe", "an older copy that is longer than the new one");
    // A copy left beside it by a run that ended mid-copy is replaced.
    dir.Write("old.exe.new", "half of a cop");
    int error = -1;
    ASSERT_TRUE(CopyFileWhole(dir.WinPath() + L"new.exe", dir.WinPath() + L"old.exe", error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReadFileBytes(dir.path() / "old.exe"), "the new updater");
    EXPECT_EQ(ReadFileBytes(dir.path() / "new.exe"), "the new updater");
    EXPECT_FALSE(fs::exists(dir.path() / "old.exe.new"));

    ASSERT_TRUE(CopyFileWhole(dir.WinPath() + L"new.exe", dir.WinPath() + L"made.exe", error));
    EXPECT_EQ(ReadFileBytes(dir.path() / "made.exe"), "the new updater");
    EXPECT_FALSE(fs::exists(dir.path() / "made.exe.new"));
}

}  // namespace

#include "util/file_util.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace fs = std::filesystem;

TEST(FileUtil, RemoveTreeRemovesLinksWithoutFollowingThem) {
    ScopedTempDir dir;
    dir.Write("outside/keep.txt", "x");
    dir.Write("tree/file", "y");
    fs::create_directory_symlink(dir.path() / "outside", dir.path() / "tree" / "dirlink");
    fs::create_symlink(dir.path() / "outside" / "keep.txt", dir.path() / "tree" / "filelink");
    EXPECT_TRUE(RemoveTree(dir.WinPath() + L"tree\\"));
    EXPECT_FALSE(fs::exists(dir.path() / "tree"));
    EXPECT_TRUE(fs::exists(dir.path() / "outside" / "keep.txt"));
}


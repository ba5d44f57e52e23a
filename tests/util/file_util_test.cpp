#include "util/file_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

// No pause, so a failing copy ends at once.
constexpr RetryPolicy kTwoQuickAttempts{2, 0};

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

}  // namespace

TEST(FileUtil, WriteThenReadWholeFileGivesTheSameBytes) {
    ScopedTempDir dir;
    std::wstring path = dir.WinPath() + L"data.bin";
    std::string bytes("a\0b\r\nc\xff", 7);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    std::string read;
    ASSERT_TRUE(ReadWholeFile(path, read));
    EXPECT_EQ(read, bytes);
}

TEST(FileUtil, WriteWholeFileTruncatesALongerFile) {
    ScopedTempDir dir;
    dir.Write("data.txt", "a much longer old content");
    std::wstring path = dir.WinPath() + L"data.txt";
    ASSERT_TRUE(WriteWholeFile(path, "new"));
    EXPECT_EQ(ReadFileBytes(dir.path() / "data.txt"), "new");
}

TEST(FileUtil, EmptyFileReadsAsEmpty) {
    ScopedTempDir dir;
    std::wstring path = dir.WinPath() + L"empty";
    ASSERT_TRUE(WriteWholeFile(path, ""));
    EXPECT_TRUE(FileExists(path));
    std::string read = "stale";
    ASSERT_TRUE(ReadWholeFile(path, read));
    EXPECT_EQ(read, "");
}

TEST(FileUtil, ReadingAMissingFileFails) {
    ScopedTempDir dir;
    std::string read = "stale";
    EXPECT_FALSE(ReadWholeFile(dir.WinPath() + L"missing", read));
    EXPECT_EQ(read, "");
}

TEST(FileUtil, MakeDirsWithSlashesAndTrailingSeparatorsMakesTheSameDirectories) {
    ScopedTempDir dir;
    ASSERT_TRUE(MakeDirs(dir.WinPath() + L"a/b/c/"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c"));
    ASSERT_TRUE(MakeDirs(dir.WinPath() + L"x\\y\\z\\\\"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "x" / "y" / "z"));
}

TEST(FileUtil, MakeDirsOfAnExistingDirectorySucceeds) {
    ScopedTempDir dir;
    ASSERT_TRUE(MakeDirs(dir.WinPath() + L"a\\b"));
    EXPECT_TRUE(MakeDirs(dir.WinPath() + L"a\\b"));
    EXPECT_TRUE(MakeDirs(dir.WinPath() + L"a"));
}

TEST(FileUtil, MakeDirsBelowAFileFails) {
    ScopedTempDir dir;
    dir.Write("file", "x");
    EXPECT_FALSE(MakeDirs(dir.WinPath() + L"file\\sub"));
}

TEST(FileUtil, DeleteFileRetryOfAMissingFileDependsOnTheFlag) {
    ScopedTempDir dir;
    std::wstring path = dir.WinPath() + L"missing";
    EXPECT_TRUE(DeleteFileRetry(path, false));
    EXPECT_FALSE(DeleteFileRetry(path, true));
}

TEST(FileUtil, DeleteFileRetryDeletesAReadOnlyFile) {
    ScopedTempDir dir;
    MakeReadOnly(dir.Write("locked", "x"));
    EXPECT_TRUE(DeleteFileRetry(dir.WinPath() + L"locked", true));
    EXPECT_FALSE(fs::exists(dir.path() / "locked"));
}

TEST(FileUtil, ClearReadOnlyMakesTheFileWritable) {
    ScopedTempDir dir;
    fs::path file = dir.Write("locked", "x");
    MakeReadOnly(file);
    EXPECT_TRUE(ClearReadOnly(dir.WinPath() + L"locked"));
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(WriteWholeFile(dir.WinPath() + L"locked", "y"));
}

TEST(FileUtil, CopyFileRetryCopiesBytesAndWriteTime) {
    ScopedTempDir dir;
    dir.Write("source", "content");
    std::wstring source = dir.WinPath() + L"source";
    ASSERT_TRUE(SetFileTimes(source, 1300000000));
    ASSERT_TRUE(CopyFileRetry(source, dir.WinPath() + L"target", true));
    EXPECT_EQ(ReadFileBytes(dir.path() / "target"), "content");
    FileFindData data;
    ASSERT_TRUE(FindFile(dir.WinPath() + L"target", data));
    EXPECT_EQ(data.writeTime, 1300000000);
}

TEST(FileUtil, CopyFileRetryFailsOnAnExistingTargetWhenAsked) {
    ScopedTempDir dir;
    dir.Write("source", "new");
    dir.Write("target", "old");
    EXPECT_FALSE(CopyFileRetry(dir.WinPath() + L"source", dir.WinPath() + L"target", true, kTwoQuickAttempts));
    EXPECT_EQ(ReadFileBytes(dir.path() / "target"), "old");
    EXPECT_TRUE(CopyFileRetry(dir.WinPath() + L"source", dir.WinPath() + L"target", false, kTwoQuickAttempts));
    EXPECT_EQ(ReadFileBytes(dir.path() / "target"), "new");
}

TEST(FileUtil, RemoveTreeRemovesNestedDirectories) {
    ScopedTempDir dir;
    dir.Write("tree/a.txt", "1");
    dir.Write("tree/sub/b.txt", "2");
    dir.Write("tree/sub/deeper/c.txt", "3");
    fs::create_directories(dir.path() / "tree" / "empty");
    MakeReadOnly(dir.path() / "tree" / "sub" / "b.txt");
    EXPECT_TRUE(RemoveTree(dir.WinPath() + L"tree\\"));
    EXPECT_FALSE(fs::exists(dir.path() / "tree"));
}

TEST(FileUtil, RemoveTreeTakesADirectoryWithoutTrailingSeparator) {
    ScopedTempDir dir;
    dir.Write("tree/sub/file", "x");
    EXPECT_TRUE(RemoveTree(dir.WinPath() + L"tree"));
    EXPECT_FALSE(fs::exists(dir.path() / "tree"));
}

TEST(FileUtil, SetFileTimesIsWhatFindFileReports) {
    ScopedTempDir dir;
    dir.Write("file", "12345");
    std::wstring path = dir.WinPath() + L"file";
    ASSERT_TRUE(SetFileTimes(path, 1234567890));
    FileFindData data;
    ASSERT_TRUE(FindFile(path, data));
    EXPECT_EQ(data.writeTime, 1234567890);
    EXPECT_EQ(data.name, L"file");
    EXPECT_EQ(data.size, 5u);
    EXPECT_FALSE(data.isDirectory);
}

TEST(FileUtil, SetFileTimesMovesTheSystemsWriteTime) {
    ScopedTempDir dir;
    fs::path file = dir.Write("file", "x");
    ASSERT_TRUE(SetFileTimes(dir.WinPath() + L"file", 1234567890));
    auto before = fs::last_write_time(file);
    ASSERT_TRUE(SetFileTimes(dir.WinPath() + L"file", 1234567900));
    auto after = fs::last_write_time(file);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(after - before).count(), 10);
}

TEST(FileUtil, FindFileReportsDirectoriesAndMissingPaths) {
    ScopedTempDir dir;
    fs::create_directory(dir.path() / "sub");
    FileFindData data;
    ASSERT_TRUE(FindFile(dir.WinPath() + L"sub", data));
    EXPECT_TRUE(data.isDirectory);
    EXPECT_EQ(data.name, L"sub");
    EXPECT_FALSE(FindFile(dir.WinPath() + L"missing", data));
}

TEST(FileUtil, GetFileSizeByNameIsZeroForAMissingFile) {
    ScopedTempDir dir;
    dir.Write("file", std::string(1000, 'x'));
    EXPECT_EQ(GetFileSizeByName(dir.WinPath() + L"file"), 1000u);
    EXPECT_EQ(GetFileSizeByName(dir.WinPath() + L"missing"), 0u);
}

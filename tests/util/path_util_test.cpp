#include "util/path_util.h"

#include <gtest/gtest.h>

#include "util/file_util.h"

TEST(PathUtil, SplitModulePathGivesDirectoryWithBackslashAndFileName) {
    std::wstring directory;
    std::wstring fileName;
    SplitModulePath(L"C:\\Program Files\\ZOLTA\\ZOLTAMeeting.exe", &directory, &fileName);
    EXPECT_EQ(directory, L"C:\\Program Files\\ZOLTA\\");
    EXPECT_EQ(fileName, L"ZOLTAMeeting.exe");
}

TEST(PathUtil, SplitModulePathTakesSlashesAndEitherOut) {
    std::wstring directory;
    SplitModulePath(L"C:/a/b.exe", &directory, nullptr);
    EXPECT_EQ(directory, L"C:\\a\\");
    std::wstring fileName;
    SplitModulePath(L"C:/a/b.exe", nullptr, &fileName);
    EXPECT_EQ(fileName, L"b.exe");
}

TEST(PathUtil, SplitModulePathWithoutDirectory) {
    std::wstring directory = L"stale";
    std::wstring fileName;
    SplitModulePath(L"C:b.exe", &directory, &fileName);
    EXPECT_EQ(directory, L"C:");
    EXPECT_EQ(fileName, L"b.exe");
    SplitModulePath(L"b.exe", &directory, &fileName);
    EXPECT_EQ(directory, L"");
    EXPECT_EQ(fileName, L"b.exe");
}

TEST(PathUtil, AppDirOfTheStagingDirectoryIsItsParent) {
    EXPECT_EQ(AppDirOfDirectory(L"C:\\ZOLTA\\UpdateVer\\"), L"C:\\ZOLTA\\");
}

TEST(PathUtil, AppDirRuleIsCaseSensitive) {
    EXPECT_EQ(AppDirOfDirectory(L"C:\\ZOLTA\\updatever\\"), L"C:\\ZOLTA\\updatever\\");
    EXPECT_EQ(AppDirOfDirectory(L"C:\\ZOLTA\\UPDATEVER\\"), L"C:\\ZOLTA\\UPDATEVER\\");
}

TEST(PathUtil, AppDirRuleTakesOnlyAWholeLastComponent) {
    EXPECT_EQ(AppDirOfDirectory(L"C:\\ZOLTA\\"), L"C:\\ZOLTA\\");
    EXPECT_EQ(AppDirOfDirectory(L"C:\\OldUpdateVer\\"), L"C:\\OldUpdateVer\\");
    EXPECT_EQ(AppDirOfDirectory(L"C:\\UpdateVer\\ZOLTA\\"), L"C:\\UpdateVer\\ZOLTA\\");
    EXPECT_EQ(AppDirOfDirectory(L"C:\\UpdateVer\\UpdateVer\\"), L"C:\\UpdateVer\\");
}

TEST(PathUtil, ModulePathIsThisTestProgram) {
    std::wstring path = GetModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(FileExists(path));
    std::wstring fileName;
    SplitModulePath(path, nullptr, &fileName);
    EXPECT_EQ(fileName.substr(0, 10), L"util_tests");
}

TEST(PathUtil, AppDirIsTheProgramsDirectory) {
    std::wstring directory;
    SplitModulePath(GetModulePath(), &directory, nullptr);
    std::wstring appDir = GetAppDir();
    EXPECT_EQ(appDir, directory);
    ASSERT_FALSE(appDir.empty());
    EXPECT_EQ(appDir.back(), L'\\');
}

#include "util/system_util.h"

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "test_child.h"

TEST(SystemUtilWin, VersionTextOfAProgramWithAVersionResource) {
    std::wstring text;
    EXPECT_TRUE(GetFileVersionText(TestChildPath(), text));
    EXPECT_EQ(text, L"1.2.3.4");
}

TEST(SystemUtilWin, VersionTextOfAFileWithoutVersionResource) {
    ScopedTempDir dir;
    dir.Write("plain.dll", "not a program");
    std::wstring text = L"stale";
    EXPECT_FALSE(GetFileVersionText(dir.WinPath() + L"plain.dll", text));
    EXPECT_EQ(text, L"");
    EXPECT_FALSE(GetFileVersionText(dir.WinPath() + L"missing.dll", text));
}

TEST(SystemUtilWin, VersionTextOfAProgramWithoutVersionResource) {
    // util_tests itself carries no version resource.
    std::wstring text = L"stale";
    EXPECT_FALSE(GetFileVersionText(GetModulePath(), text));
    EXPECT_EQ(text, L"");
}

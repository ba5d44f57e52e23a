#include "manifest/cfg_file_lists.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

TEST(CfgFileLists, ListsComeFromSectionCfgAndNameFilesWithTheirSeparator) {
    ScopedTempDir dir;
    dir.Write("testCfg.ini", "[CFG]\r\nnoupdateFiles=a.dll;b\\c.dll;\r\nnodownfiles=big.pak;" +
                                 std::string(5000, 'x') + "\r\n[OTHER]\r\nnoupdateFiles=x;\r\n");
    const std::wstring path = dir.WinPath() + L"testCfg.ini";
    EXPECT_EQ(ReadNoUpdateFiles(path), L"a.dll;b\\c.dll;");
    EXPECT_EQ(ReadNoDownFiles(path), L"big.pak;" + std::wstring(4095 - 8, L'x'));
    EXPECT_EQ(ReadNoDownFiles(dir.WinPath() + L"absent.ini"), L"");
    const std::wstring list = ReadNoUpdateFiles(path);
    EXPECT_TRUE(ListNamesFile(list, L"c.dll"));
    EXPECT_FALSE(ListNamesFile(list, L"A.dll"));
    EXPECT_FALSE(ListNamesFile(L"big.pak", L"big.pak"));
}

#include "manifest/check_value.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

TEST(CheckValue, KindTextsMatchExactly) {
    EXPECT_EQ(CheckKindFromText(L""), CHECK_KIND_NONE);
    EXPECT_EQ(CheckKindFromText(L"VER"), CHECK_KIND_VERSION);
    EXPECT_EQ(CheckKindFromText(L"MD5"), CHECK_KIND_MD5);
    EXPECT_EQ(CheckKindFromText(L"IVER"), CHECK_KIND_INI_VERSION);
    EXPECT_EQ(CheckKindFromText(L"SHA256"), CHECK_KIND_SHA256);
    EXPECT_EQ(CheckKindFromText(L"md5"), CHECK_KIND_OTHER);
    std::wstring text;
    for (int kind : {CHECK_KIND_NONE, CHECK_KIND_VERSION, CHECK_KIND_MD5, CHECK_KIND_INI_VERSION, CHECK_KIND_SHA256}) {
        ASSERT_TRUE(CheckKindText(kind, text));
        EXPECT_EQ(CheckKindFromText(text), kind);
    }
    EXPECT_FALSE(CheckKindText(CHECK_KIND_OTHER, text));
}

TEST(CheckValue, VersionKindOfAFileWithoutVersionResourceFails) {
    ScopedTempDir dir;
    dir.Write("plain.dll", "not a module");
    std::wstring value = L"stale";
    EXPECT_FALSE(ComputeFileCheckValue(CHECK_KIND_VERSION, dir.WinPath() + L"plain.dll", value));
    EXPECT_TRUE(value.empty());
}

TEST(CheckValue, IniVersionKindReadsVerKeyAsWrittenOrNothing) {
    ScopedTempDir dir;
    dir.Write("lang.ini", "[Other]\r\nVer=9.9.9.9\r\n[ver]\r\nVER = 3.1.0.2b \r\n");
    std::wstring value;
    ASSERT_TRUE(ComputeFileCheckValue(CHECK_KIND_INI_VERSION, dir.WinPath() + L"lang.ini", value));
    EXPECT_EQ(value, L"3.1.0.2b");
    EXPECT_TRUE(ComputeFileCheckValue(CHECK_KIND_INI_VERSION, dir.WinPath() + L"missing.ini", value));
    EXPECT_TRUE(value.empty());
}

TEST(CheckValue, KindsWithoutValueGiveEmptyText) {
    ScopedTempDir dir;
    for (int kind : {CHECK_KIND_NONE, CHECK_KIND_OTHER}) {
        std::wstring value = L"stale";
        EXPECT_TRUE(ComputeFileCheckValue(kind, dir.WinPath() + L"missing.bin", value));
        EXPECT_TRUE(value.empty());
    }
}

// Version resources exist only in the Windows build.
#include "manifest/check_value.h"

#include <gtest/gtest.h>

#include "child_process.h"

TEST(CheckValue, VersionKindReadsTheFileVersion) {
    // The executable's resource script gives FILEVERSION 1,0,0,1.
    std::wstring value;
    ASSERT_TRUE(ComputeFileCheckValue(CHECK_KIND_VERSION, TestBinDir() + L"ZOLTAMeeting.exe", value));
    EXPECT_EQ(value, L"1.0.0.1");
}

TEST(CheckValue, VersionKindOfAMissingFileFails) {
    std::wstring value = L"stale";
    EXPECT_FALSE(ComputeFileCheckValue(CHECK_KIND_VERSION, TestBinDir() + L"missing.exe", value));
    EXPECT_TRUE(value.empty());
}

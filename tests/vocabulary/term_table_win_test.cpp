// The term table from the string resource of the real executable.
#include <windows.h>

#include <gtest/gtest.h>

#include "child_process.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/term_table.h"

TEST(TermTableResource, TermsComeFromTheExecutable) {
    HMODULE exe = LoadLibraryExW((TestBinDir() + L"ZOLTAMeeting.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    void* previous = GetAppInstance();
    SetAppInstance(exe);
    SelectTermLanguage(L"zh_CN");
    SetAppInstance(previous);
    FreeLibrary(exe);
    EXPECT_EQ(GetTerm(L"MEETING"), L"会议");
    EXPECT_EQ(GetTerm(L"ENTERBYURL"), L"通过链接入会");
}

TEST(TermTableResource, MissingResourceLeavesEveryTermEmpty) {
    // The test program itself carries no term table.
    SelectTermLanguage(L"en_US");
    EXPECT_EQ(GetTerm(L"MEETING"), L"");
}

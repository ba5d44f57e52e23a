// Opening the web home page, with a recording program standing in for the browser.
#include "launcher/client_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "temp_dir.h"

namespace {

class OpenWebPageTest : public ::testing::Test {
protected:
    ScopedTempDir dir;
    std::wstring record;

    void SetUp() override {
        record = dir.WinPath() + L"record.txt";
        SetEnvironmentVariableW(L"ZM_RECORD_FILE", record.c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"ZM_RECORD_FILE", nullptr); }

    // The stand-in runs detached from us; wait for what it writes.
    std::wstring WaitForRecord() {
        for (int i = 0; i < 200; ++i) {
            std::string bytes = ReadFileBytes(dir.path() / "record.txt");
            if (!bytes.empty()) return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
            Sleep(50);
        }
        return std::wstring();
    }
};

}  // namespace

TEST_F(OpenWebPageTest, OpensTheTargetThroughTheShell) {
    const std::wstring target = TestBinDir() + L"arg_recorder.exe";
    EXPECT_EQ(OpenWebPage(target), 0);
    EXPECT_NE(WaitForRecord().find(L"arg_recorder.exe"), std::wstring::npos);
}

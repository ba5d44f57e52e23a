// Opening the web home page, with a recording program standing in for the browser.
#include "launcher/client_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
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

namespace {

// The stack pointer of the caller's frame at the point of the call.
__attribute__((always_inline)) inline uintptr_t StackPointer() {
    uintptr_t sp = 0;
#if defined(__i386__)
    asm volatile("movl %%esp, %0" : "=r"(sp));
#else
    asm volatile("movq %%rsp, %0" : "=r"(sp));
#endif
    return sp;
}

}  // namespace

// "Init" uses the C calling convention: the caller removes the arguments. A
// launcher that called it as the callee-cleans convention of the Windows API
// would leave the stack pointer moved by every call, which on a 32-bit build
// ends in a crash or in locals read from the wrong place.
TEST(ClientEntry, CdeclInitLeavesTheStackWhereItWasCallAfterCall) {
    ScopedTempDir dir;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.WinPath().c_str()));
    const ClientInitFn init = LoadClientEntry(TestBinDir() + L"test_client.dll");
    ASSERT_NE(init, nullptr);
    for (int call = 0; call < 300; ++call) {
        const uintptr_t before = StackPointer();
        const int result = init(GetModuleHandleW(nullptr), L"-do=start");
        const uintptr_t after = StackPointer();
        ASSERT_EQ(after, before) << "call " << call;
        ASSERT_EQ(result, 5) << "call " << call;
        ASSERT_EQ(InvokeClientEntry(init, GetModuleHandleW(nullptr), L"-do=start"), 5) << "call " << call;
    }
    SetCurrentDirectoryW(previous);
}

#include "util/process_util.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "test_child.h"

namespace {

// An event the test owns, for the child to signal or to watch.
class TestEvent {
public:
    explicit TestEvent(const std::wstring& name)
        : name_(name), handle_(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
    ~TestEvent() {
        if (handle_) CloseHandle(handle_);
    }
    TestEvent(const TestEvent&) = delete;
    TestEvent& operator=(const TestEvent&) = delete;

    const std::wstring& name() const { return name_; }
    bool IsSet() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }
    void Set() { SetEvent(handle_); }

private:
    std::wstring name_;
    HANDLE handle_;
};

}  // namespace

TEST(ProcessUtilWin, WaitExitTakesTheChildsExitCode) {
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 42"), SW_HIDE, false, L"WAITEXIT"), 0);
    EXPECT_EQ(exitCode, 42u);
}

TEST(ProcessUtilWin, NoWaitModeWaitsForTheExit) {
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 7"), SW_HIDE, false, nullptr), 0);
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 8"), SW_HIDE, false, L""), 0);
    EXPECT_EQ(exitCode, 8u);
}

TEST(ProcessUtilWin, UnknownWaitModeDoesNotWait) {
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 5"), SW_HIDE, false, L"NOWAIT"), 0);
    EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessUtilWin, EventModeGivesAbortedWhenTheChildEndsWithoutTheEvent) {
    std::wstring name = UniqueEventName(L"never");
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 3"), SW_HIDE, false, (L"WAIT_" + name).c_str()), 995);
    EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessUtilWin, EventModeSucceedsWhenTheChildSignals) {
    std::wstring name = UniqueEventName(L"ready");
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"signal " + name + L" 3"), SW_HIDE, false,
                         (L"WAIT_" + name).c_str()),
              0);
    EXPECT_EQ(exitCode, 0u);
}

TEST(ProcessUtilWin, WaitIdleReturnsOnceTheChildWaitsForInput) {
    TestEvent ready(UniqueEventName(L"idle-ready"));
    TestEvent quit(UniqueEventName(L"idle-quit"));
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"idle " + ready.name() + L" " + quit.name()), SW_HIDE, false,
                         L"WAITIDLE"),
              0);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(ready.IsSet());
    quit.Set();
}

TEST(ProcessUtilWin, AMissingProgramGivesTheSystemError) {
    std::wstring directory;
    SplitModulePath(GetModulePath(), &directory, nullptr);
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, L"\"" + directory + L"zm_no_such_program.exe\"", SW_HIDE, false, L"WAITEXIT"),
              ERROR_FILE_NOT_FOUND);
}

TEST(ProcessUtilWin, RunAsAdminRefusesAnUnclosedQuote) {
    ProcessHandle process = reinterpret_cast<ProcessHandle>(1);
    EXPECT_EQ(RunAsAdmin(L"\"" + TestChildPath() + L" exit 1", &process), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(process, nullptr);
}

// Wine has no user account control: "runas" starts the program at once. On
// Windows this test needs a consent (or an elevated test run).
TEST(ProcessUtilWin, ElevatedRunWaitsForTheExitToo) {
    uint32_t exitCode = 99;
    EXPECT_EQ(RunProgram(exitCode, TestChildCommand(L"exit 21"), SW_HIDE, true, L"WAITEXIT"), 0);
    EXPECT_EQ(exitCode, 21u);
}

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "captured_trace_log.h"
#include "diag/trace_log.h"
#include "trace_test_support.h"

namespace {

using GetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);

std::wstring ThreadName(GetThreadDescriptionFn getDescription, uint32_t id) {
    std::wstring name;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!thread) return name;
    PWSTR description = nullptr;
    if (SUCCEEDED(getDescription(thread, &description)) && description) {
        name = description;
        LocalFree(description);
    }
    CloseHandle(thread);
    return name;
}

}  // namespace

TEST(TraceWriterThreadId, IsTheThreadThatNamesItselfTheWriter) {
    auto getDescription = reinterpret_cast<GetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (!getDescription) GTEST_SKIP() << "the system has no thread names";

    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    ASSERT_TRUE(WaitUntil([] { return TraceWriterThreadId() != 0; }));
    const uint32_t writer = TraceWriterThreadId();
    EXPECT_TRUE(WaitUntil([&] { return ThreadName(getDescription, writer) == L"TraceLogWriter"; }));
}

// The updater application inside a small program of its own, so tests can
// watch what the product's code does in a process of its own: several at
// once, crashing, or reporting what it selected.
//
// Usage: updater_probe <mode> <command string> [release event]
//   params        runs InitInstance, writes probe.txt (UTF-8) into the
//                 application directory with the "-PRODUCT" value, message 6
//                 and the term "MEETING" in the selected language, then
//                 ExitInstance; exit code 0, or 1 when InitInstance fails
//   hold          runs InitInstance, waits up to a minute for the named
//                 release event, then ExitInstance; exit code 0, 1 when
//                 InitInstance fails, 3 when never released
//   crash         runs InitInstance, then writes through a null pointer
//   crash-writer  runs InitInstance, then makes the trace log's writer
//                 thread write through a null pointer; exit code 5 when the
//                 writer could not be redirected
// It opens the trace log as the launcher does, under the application
// directory's "log\".
#include <windows.h>

#include <cstdio>
#include <string>

#include "diag/trace_log.h"
#include "launcher/file_download_app.h"
#include "launcher/launcher_log.h"
#include "util/code_page.h"
#include "util/path_util.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"

namespace {

const DWORD kHoldLimitMs = 60000;

__attribute__((noinline)) void WriteThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Makes the thread call WriteThroughNull from wherever it is now, as if the
// call were its next instruction, so the fault unwinds through its real
// frames.
bool MakeThreadFault(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    if (!thread) return false;
    bool done = false;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &context)) {
#if defined(_WIN64)
            context.Rsp -= sizeof(DWORD64);
            *reinterpret_cast<DWORD64*>(context.Rsp) = context.Rip;
            context.Rip = reinterpret_cast<DWORD64>(&WriteThroughNull);
#else
            context.Esp -= sizeof(DWORD);
            *reinterpret_cast<DWORD*>(context.Esp) = context.Eip;
            context.Eip = reinterpret_cast<DWORD>(&WriteThroughNull);
#endif
            done = SetThreadContext(thread, &context) != FALSE;
        }
        ResumeThread(thread);
    }
    CloseHandle(thread);
    return done;
}

bool WriteProbeFile(const std::wstring& appDir) {
    std::wstring product;
    CmdLineParams().Get(L"-PRODUCT", product);
    const std::string text = "product=" + WideToUtf8(product) + "\nmessage6=" + WideToUtf8(GetMessageText(6)) +
                             "\nmeeting=" + WideToUtf8(GetTerm(L"MEETING")) + "\n";
    FILE* file = _wfopen((appDir + L"probe.txt").c_str(), L"wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    HINSTANCE instance = GetModuleHandleW(nullptr);
    SetAppInstance(instance);
    SetCurrentDirectoryW(GetAppDir().c_str());
    InitLauncherLog();

    CFileDownloadApp& app = FileDownloadApp();
    if (!app.InitInstance(instance, argv[2])) {
        CloseLog();
        return 1;
    }
    int result = 0;
    if (mode == L"params") {
        if (!WriteProbeFile(app.AppDir())) result = 4;
    } else if (mode == L"hold") {
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, argc > 3 ? argv[3] : L"");
        if (!release || WaitForSingleObject(release, kHoldLimitMs) != WAIT_OBJECT_0) result = 3;
    } else if (mode == L"crash") {
        WriteThroughNull();
    } else if (mode == L"crash-writer") {
        // The writer records its id once the system has run it.
        for (int wait = 0; wait < 500 && TraceWriterThreadId() == 0; ++wait) Sleep(10);
        if (!MakeThreadFault(TraceWriterThreadId())) return 5;
        // The fault ends the process; a writer that never faults leaves it
        // here for the test's time bound to find.
        Sleep(INFINITE);
    } else {
        result = 2;
    }
    app.ExitInstance();
    CloseLog();
    return result;
}

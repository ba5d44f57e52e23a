#include "diag/mini_dump_make_ctrl.h"

#include <windows.h>

#include <dbghelp.h>

#include <atomic>
#include <new>

#include "diag/trace_log.h"

namespace {

std::atomic<CMiniDumpMakeCtrl*> g_dumpMaker{nullptr};
// The thread writing the dump; 0 before the first fault.
std::atomic<DWORD> g_dumpingThread{0};

void AppendTrailer(HANDLE file, CMiniDumpMakeCtrl& maker, const EXCEPTION_RECORD& record) {
    try {
        std::wstring comment;
        maker.GetDumpComment(comment);
        const std::string trailer =
            BuildDumpTrailer(record.ExceptionCode,
                             static_cast<uint64_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress)), comment);
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file, trailer.data(), static_cast<DWORD>(trailer.size()), &written, nullptr);
    } catch (const std::bad_alloc&) {
        // The dump itself is written; a trailer needs memory the process no longer has.
    }
}

LONG WINAPI WriteCrashDump(EXCEPTION_POINTERS* exception) {
    CMiniDumpMakeCtrl* maker = g_dumpMaker;
    const DWORD self = GetCurrentThreadId();
    DWORD first = 0;
    if (!g_dumpingThread.compare_exchange_strong(first, self)) {
        // A fault inside the handler itself ends the process at once. Another
        // faulting thread waits for the first dump, which ends the process,
        // unless it is the trace log's writer: the first dump may be waiting
        // for that thread to flush the log, so it ends the process instead.
        if (first != self && self != TraceWriterThreadId()) Sleep(INFINITE);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    if (!maker || !exception || !exception->ExceptionRecord) return EXCEPTION_EXECUTE_HANDLER;

    std::wstring path;
    try {
        maker->GetDumpFilePath(path);
    } catch (const std::bad_alloc&) {
        return EXCEPTION_EXECUTE_HANDLER;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return EXCEPTION_EXECUTE_HANDLER;

    MINIDUMP_EXCEPTION_INFORMATION info = {};
    info.ThreadId = self;
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &info, nullptr, nullptr);
    AppendTrailer(file, *maker, *exception->ExceptionRecord);
    CloseHandle(file);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashHandler(CMiniDumpMakeCtrl* maker) {
    g_dumpMaker = maker;
    SetUnhandledExceptionFilter(WriteCrashDump);
}

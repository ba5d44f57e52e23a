#include "util/process_util.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "util/system_util.h"

int CreateProcessSimple(const std::wstring& commandLine, int showCommand, ProcessHandle* process) {
    // No "insert a disk" or crash boxes for the child either: it inherits the mode.
    SetErrorMode(0xFFFF);
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return static_cast<int>(GetLastError());
    }
    CloseHandle(info.hThread);
    if (process) {
        *process = info.hProcess;
    } else {
        CloseHandle(info.hProcess);
    }
    return 0;
}

int RunAsAdmin(const std::wstring& commandLine, ProcessHandle* process) {
    if (process) *process = nullptr;
    std::wstring file;
    std::wstring parameters;
    if (!SplitCommandLine(commandLine, file, parameters)) return ERROR_INVALID_PARAMETER;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) return static_cast<int>(GetLastError());
    if (process) {
        *process = info.hProcess;
    } else if (info.hProcess) {
        CloseHandle(info.hProcess);
    }
    return 0;
}

int RunProgram(uint32_t& exitCode, const std::wstring& commandLine, int showCommand, bool asAdmin,
               const wchar_t* waitMode) {
    std::wstring eventName;
    WaitMode mode = ParseWaitMode(waitMode, eventName);
    HANDLE event = nullptr;
    if (mode == WaitMode::kEvent) {
        event = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        if (!event) mode = WaitMode::kNone;
    }
    ProcessHandle process = nullptr;
    int result = asAdmin && IsVistaOrLater() ? RunAsAdmin(commandLine, &process)
                                             : CreateProcessSimple(commandLine, showCommand, &process);
    exitCode = 0;
    if (result == 0 && process) {
        switch (mode) {
        case WaitMode::kIdle:
            WaitForInputIdle(process, INFINITE);
            break;
        case WaitMode::kExit: {
            WaitForSingleObject(process, INFINITE);
            DWORD code = 0;
            if (GetExitCodeProcess(process, &code)) exitCode = code;
            break;
        }
        case WaitMode::kEvent: {
            HANDLE either[2] = {event, process};
            WaitForMultipleObjects(2, either, FALSE, INFINITE);
            if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0) result = ERROR_OPERATION_ABORTED;
            break;
        }
        case WaitMode::kNone:
            break;
        }
    }
    if (process) CloseHandle(process);
    if (event) CloseHandle(event);
    return result;
}

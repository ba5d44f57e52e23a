#include "child_process.h"

#include <windows.h>

#include <climits>
#include <vector>

std::wstring TestBinDir() { return ZM_BIN_DIR L"\\"; }

int RunAndWait(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
               unsigned timeoutMs) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!args.empty()) line += L" " + args;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
        return INT_MIN;
    }
    CloseHandle(pi.hThread);
    int result = INT_MIN;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) result = static_cast<int>(code);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hProcess);
    return result;
}

#include "sibling_process.h"

#include <windows.h>

#include "util/code_page.h"

std::string SiblingProgramPath(const std::string& name) {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L'\\') + 1);
    return WideToAnsi(path) + name + ".exe";
}

std::vector<int> RunAllAtOnce(const std::vector<std::vector<std::string>>& commands,
                              const std::function<void()>& whileRunning) {
    std::vector<int> codes(commands.size(), -1);
    std::vector<HANDLE> processes(commands.size(), nullptr);
    for (size_t i = 0; i < commands.size(); ++i) {
        std::wstring line;
        for (const std::string& arg : commands[i]) {
            if (!line.empty()) line += L' ';
            line += L'"' + AnsiToWide(arg) + L'"';
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            processes[i] = info.hProcess;
        }
    }
    whileRunning();
    for (size_t i = 0; i < processes.size(); ++i) {
        if (!processes[i]) continue;
        WaitForSingleObject(processes[i], INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(processes[i], &code)) codes[i] = static_cast<int>(code);
        CloseHandle(processes[i]);
    }
    return codes;
}

// Programs that a Windows test starts and watches while they run, and the
// message boxes they show.
#pragma once

#include <windows.h>

#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

// A started program; terminated on destruction if it still runs.
class RunningProgram {
public:
    // Starts exe with its quoted path, a space and args as the command line.
    RunningProgram(const std::wstring& exe, const std::wstring& args) {
        std::wstring line = L"\"" + exe + L"\"";
        if (!args.empty()) line += L" " + args;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = info.dwProcessId;
        }
    }
    ~RunningProgram() {
        if (!process_) return;
        if (Running()) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, INFINITE);
        }
        CloseHandle(process_);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    bool Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    void Terminate(unsigned code) const {
        if (process_) TerminateProcess(process_, code);
    }
    // The exit code; INT_MIN when it did not end within the time.
    int Wait(unsigned timeoutMs = 60000) const {
        if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return INT_MIN;
        DWORD code = 0;
        return GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : INT_MIN;
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Polls until the condition holds; false if it still does not after a minute.
template <class Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

inline std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// The box's longest static text is its message.
inline BOOL CALLBACK ReadMessageBoxText(HWND child, LPARAM param) {
    MessageBoxSeen& box = *reinterpret_cast<MessageBoxSeen*>(param);
    wchar_t childClass[64] = {};
    GetClassNameW(child, childClass, 64);
    const std::wstring text = WindowText(child);
    if (lstrcmpiW(childClass, L"Static") == 0 && text.size() > box.text.size()) box.text = text;
    return TRUE;
}

struct MessageBoxSearch {
    DWORD processId;
    MessageBoxSeen box;
};

inline BOOL CALLBACK FindMessageBoxWindow(HWND window, LPARAM param) {
    MessageBoxSearch& s = *reinterpret_cast<MessageBoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner != s.processId || !IsWindowVisible(window) || std::wstring(className) != L"#32770") return TRUE;
    // The updater's progress dialog is a dialog too, but no box.
    if (FindWindowExW(window, nullptr, L"msctls_progress32", nullptr)) return TRUE;
    s.box.window = window;
    s.box.caption = WindowText(window);
    EnumChildWindows(window, ReadMessageBoxText, reinterpret_cast<LPARAM>(&s.box));
    return FALSE;
}

// The visible message box of the process, or a null window.
inline MessageBoxSeen FindMessageBox(DWORD processId) {
    MessageBoxSearch search{processId, {}};
    EnumWindows(FindMessageBoxWindow, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

// Waits for the process's message box; a null window if none came in a minute.
inline MessageBoxSeen WaitForMessageBox(DWORD processId) {
    MessageBoxSeen box;
    WaitFor([&] {
        box = FindMessageBox(processId);
        return box.window != nullptr && !box.text.empty();
    });
    return box;
}

// Presses the box's OK button.
inline void CloseMessageBox(const MessageBoxSeen& box) { PostMessageW(box.window, WM_COMMAND, IDOK, 0); }

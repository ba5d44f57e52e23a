// A child program for the process tests. A GUI program, so that it can be
// waited for until it is idle for input.
//   exit <code>                 ends with that exit code
//   signal <event> <code>       signals the named event, then ends with code
//   idle <ready> <quit>         after a short pause signals <ready>, then runs
//                               a message loop until <quit> is signalled
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

bool Signal(const wchar_t* name) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (!event) return false;
    bool set = SetEvent(event) != FALSE;
    CloseHandle(event);
    return set;
}

int RunIdleLoop(const wchar_t* ready, const wchar_t* quit) {
    HANDLE quitEvent = OpenEventW(SYNCHRONIZE, FALSE, quit);
    if (!quitEvent) return 20;
    // The pause makes a starter that does not wait for idle find <ready> unset.
    Sleep(300);
    if (!Signal(ready)) return 21;
    SetTimer(nullptr, 0, 20, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && WaitForSingleObject(quitEvent, 0) == WAIT_OBJECT_0) break;
        DispatchMessageW(&msg);
    }
    CloseHandle(quitEvent);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"exit" && argc == 3) return _wtoi(argv[2]);
    if (mode == L"signal" && argc == 4) return Signal(argv[2]) ? _wtoi(argv[3]) : 10;
    if (mode == L"idle" && argc == 4) return RunIdleLoop(argv[2], argv[3]);
    return 99;
}

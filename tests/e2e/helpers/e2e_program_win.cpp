// Stands in for the programs an update runs (the stop, check, setup and start
// commands, the client's main program) and for a program that keeps a file
// locked. Each run appends one line to "e2e-journal.txt" in its own folder:
// its file name, its arguments, and with "meetinfo" the content of the
// "meetinfo" file beside it. Arguments it acts on:
//   exit=N       ends with exit code N (default 0)
//   event=NAME   signals the named event, then goes on for linger=MS (default 3000)
//   idle         waits for input once, so the starter's wait for idle returns,
//                then goes on for linger=MS
//   hold=PATH    opens PATH without sharing, writes PATH + ".held", keeps it for linger=MS
// After lingering it appends "<file name> done", so a test sees whether its
// starter went on before the program ended.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring ValueOf(int argc, wchar_t** argv, const wchar_t* name) {
    const size_t length = wcslen(name);
    for (int i = 1; i < argc; ++i) {
        if (wcsncmp(argv[i], name, length) == 0) return argv[i] + length;
    }
    return std::wstring();
}

bool HasArg(int argc, wchar_t** argv, const wchar_t* word) {
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], word) == 0) return true;
    }
    return false;
}

std::string Utf8(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void AppendLine(const std::wstring& journalPath, const std::string& line) {
    FILE* journal = _wfopen(journalPath.c_str(), L"ab");
    if (journal == nullptr) return;
    fprintf(journal, "%s\n", line.c_str());
    fclose(journal);
}

std::string ReadFileText(const std::wstring& path) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr) return "(none)";
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path = self;
    const std::wstring dir = path.substr(0, path.rfind(L'\\') + 1);
    const std::wstring name = path.substr(dir.size());

    std::string line = Utf8(name);
    for (int i = 1; i < argc; ++i) line += " " + Utf8(argv[i]);
    if (HasArg(argc, argv, L"meetinfo")) line += " |meetinfo=" + ReadFileText(dir + L"meetinfo");
    const std::wstring journal = dir + L"e2e-journal.txt";
    AppendLine(journal, line);

    const std::wstring linger = ValueOf(argc, argv, L"linger=");
    const DWORD lingerMs = linger.empty() ? 3000 : static_cast<DWORD>(_wtoi(linger.c_str()));
    const std::wstring hold = ValueOf(argc, argv, L"hold=");
    if (!hold.empty()) {
        HANDLE file = CreateFileW(hold.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 3;
        FILE* held = _wfopen((hold + L".held").c_str(), L"wb");
        if (held != nullptr) fclose(held);
        Sleep(lingerMs);
        CloseHandle(file);
        AppendLine(journal, Utf8(name) + " done");
    }
    if (HasArg(argc, argv, L"idle")) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 500, QS_ALLINPUT);
        Sleep(lingerMs);
        AppendLine(journal, Utf8(name) + " done");
    }
    const std::wstring event = ValueOf(argc, argv, L"event=");
    if (!event.empty()) {
        HANDLE signal = OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str());
        if (signal != nullptr) {
            SetEvent(signal);
            CloseHandle(signal);
        }
        Sleep(lingerMs);
        AppendLine(journal, Utf8(name) + " done");
    }
    const std::wstring exitCode = ValueOf(argc, argv, L"exit=");
    return exitCode.empty() ? 0 : _wtoi(exitCode.c_str());
}

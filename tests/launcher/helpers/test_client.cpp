// A client module for the launcher's tests. Its "Init" records what it was
// given in "client_record.txt" in the current directory, appends one line to
// the launcher's log file (which the launcher must have closed first), and
// returns the number in "client_result.txt" (5 when that file is missing).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl Init(HINSTANCE instance, const wchar_t* commandLine) {
    wchar_t exePath[MAX_PATH] = {};
    GetModuleFileNameW(instance, exePath, MAX_PATH);
    if (FILE* f = std::fopen("client_record.txt", "wb")) {
        std::fprintf(f, "instance-module:%s\ncmdline:%s", Narrow(exePath).c_str(),
                     Narrow(commandLine ? commandLine : L"(null)").c_str());
        std::fclose(f);
    }
    if (FILE* log = std::fopen("log\\QKMeeting.log", "ab")) {
        std::fputs("client module line\n", log);
        std::fclose(log);
    }
    int result = 5;
    if (FILE* f = std::fopen("client_result.txt", "rb")) {
        if (std::fscanf(f, "%d", &result) != 1) result = 5;
        std::fclose(f);
    }
    return result;
}

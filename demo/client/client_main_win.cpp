// The sample client's main program. The updater starts it last and hands it
// the meeting's parameters in the file "meetinfo" beside it; it copies what it
// received to "client_received.txt" with its own version, so the demo can show
// what reached the client, and exits at once (the updater waits for it).
#include <windows.h>

#include <cstdio>
#include <string>

#ifndef ZM_DEMO_VERSION
#define ZM_DEMO_VERSION "0"
#endif

namespace {

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::string ReadAll(const std::wstring& path) {
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring dir = OwnDirectory();
    const std::string meetinfo = ReadAll(dir + L"meetinfo");
    FILE* out = _wfopen((dir + L"client_received.txt").c_str(), L"wb");
    if (!out) return 1;
    std::fprintf(out, "client version: %s\nmeetinfo: %s\n", ZM_DEMO_VERSION,
                 meetinfo.empty() ? "(missing)" : meetinfo.c_str());
    std::fclose(out);
    return meetinfo.empty() ? 2 : 0;
}

// Stands in for a browser: writes its command line to the file named by the
// environment variable ZM_RECORD_FILE and exits.
#include <windows.h>

#include <cstdio>

int main() {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZM_RECORD_FILE", path, MAX_PATH) == 0) return 2;
    FILE* f = _wfopen(path, L"wb");
    if (f == nullptr) return 3;
    const wchar_t* line = GetCommandLineW();
    fwrite(line, sizeof(wchar_t), wcslen(line), f);
    fclose(f);
    return 0;
}

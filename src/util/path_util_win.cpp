#include "util/path_util.h"

#include <windows.h>

std::wstring GetModulePath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A full buffer means the path was cut.
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return std::wstring(path, length);
}

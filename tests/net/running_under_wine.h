// Whether the Windows tests run under Wine, for the few places where Wine's
// WinHTTP differs from Windows; each such test notes the difference.
#pragma once

#include <windows.h>

inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#include "util/debug_output.h"

#include <windows.h>

#include <string>

#include "util/code_page.h"

void DebugOutput(const char* text) { OutputDebugStringA(text); }

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool SetCurrentThreadName(const char* name) {
    // SetThreadDescription exists from Windows 10 1607 on; the executable
    // also runs on Windows 7, so it is looked up at run time.
    using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return false;
    auto setDescription = reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    if (!setDescription) return false;
    std::wstring wide = AnsiToWide(name);
    return SUCCEEDED(setDescription(GetCurrentThread(), wide.c_str()));
}

#include "vocabulary/app_instance.h"

#include <windows.h>

#include "diag/trace_log.h"

namespace {
HINSTANCE g_instance = nullptr;
}

void SetAppInstance(void* instance) { g_instance = static_cast<HINSTANCE>(instance); }

void* GetAppInstance() { return g_instance; }

std::wstring LoadResourceText(unsigned id) {
    // A zero buffer length returns a read-only pointer to the resource itself,
    // so texts of any length (the term table is long) come whole.
    const wchar_t* text = nullptr;
    int length = LoadStringW(g_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        AgentLogErr("Get resouce(%d) failed! (err:%d)", static_cast<int>(id), static_cast<int>(GetLastError()));
        return std::wstring();
    }
    return std::wstring(text, static_cast<size_t>(length));
}

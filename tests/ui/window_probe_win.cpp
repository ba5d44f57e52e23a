#include "window_probe_win.h"

#include <algorithm>

namespace {

bool HasClass(HWND window, const wchar_t* name) {
    wchar_t found[64] = {};
    GetClassNameW(window, found, 64);
    return lstrcmpiW(found, name) == 0;
}

struct SSearch {
    DWORD processId;
    HWND owner;
    bool wantOwner;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<SSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !HasClass(window, L"#32770")) return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
    HWND owner = GetWindow(window, GW_OWNER);
    if (search->wantOwner ? owner != search->owner : owner != nullptr) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Find(DWORD processId, HWND owner, bool wantOwner, bool visibleOnly) {
    SSearch search{processId, owner, wantOwner, visibleOnly, {}};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    auto* box = reinterpret_cast<SMessageBox*>(param);
    if (!IsWindowVisible(child)) return TRUE;
    if (HasClass(child, L"Button")) {
        box->buttons.push_back(GetDlgCtrlID(child));
    } else if (HasClass(child, L"Static")) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            box->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        } else {
            const std::wstring text = WindowText(child);
            if (!text.empty()) box->text += text;
        }
    }
    return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(10);
    }
}

HWND FindMainDialog(DWORD processId) {
    for (HWND dialog : Find(processId, nullptr, false, false)) {
        if (IsWindowVisible(dialog) || FindMessageBox(processId, dialog)) return dialog;
    }
    return nullptr;
}

std::vector<HWND> FindUnownedDialogs(DWORD processId) { return Find(processId, nullptr, false, false); }

HWND FindMessageBox(DWORD processId, HWND owner) {
    const std::vector<HWND> found = Find(processId, owner, true, true);
    return found.empty() ? nullptr : found.front();
}

std::vector<HWND> FindMessageBoxes(DWORD processId, HWND owner) { return Find(processId, owner, true, true); }

SMessageBox ReadMessageBox(HWND window) {
    SMessageBox box;
    box.window = window;
    box.caption = WindowText(window);
    EnumChildWindows(window, ReadChild, reinterpret_cast<LPARAM>(&box));
    std::sort(box.buttons.begin(), box.buttons.end());
    return box;
}

bool WaitForMessageBox(DWORD processId, HWND owner, unsigned timeoutMs, SMessageBox& box) {
    HWND window = nullptr;
    if (!WaitUntil([&] { return (window = FindMessageBox(processId, owner)) != nullptr; }, timeoutMs)) return false;
    box = ReadMessageBox(window);
    return true;
}

void PressButton(HWND box, int id) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

bool WaitGone(HWND window, unsigned timeoutMs) {
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

#include "ui/window_impl.h"

namespace {

const wchar_t kObjectProperty[] = L"ZoltaWindowImpl";

}  // namespace

CWindowImpl::~CWindowImpl() { UnsubclassWindow(); }

WNDPROC CWindowImpl::GetWindowProc() { return WindowProc; }

bool CWindowImpl::SubclassWindow(HWND window) {
    if (!window || window_ || GetPropW(window, kObjectProperty)) return false;
    if (!SetPropW(window, kObjectProperty, this)) return false;
    window_ = window;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc())));
    return true;
}

HWND CWindowImpl::UnsubclassWindow() {
    HWND window = window_;
    if (!window) return nullptr;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window, kObjectProperty);
    window_ = nullptr;
    original_ = nullptr;
    return window;
}

LRESULT CWindowImpl::DefWindowProcW(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(original_, window_, message, wParam, lParam);
}

LRESULT CALLBACK CWindowImpl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CWindowImpl*>(GetPropW(window, kObjectProperty));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    if (message != WM_NCDESTROY && self->ProcessWindowMessage(window, message, wParam, lParam, result)) return result;
    result = self->DefWindowProcW(message, wParam, lParam);
    // The window is gone after this message: detach so the object cannot reach it.
    if (message == WM_NCDESTROY) self->UnsubclassWindow();
    return result;
}

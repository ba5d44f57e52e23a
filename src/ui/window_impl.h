// Windows only: a C++ object behind an existing window (a dialog's control)
// that it subclasses; each message goes to ProcessWindowMessage first.
#pragma once

#include <windows.h>

// Control notifications a dialog sends back to the control that raised them
// arrive at the control as message number + kReflectedMessageBase.
const UINT kReflectedMessageBase = WM_USER + 0x1C00;

// Reached only on the thread of the window it is attached to.
class CWindowImpl {
public:
    CWindowImpl() = default;
    // Gives the window its own procedure back if still attached.
    virtual ~CWindowImpl();
    CWindowImpl(const CWindowImpl&) = delete;
    CWindowImpl& operator=(const CWindowImpl&) = delete;

    // The procedure that replaces the window's own.
    virtual WNDPROC GetWindowProc();
    // Returns true when the message was handled, with its result in result;
    // otherwise the window's own procedure gets it.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    // Returns false when the window is null or already attached to an object.
    bool SubclassWindow(HWND window);
    // Returns the window detached from this object, or null when none was attached.
    HWND UnsubclassWindow();
    HWND Handle() const { return window_; }

protected:
    // The window's own procedure.
    LRESULT DefWindowProcW(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    WNDPROC original_ = nullptr;
};

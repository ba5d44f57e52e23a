// Windows only: a C++ object that runs a dialog template modally; each
// message goes to ProcessWindowMessage first.
#pragma once

#include <windows.h>

#include "ui/window_impl.h"

// Reached only on the thread that runs the dialog.
class CDialogImpl {
public:
    CDialogImpl() = default;
    virtual ~CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;

    // Runs the dialog template of instance modally over owner. Returns the
    // code given to EndDialog, or -1 when the dialog could not be created.
    INT_PTR DoModal(HINSTANCE instance, int templateId, HWND owner);
    // Returns true when the message was handled, with its result in result.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    HWND Handle() const { return window_; }
    bool EndDialog(INT_PTR code);

protected:
    // Sends a control's notification (command, draw item, colour request and
    // the like) back to that control as message + kReflectedMessageBase.
    // Returns false for messages that are not notifications of a control.
    bool ReflectNotifications(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

// Finding and working the windows of a dialog under test from another
// thread or another process: the dialog itself, the message boxes it shows,
// their texts and buttons.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct SMessageBox {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
    std::vector<int> buttons;  // ids of the visible buttons
};

// Polls condition every 10 ms until it holds or timeoutMs have passed.
bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs);

// The dialog window (class "#32770") of the process that has no owner, once
// it is up: visible, or showing a message box before it shows itself (a
// dialog may show one while it opens). Null when there is none.
HWND FindMainDialog(DWORD processId);
// Every dialog window of the process that has no owner, shown or not.
std::vector<HWND> FindUnownedDialogs(DWORD processId);
// The visible message box of the process owned by owner, or null.
HWND FindMessageBox(DWORD processId, HWND owner);
// Every visible message box of the process owned by owner.
std::vector<HWND> FindMessageBoxes(DWORD processId, HWND owner);
SMessageBox ReadMessageBox(HWND window);
// Waits up to timeoutMs for a message box owned by owner and reads it.
bool WaitForMessageBox(DWORD processId, HWND owner, unsigned timeoutMs, SMessageBox& box);
// Clicks the button id of a message box.
void PressButton(HWND box, int id);
// Waits until the window is gone or hidden.
bool WaitGone(HWND window, unsigned timeoutMs);

std::wstring WindowText(HWND window);

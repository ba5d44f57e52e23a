// Windows only: the progress dialog of an update. A small topmost window
// (dialog template 129) that starts the update worker 10 ms after it opens,
// shows the worker's status text with a turning spinner and its percentage
// on a progress bar, stops an update whose percentage does not move for a
// watchdog period (except while the worker is busy applying files or
// running a command, whose progress it cannot measure), asks before the user closes it, and, when the worker
// reports its result, shows that result's message and ends the process with
// the result as exit code.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "ui/button_st.h"
#include "ui/dialog_impl.h"
#include "ui/layer_draw.h"
#include "update/update_handle.h"

// The update worker as the dialog drives it: handed the dialog's
// CUpdateHandle, then started once on the dialog's thread.
class CDialogWorker {
public:
    virtual ~CDialogWorker() = default;
    virtual void SetHandle(CUpdateHandle* handle) = 0;
    virtual void Start() = 0;
};

// Any worker class with SetHandle(CUpdateHandle*) and Start().
template <class Worker>
class CDialogWorkerOf : public CDialogWorker {
public:
    explicit CDialogWorkerOf(Worker& worker) : worker_(worker) {}
    void SetHandle(CUpdateHandle* handle) override { worker_.SetHandle(handle); }
    void Start() override { worker_.Start(); }

private:
    Worker& worker_;
};

// What the dialog does at the edges of the process. Empty functions take
// the product's behaviour.
struct SMainDlgHooks {
    // How long the percentage may stand still before the update is stopped.
    unsigned watchdogPeriodMs = 120000;
    // Free bytes of the volume of drive ("C:"); false when they cannot be
    // told. The product asks GetDiskFreeSpaceExW.
    std::function<bool(const std::wstring& drive, unsigned long long& freeBytes)> freeSpace;
    // Run just before the process ends: the updater application's ExitInstance.
    std::function<void()> exitInstance;
    // Ends the process with code; the product terminates it.
    std::function<void(int code)> terminate;
};

// The dialog's window runs on the thread that calls DoModal. The
// CUpdateHandle operations may be called from any thread: they post to the
// dialog, except SetErrorText, which stores the text under a lock.
class CMainDlg : public CDialogImpl, public CLayerDraw, public CUpdateHandle {
public:
    // Posted by the CUpdateHandle operations.
    static constexpr UINT WM_UPDATE_PERCENT = WM_USER + 100;  // wParam: percent
    static constexpr UINT WM_UPDATE_FINISHED = WM_USER + 101;  // wParam: result code
    static constexpr UINT WM_UPDATE_STATUS = WM_USER + 102;  // wParam: std::wstring*, freed by the dialog
    static constexpr UINT WM_UPDATE_BUSY = WM_USER + 103;    // wParam: 1 busy, 0 no longer
    enum {
        TIMER_START = 100,
        TIMER_SPINNER = 101,
        TIMER_WATCHDOG = 102,
    };
    static constexpr unsigned kStartDelayMs = 10;
    static constexpr unsigned kSpinnerPeriodMs = 300;
    static constexpr int kHeaderHeight = 40;
    // Below this many free bytes on the updater's drive the user is warned.
    static constexpr unsigned long long kLowDiskSpace = 104857600ULL;

    // The worker must outlive the dialog.
    explicit CMainDlg(CDialogWorker& worker, SMainDlgHooks hooks = SMainDlgHooks());
    ~CMainDlg() override;

    // Runs the dialog of instance's resources modally over owner. In the
    // product it never returns: the dialog ends the process. Returns -1 when
    // the dialog cannot be created.
    INT_PTR DoModal(HINSTANCE instance, HWND owner);

    // CUpdateHandle.
    void NotifyFinished(int code) override;
    void NotifyPercent(int percent) override;
    void Show(int showCommand) override;
    void NotifyStatusText(const std::wstring& text) override;
    void SetErrorText(const std::wstring& text) override;
    void NotifyBusy(bool busy) override;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // The status text without its spinner character.
    const std::wstring& StatusText() const { return status_; }
    int SpinnerIndex() const { return spinner_; }
    int CurrentPercent() const { return currentPercent_; }

private:
    void OnInitDialog();
    void CentreOverOwner();
    void BuildLayers();
    void RefreshStatus();
    void OnTimer(UINT_PTR id);
    void OnBusy(bool busy);
    void CheckDiskSpace();
    void OnClose();
    void OnFinished(int code);
    // The message box text for a failed update's code.
    std::wstring ErrorMessageOf(int code);
    void EndProcess(int code);

    CDialogWorker& worker_;
    SMainDlgHooks hooks_;
    // Where the worker's reports go: the window while it exists.
    std::atomic<HWND> reportTarget_{nullptr};
    HINSTANCE instance_ = nullptr;
    // The screen's dots per inch when the dialog opened; the layers' pixel
    // sizes are given at 96 and scaled to it (Px).
    int dpi_ = 96;
    int Px(int pixels) const;
    std::mutex errorTextLock_;
    std::wstring errorText_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    CButtonST closeButton_;
    std::wstring status_;
    int spinner_ = 0;
    int currentPercent_ = 0;
    // The percentage at the watchdog's last tick.
    int lastWatchedPercent_ = 0;
    // The worker is in a step without measurable progress: the watchdog waits.
    bool busy_ = false;
};

// Runs the progress dialog of the executable's resources (instance: its
// HINSTANCE) modally over the active window, driving worker. The dialog ends
// the process itself with the update's result code (or -1 when the user
// closes it), calling exitInstance just before. Returns only when the dialog
// cannot be created: -1.
int RunMainDialog(void* instance, CDialogWorker& worker, const std::function<void()>& exitInstance);

// Runs the progress dialog in the test process: the dialog on the calling
// thread, a scripted worker in place of the update, and an observer on a
// thread of its own that works the dialog as a user (or a test) would. The
// process is not ended: the dialog's end records the code and closes the
// dialog instead.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "scripted_update_worker.h"
#include "ui/main_dlg.h"

class CMainDlgRunner {
public:
    using Step = CScriptedUpdateWorker::SStep;

    explicit CMainDlgRunner(std::vector<Step> steps);

    // Replaced by a test before Run; its exitInstance and terminate are the
    // runner's own.
    SMainDlgHooks hooks;

    // Runs the dialog until it ends. observe gets the visible dialog window
    // once it is up; when it returns and the dialog does not end by itself
    // soon, the runner closes any message box and ends the dialog with code
    // kAbandoned.
    void Run(const std::function<void(CMainDlgRunner& runner, HWND dialog)>& observe);

    static const int kAbandoned = 9999;

    CScriptedUpdateWorker& worker() { return worker_; }
    CMainDlg* dialog() { return dialog_; }
    // The codes the dialog ended with, in order (more than one when results
    // overlap), and what happened at the end: "exitInstance" and "terminate N".
    const std::vector<int>& ended() const { return ended_; }
    const std::vector<std::string>& events() const { return events_; }
    // The trace log written during the run.
    const std::string& log() const { return log_; }

    // Helpers for observers.
    static int ProgressPosition(HWND dialog);
    static std::wstring StatusText(HWND dialog);
    // Posts a status text to the dialog as the worker would and waits until it shows.
    static bool SyncStatus(HWND dialog, const std::wstring& marker, unsigned timeoutMs = 10000);

private:
    CScriptedUpdateWorker worker_;
    CDialogWorkerOf<CScriptedUpdateWorker> driven_;
    CMainDlg* dialog_ = nullptr;
    std::vector<int> ended_;
    std::vector<std::string> events_;
    std::string log_;
};

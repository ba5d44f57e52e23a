#include "main_dlg_runner_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <thread>

#include "../../res/resource.h"
#include "captured_trace_log.h"
#include "window_probe_win.h"

namespace {

const unsigned kShowTimeoutMs = 20000;
// How long the dialog may take to end by itself once the observer is done.
const unsigned kEndTimeoutMs = 20000;

// Answers every message box of the dialog until none is left, so an
// observer that gave up cannot leave the dialog's thread blocked.
void CloseMessageBoxes(HWND dialog) {
    const DWORD process = GetCurrentProcessId();
    for (int round = 0; round < 100; ++round) {
        HWND box = FindMessageBox(process, dialog);
        if (!box) return;
        for (int id : {IDOK, IDNO, IDCANCEL}) PressButton(box, id);
        WaitGone(box, 1000);
    }
}

}  // namespace

CMainDlgRunner::CMainDlgRunner(std::vector<Step> steps) : worker_(std::move(steps)), driven_(worker_) {}

void CMainDlgRunner::Run(const std::function<void(CMainDlgRunner& runner, HWND dialog)>& observe) {
    CapturedTraceLog log;
    EXPECT_TRUE(log.opened());
    SMainDlgHooks runHooks = hooks;
    CMainDlg* running = nullptr;
    runHooks.exitInstance = [this] { events_.push_back("exitInstance"); };
    runHooks.terminate = [this, &running](int code) {
        events_.push_back("terminate " + std::to_string(code));
        ended_.push_back(code);
        running->EndDialog(code);
    };
    CMainDlg dialog(driven_, runHooks);
    running = &dialog;
    dialog_ = &dialog;

    std::thread observer([this, &observe] {
        HWND window = nullptr;
        if (!WaitUntil([&] { return (window = FindMainDialog(GetCurrentProcessId())) != nullptr; }, kShowTimeoutMs)) {
            ADD_FAILURE() << "the dialog did not show";
            for (HWND hidden : FindUnownedDialogs(GetCurrentProcessId())) {
                CloseMessageBoxes(hidden);
                PostMessageW(hidden, CMainDlg::WM_UPDATE_FINISHED, kAbandoned, 0);
            }
            return;
        }
        observe(*this, window);
        if (!WaitGone(window, kEndTimeoutMs)) {
            CloseMessageBoxes(window);
            PostMessageW(window, CMainDlg::WM_UPDATE_FINISHED, kAbandoned, 0);
        }
    });
    dialog.DoModal(GetModuleHandleW(nullptr), nullptr);
    observer.join();
    // The worker may still report; it must be done before the dialog goes.
    worker_.Join();
    dialog_ = nullptr;
    log_ = log.Text();
}

int CMainDlgRunner::ProgressPosition(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

std::wstring CMainDlgRunner::StatusText(HWND dialog) { return WindowText(GetDlgItem(dialog, IDC_STATUS)); }

bool CMainDlgRunner::SyncStatus(HWND dialog, const std::wstring& marker, unsigned timeoutMs) {
    PostMessageW(dialog, CMainDlg::WM_UPDATE_STATUS, reinterpret_cast<WPARAM>(new std::wstring(marker)), 0);
    return WaitUntil([&] { return StatusText(dialog).compare(0, marker.size(), marker) == 0; }, timeoutMs);
}

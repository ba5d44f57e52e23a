// The progress dialog in a process of its own, set up as the updater
// application sets it up: the language named in UserCfg.ini beside the
// program (Chinese without one), the dialog run modally, the process ended by
// the dialog with the result code. A scripted worker stands in for the update.
//
// main_dlg_host.exe [--watchdog=MS] [--free=BYTES] STEP...
//   STEP: status=TEXT, percent=N, error=TEXT, finish=CODE, or pause=EVENT,
//   which waits until the caller sets the named event.
// Ends with the dialog's code; 200 for a bad argument, 201 when the dialog
// returned instead of ending the process.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "manifest/ini_profile.h"
#include "scripted_update_worker.h"
#include "ui/main_dlg.h"
#include "util/path_util.h"
#include "util/text_util.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& prefix, std::wstring& rest) {
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    rest = text.substr(prefix.size());
    return true;
}

void WaitForEvent(const std::wstring& name) {
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (!event) return;
    WaitForSingleObject(event, INFINITE);
    CloseHandle(event);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    SetAppInstance(instance);

    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    SMainDlgHooks hooks;
    std::vector<CScriptedUpdateWorker::SStep> steps;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        std::wstring value;
        if (StartsWith(arg, L"--watchdog=", value)) {
            hooks.watchdogPeriodMs = static_cast<unsigned>(ParseLeadingInt(value));
        } else if (StartsWith(arg, L"--free=", value)) {
            const unsigned long long bytes = std::stoull(value);
            hooks.freeSpace = [bytes](const std::wstring&, unsigned long long& freeBytes) {
                freeBytes = bytes;
                return true;
            };
        } else if (StartsWith(arg, L"status=", value)) {
            steps.push_back(CScriptedUpdateWorker::Status(value));
        } else if (StartsWith(arg, L"percent=", value)) {
            steps.push_back(CScriptedUpdateWorker::Percent(ParseLeadingInt(value)));
        } else if (StartsWith(arg, L"error=", value)) {
            steps.push_back(CScriptedUpdateWorker::ErrorText(value));
        } else if (StartsWith(arg, L"finish=", value)) {
            steps.push_back(CScriptedUpdateWorker::Finish(ParseLeadingInt(value)));
        } else if (StartsWith(arg, L"pause=", value)) {
            steps.push_back(CScriptedUpdateWorker::Pause(value));
        } else {
            return 200;
        }
    }
    LocalFree(args);

    const std::wstring language = ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, GetAppDir() + L"UserCfg.ini");
    SelectMessageLanguage(language);
    SelectTermLanguage(language);

    CScriptedUpdateWorker worker(steps, WaitForEvent);
    CDialogWorkerOf<CScriptedUpdateWorker> driven(worker);
    CMainDlg dialog(driven, hooks);
    dialog.DoModal(instance, nullptr);
    return 201;
}

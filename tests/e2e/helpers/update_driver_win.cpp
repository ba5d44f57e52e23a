// Runs one update as the updater does, without its dialog: the command line
// is the updater's ("<command string>" or "-do=update -param=<command
// string>"), the installation is the folder the program lives in, and the
// worker reports to a CHeadlessUpdateHandle. The exit code is the update's
// result; what the worker reported goes to "run-<pid>.txt" in the folder
// named by the environment variable ZM_E2E_REPORT_DIR.
//
// With ZM_E2E_WATCHDOG_MS set, the update runs behind the real progress
// dialog, whose watchdog period is that many milliseconds instead of the
// product's two minutes; its report then holds the result alone. Any other command line that begins with '-' goes
// to the launcher's dispatch, as the product's entry point hands it over.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "launcher/dispatch.h"
#include "launcher/launcher_log.h"
#include "launcher/system_update_environment.h"
#include "launcher/win_launcher_host.h"
#include "ui/main_dlg.h"
#include "manifest/ini_profile.h"
#include "update/headless_update_handle.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"

namespace {

const wchar_t kParamSwitch[] = L"-param=";

// The command string of the updater's command line; empty when there is none.
std::wstring CommandStringOf(int argc, wchar_t** argv) {
    if (argc == 2) return argv[1];
    const size_t switchLength = wcslen(kParamSwitch);
    if (argc == 3 && wcsstr(argv[1], L"update") != nullptr && wcsncmp(argv[2], kParamSwitch, switchLength) == 0) {
        return argv[2] + switchLength;
    }
    return std::wstring();
}

void WriteReport(int argc, wchar_t** argv, const CHeadlessUpdateHandle& handle, int result) {
    wchar_t dir[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZM_E2E_REPORT_DIR", dir, MAX_PATH) == 0) return;
    std::string text = "module=" + WideToUtf8(GetModulePath()) + "\n";
    for (int i = 1; i < argc; ++i) text += "arg=" + WideToUtf8(argv[i]) + "\n";
    text += "result=" + std::to_string(result) + "\n";
    text += "percents=";
    for (int percent : handle.Percents()) text += std::to_string(percent) + ",";
    text += "\n";
    for (const std::wstring& status : handle.StatusTexts()) text += "status=" + WideToUtf8(status) + "\n";
    text += "error=" + WideToUtf8(handle.ErrorText()) + "\n";
    const std::wstring name = std::wstring(dir) + L"\\run-" + std::to_wstring(GetCurrentProcessId());
    // Written whole under another name first, so a reader never sees half a report.
    if (WriteWholeFile(name + L".tmp", text)) MoveFileExW((name + L".tmp").c_str(), (name + L".txt").c_str(), 0);
}

unsigned WatchdogPeriodMs() {
    wchar_t text[32] = {};
    if (GetEnvironmentVariableW(L"ZM_E2E_WATCHDOG_MS", text, 32) == 0) return 0;
    return static_cast<unsigned>(_wtoi(text));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetAppInstance(GetModuleHandleW(nullptr));
    InitLauncherLog();
    if (argc >= 2 && argv[1][0] == L'-' && wcsstr(argv[1], L"update") == nullptr) {
        CWinLauncherHost host(GetModuleHandleW(nullptr));
        std::wstring line;
        for (int i = 1; i < argc; ++i) line += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
        const int result = Dispatch(host, line);
        CloseLog();
        return result;
    }
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(CommandStringOf(argc, argv), prefix, text)) {
        CloseLog();
        return -1;
    }
    CCmdLineAnalyse& params = CmdLineParams();
    params.SetPrefix(prefix);
    params.Parse(text, L'\n', L'=');
    params.Set(L"-PRODUCT", L"win32_net");
    const std::wstring language = ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, GetAppDir() + L"UserCfg.ini");
    SelectMessageLanguage(language);
    SelectTermLanguage(language);

    CHeadlessUpdateHandle handle;
    int result = 0;
    {
        CUpdateThread worker(SystemUpdateEnvironment());
        if (const unsigned watchdogMs = WatchdogPeriodMs()) {
            // The dialog ends the process with the result, as in the product.
            INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
            InitCommonControlsEx(&controls);
            CDialogWorkerOf<CUpdateThread> driven(worker);
            SMainDlgHooks hooks;
            hooks.watchdogPeriodMs = watchdogMs;
            // No low-space box that nobody would close.
            hooks.freeSpace = [](const std::wstring&, unsigned long long&) { return false; };
            hooks.terminate = [&](int code) {
                WriteReport(argc, argv, handle, code);
                TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
            };
            CMainDlg dialog(driven, hooks);
            dialog.DoModal(GetModuleHandleW(nullptr), nullptr);
            return -1;
        }
        worker.SetHandle(&handle);
        worker.Start();
        result = handle.WaitForResult();
    }
    WriteReport(argc, argv, handle, result);
    CloseLog();
    return result;
}

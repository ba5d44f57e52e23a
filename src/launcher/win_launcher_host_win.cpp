#include "launcher/win_launcher_host.h"

#include <windows.h>

#include "diag/trace_log.h"
#include "launcher/client_launch.h"
#include "manifest/ini_profile.h"
#include "update/apply_transaction.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "vocabulary/app_instance.h"
#include "../../res/resource.h"

std::wstring CWinLauncherHost::OemId() { return LoadResourceText(IDS_OEM_ID); }

bool CWinLauncherHost::TvEditionOn() {
    return ReadProfileInt(GetAppDir() + L"UserCfg.ini", L"CFG", L"TVVersion", 0) != 0;
}

std::wstring CWinLauncherHost::EntranceTable() { return LoadResourceText(IDS_ENTRANCE_TABLE); }

std::wstring CWinLauncherHost::WebHomeUrl() { return ::WebHomeUrl(); }

bool CWinLauncherHost::ModuleExists(const std::wstring& module) {
    // The current directory is the application directory.
    return FileExists(module);
}

bool CWinLauncherHost::RunningFromUpdateVer() {
    std::wstring ownDir;
    SplitModulePath(GetModulePath(), &ownDir, nullptr);
    return ownDir != GetAppDir();
}

void CWinLauncherHost::RecoverUnfinishedApply() {
    CApplyTransaction(GetAppDir(), OemId(), kAgentLogModule).Recover();
}

bool CWinLauncherHost::CallClient(const std::wstring& module, const std::wstring& commandLine, int& result) {
    ClientInitFn init = LoadClientEntry(module);
    if (init == nullptr) return false;
    result = InvokeClientEntry(init, instance_, commandLine);
    return true;
}

int CWinLauncherHost::OpenWebPage(const std::wstring& target) { return ::OpenWebPage(target); }

int CWinLauncherHost::DoUpdate(const std::wstring& commandString) { return ::DoUpdate(instance_, commandString); }

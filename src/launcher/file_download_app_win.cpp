#include "launcher/file_download_app.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "diag/trace_log.h"
#include "launcher/file_download_app_dump.h"
#include "launcher/system_update_environment.h"
#include "launcher/updater_record.h"
#include "manifest/ini_profile.h"
#include "ui/main_dlg.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/path_util.h"
#include "util/text_util.h"
#include "vocabulary/app_instance.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"
#include "../../res/resource.h"

namespace {

const int kMsgError = 6;
const int kMsgInvalidParameters = 9;
const int kMsgLocalOperationAbnormal = 14;
const WORD kWinsockVersion = 0x0202;
static_assert(kUpdaterRecordSize <= CFileDownloadApp::kShareMemSize, "the updater record fits the shared block");

// When the process was created (100 ns units since 1601); 0 when it
// cannot be told.
uint64_t CreationTimeOf(HANDLE process) {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

std::wstring FileNameOf(const std::wstring& path) {
    std::wstring name;
    SplitModulePath(path, nullptr, &name);
    return name;
}

// The full path of the process's executable; empty when it cannot be told.
std::wstring ProcessImagePath(HANDLE process) {
    wchar_t path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, path, &length)) return std::wstring();
    return std::wstring(path, length);
}

void ShowError(int message) {
    MessageBoxW(nullptr, GetMessageText(message), GetMessageText(kMsgError), MB_ICONERROR);
}

}  // namespace

bool CFileDownloadApp::InitInstance(void* instance, const std::wstring& commandString) {
    DownLogInf("---------- CFileDownloadApp running... (pid:%d, oem:%s)----------",
               static_cast<int>(CurrentProcessId()), WideToAnsi(LoadResourceText(IDS_OEM_ID)).c_str());
    instance_ = instance;
    appDir_ = GetAppDir();
    SetCurrentDirectoryW(appDir_.c_str());
    if (commandString.empty()) {
        DownLogInf("FileDownload null param!");
        return false;
    }
    commandString_ = commandString;
    if (!StopOther()) {
        DownLogWar("FileDownload stop other failed!");
        return false;
    }
    InstallCrashHandler(this);

    int error = 0;
    std::wstring prefix;
    std::wstring text;
    if (DecodeCmdLine(commandString, prefix, text)) {
        CCmdLineAnalyse& params = CmdLineParams();
        params.SetPrefix(prefix);
        params.Parse(text, L'\n', L'=');
        params.Set(L"-PRODUCT", L"win32_net");
        const std::wstring language = ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, appDir_ + L"UserCfg.ini");
        SelectMessageLanguage(language);
        SelectTermLanguage(language);
    } else {
        error = kMsgInvalidParameters;
    }
    if (error == 0) {
        WSADATA data;
        const int result = WSAStartup(kWinsockVersion, &data);
        if (result != 0) {
            DownLogErr("WSAStartup failed! errCode:%d", result);
            error = kMsgLocalOperationAbnormal;
        }
    }
    if (error != 0) {
        ShowError(error);
        return false;
    }
    return true;
}

int CFileDownloadApp::Run() {
    // The dialog runs the update and ends the process with its result; it
    // returns only when it cannot be shown.
    CUpdateThread worker(SystemUpdateEnvironment());
    CDialogWorkerOf<CUpdateThread> driven(worker);
    return RunMainDialog(Instance(), driven, [this] { ExitInstance(); });
}

void CFileDownloadApp::ExitInstance() {
    ShareMem memory;
    const int error = memory.Open(kShareMemName, kShareMemSize);
    if (error != 0) {
        DownLogErr("Open sharemem2 failed! errCode:%d", error);
        return;
    }
    ShareMemLock lock(memory);
    if (lock.error() != 0) {
        DownLogErr("Wait sharemem2 failed! errCode:%d", lock.error());
        return;
    }
    if (ReadUpdaterRecord(memory.Data()).processId == CurrentProcessId()) WriteUpdaterRecord(memory.Data(), 0, 0);
}

bool CFileDownloadApp::StopOther() {
    int error = shareMem_.Open(kShareMemName, kShareMemSize);
    if (error != 0) {
        DownLogErr("CFileDownloadApp: Open FILEDOWNLOAD_SHAREMEM_NAME failed! errCode:%d", error);
        return false;
    }
    ShareMemLock lock(shareMem_);
    if (lock.error() != 0) {
        DownLogErr("CFileDownloadApp: Wait FILEDOWNLOAD_SHAREMEM_NAME failed! errCode:%d", lock.error());
        return false;
    }
    const uint32_t self = CurrentProcessId();
    const SUpdaterRecord previous = ReadUpdaterRecord(shareMem_.Data());
    // Our own id is left from an earlier process that had it and never
    // unregistered: there is nobody to stop.
    if (previous.processId != 0 && previous.processId != self && !EndPreviousUpdater(previous)) return false;
    WriteUpdaterRecord(shareMem_.Data(), self, CreationTimeOf(GetCurrentProcess()));
    return true;
}

bool CFileDownloadApp::EndPreviousUpdater(const SUpdaterRecord& previous) {
    const int processId = static_cast<int>(previous.processId);
    DownLogDbg("CFileDownloadApp: kill pre-FileUpdate pid:%d", processId);
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, previous.processId);
    if (!process) {
        DownLogErr("CFileDownloadApp: Open pre-FileUpdate failed! errCode:%d", static_cast<int>(GetLastError()));
        return true;
    }
    // The system reuses the ids of ended processes: an id that now belongs
    // to another program is stale, and that program must live. Whatever
    // its file name, the process created when the updater registered is it.
    const std::wstring image = ProcessImagePath(process);
    if (!IsRecordedUpdater(previous, CreationTimeOf(process), FileNameOf(image), FileNameOf(GetModulePath()))) {
        DownLogWar("CFileDownloadApp: pre-FileUpdate pid:%d is not an updater (%s), id replaced", processId,
                   WideToAnsi(image).c_str());
        CloseHandle(process);
        return true;
    }
    bool ended = true;
    if (WaitForSingleObject(process, kPreviousUpdaterGraceMs) == WAIT_TIMEOUT) {
        if (TerminateProcess(process, CurrentProcessId())) {
            // Termination is only begun: its files and locks are free once it has gone.
            WaitForSingleObject(process, kPreviousUpdaterEndMs);
        } else {
            DownLogErr("CFileDownloadApp: Terminate preFileUpdate failed! errCode:%d",
                       static_cast<int>(GetLastError()));
            ended = false;
        }
    }
    CloseHandle(process);
    return ended;
}

void CFileDownloadApp::GetDumpFilePath(std::wstring& path) {
    path = DumpFilePathOf(appDir_);
    const std::string ansi = WideToAnsi(path);
    DownLogErr("app dumped to: %s", ansi.c_str());
    DebugOutput(ansi.c_str());
}

void CFileDownloadApp::GetDumpComment(std::wstring& text) {
    const bool onLogWriter = TraceWriterThreadId() == CurrentThreadId();
    text = FormatDumpComment(CollectDumpCommentValues(appDir_, GetModulePath(), !onLogWriter));
}

CFileDownloadApp& FileDownloadApp() {
    static CFileDownloadApp app;
    return app;
}

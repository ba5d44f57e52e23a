#include "launcher/updater_app.h"

#include <windows.h>

#include "diag/trace_log.h"
#include "launcher/app_instance.h"
#include "launcher/cmd_param_deal.h"
#include "launcher/command_string.h"
#include "launcher/message_table.h"
#include "launcher/term_table.h"
#include "manifest/ini_profile.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/path_util.h"
#include "../../res/resource.h"

namespace {

const int kMsgError = 6;
const int kMsgInvalidParameters = 9;

void ShowError(int message) {
    MessageBoxW(nullptr, GetMessageText(message), GetMessageText(kMsgError), MB_ICONERROR);
}

}  // namespace

int RunUpdater(void* /*instance*/, const std::wstring& commandString) {
    DownLogInf("---------- CFileDownloadApp running... (pid:%d, oem:%s)----------",
               static_cast<int>(CurrentProcessId()), WideToAnsi(LoadResourceText(IDS_OEM_ID)).c_str());
    const std::wstring appDir = GetAppDir();
    SetCurrentDirectoryW(appDir.c_str());
    if (commandString.empty()) {
        DownLogInf("FileDownload null param!");
        return -1;
    }
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(commandString, prefix, text)) {
        ShowError(kMsgInvalidParameters);
        return -1;
    }
    CCmdLineAnalyse& params = CmdLineParams();
    params.SetPrefix(prefix);
    params.Parse(text, L'\n', L'=');
    params.Set(L"-PRODUCT", L"win32_net");
    const std::wstring language = ReadProfileString(L"CFG", L"Language", L"zh_CN", 64, appDir + L"UserCfg.ini");
    SelectMessageLanguage(language);
    SelectTermLanguage(language);

    // The progress dialog and the update worker are not part of this build yet.
    DownLogWar("FileDownload: no update engine to run");
    return -1;
}

#include "launcher/updater_app.h"

#include <windows.h>

#include "diag/trace_log.h"
#include "launcher/app_instance.h"
#include "launcher/cmd_param_deal.h"
#include "launcher/command_string.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/path_util.h"
#include "../../res/resource.h"

int RunUpdater(void* /*instance*/, const std::wstring& commandString) {
    DownLogInf("---------- CFileDownloadApp running... (pid:%d, oem:%s)----------",
               static_cast<int>(CurrentProcessId()), WideToAnsi(LoadResourceText(IDS_OEM_ID)).c_str());
    SetCurrentDirectoryW(GetAppDir().c_str());
    if (commandString.empty()) {
        DownLogInf("FileDownload null param!");
        return -1;
    }
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(commandString, prefix, text)) return -1;
    CCmdLineAnalyse& params = CmdLineParams();
    params.SetPrefix(prefix);
    params.Parse(text, L'\n', L'=');
    params.Set(L"-PRODUCT", L"win32_net");
    // The progress dialog and the update worker are not part of this build yet.
    DownLogWar("FileDownload: no update engine to run");
    return -1;
}

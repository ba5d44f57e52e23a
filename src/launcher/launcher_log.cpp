#include "launcher/launcher_log.h"

#include <cstring>
#include <string>

#include "diag/trace_log.h"
#include "manifest/ini_profile.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "util/system_util.h"
#include "util/time_util.h"

namespace {

const int kLogFileLimit = 10485760;
const int kErrFileLimit = 20480;

// A path that does not fit the log's fixed buffers would be cut into another
// file name, so it is refused instead.
bool CopyPath(const std::wstring& path, char (&buffer)[256]) {
    std::string ansi = WideToAnsi(path);
    if (ansi.size() >= sizeof(buffer)) return false;
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    return true;
}

}  // namespace

bool InitLauncherLog() {
    const std::wstring appDir = GetAppDir();
    const std::wstring logDir = appDir + L"log\\";
    if (!MakeDirs(logDir)) return false;

    TraceConfig config;
    if (!CopyPath(logDir + L"QKMeeting.log", config.logFile) || !CopyPath(logDir + L"QKMeeting.err", config.errFile)) {
        return false;
    }
    config.logFileLimit = kLogFileLimit;
    config.errFileLimit = kErrFileLimit;
    if (!OpenLog(config)) return false;

    const std::wstring exePath = GetModulePath();
    AgentLogInf("---------- AgentMain running... (pid:%d)----------", static_cast<int>(CurrentProcessId()));
    AgentLogInf("%s", WideToAnsi(exePath).c_str());

    std::wstring mainVer = ReadProfileString(L"VER", L"Ver", L"0.0.0", 32, appDir + L"UpdateInfo.ini");
    std::wstring exeVer;
    GetFileVersionText(exePath, exeVer);
    FileFindData found;
    int64_t modified = FindFile(exePath, found) ? found.writeTime : 0;
    AgentLogInf("Main ver:%s, Exe Ver:%s, Last modified:%s(%d)", WideToAnsi(mainVer).c_str(),
                WideToAnsi(exeVer).c_str(), WideToAnsi(TimeText(modified)).c_str(), static_cast<int>(modified));
    return true;
}

// The executable's entry point: prepare the directory and the trace log,
// classify the command line and hand over to one action.
#include <windows.h>

#include "diag/trace_log.h"
#include "launcher/dispatch.h"
#include "launcher/launcher_log.h"
#include "launcher/win_launcher_host.h"
#include "util/path_util.h"
#include "vocabulary/app_instance.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    SetAppInstance(instance);
    SetCurrentDirectoryW(GetAppDir().c_str());
    InitLauncherLog();
    const std::wstring line = commandLine ? commandLine : L"";
    AgentLogInf("CmdLine:%ws", line.c_str());

    CWinLauncherHost host(instance);
    int result = Dispatch(host, line);
    CloseLog();
    return result;
}

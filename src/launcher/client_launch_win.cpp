#include "launcher/client_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "diag/trace_log.h"
#include "launcher/updater_app.h"
#include "launcher/web_home.h"
#include "util/code_page.h"
#include "vocabulary/app_instance.h"
#include "../../res/resource.h"

ClientInitFn LoadClientEntry(const std::wstring& module) {
    const std::string name = WideToAnsi(module);
    AgentLogInf("LoadLibrary: %s!", name.c_str());
    // No system box may interrupt a failed load or a later fault, for the rest
    // of the process (the client module included).
    SetErrorMode(0xFFFF);
    HMODULE handle = LoadLibraryW(module.c_str());
    if (handle == nullptr) {
        AgentLogWar("LoadLibrary failed! (err:%d, file:%s)", static_cast<int>(GetLastError()), name.c_str());
        return nullptr;
    }
    FARPROC init = GetProcAddress(handle, "Init");
    if (init == nullptr) {
        AgentLogWar("GetProcAddress for Init failed! (err:%d)", static_cast<int>(GetLastError()));
        return nullptr;
    }
    return reinterpret_cast<ClientInitFn>(reinterpret_cast<void*>(init));
}

int InvokeClientEntry(ClientInitFn init, void* instance, const std::wstring& commandLine) {
    CloseLog();
    return init(instance, commandLine.c_str());
}

int CallClient(const std::wstring& module, void* instance, const std::wstring& commandLine) {
    ClientInitFn init = LoadClientEntry(module);
    return init == nullptr ? -1 : InvokeClientEntry(init, instance, commandLine);
}

std::wstring WebHomeUrl() { return WebHomeUrlOf(LoadResourceText(IDS_WEB_HOST)); }

namespace {

class CShellExecuteOpener : public CShellOpener {
public:
    long long Open(const std::wstring& file, const std::wstring& parameters) override {
        HINSTANCE result = ShellExecuteW(nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                                         nullptr, SW_SHOWNORMAL);
        return static_cast<long long>(reinterpret_cast<INT_PTR>(result));
    }
};

}  // namespace

int OpenWebPage(const std::wstring& target) {
    CShellExecuteOpener shell;
    return OpenWebPageWith(shell, target);
}

int DoUpdate(void* instance, const std::wstring& commandString) {
    AgentLogInf("do update!");
    return RunUpdater(instance, commandString);
}

// The launcher's surroundings in the running executable.
#pragma once

#include "launcher/launcher_host.h"

class CWinLauncherHost : public CLauncherHost {
public:
    explicit CWinLauncherHost(void* instance) : instance_(instance) {}

    std::wstring OemId() override;
    bool TvEditionOn() override;
    std::wstring EntranceTable() override;
    std::wstring WebHomeUrl() override;
    bool ModuleExists(const std::wstring& module) override;
    bool RunningFromUpdateVer() override;
    void RecoverUnfinishedApply() override;
    bool CallClient(const std::wstring& module, const std::wstring& commandLine, int& result) override;
    int OpenWebPage(const std::wstring& target) override;
    int DoUpdate(const std::wstring& commandString) override;

private:
    void* instance_;
};

// A launcher host that records what the dispatch asked of it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "launcher/launcher_host.h"

class RecordingLauncherHost : public CLauncherHost {
public:
    std::wstring oemId = L"ZOLTA";
    bool tvEdition = false;
    std::wstring entranceTable = L";";
    std::wstring webHome = L"http://meeting.example.com/ClientEntrance";
    std::set<std::wstring> modules;  // modules present and with "Init"
    bool fromUpdateVer = false;
    int initResult = 7;
    int openResult = 0;
    int updateResult = 42;

    struct Call {
        std::wstring action;  // "client", "open" or "update"
        std::wstring what;    // module or target
        std::wstring line;    // command line handed over
        bool afterRecovery;   // an unfinished apply was settled since the last call
    };
    std::vector<Call> calls;

    std::wstring OemId() override { return oemId; }
    bool TvEditionOn() override { return tvEdition; }
    std::wstring EntranceTable() override { return entranceTable; }
    std::wstring WebHomeUrl() override { return webHome; }
    bool ModuleExists(const std::wstring& module) override { return modules.count(module) != 0; }
    bool RunningFromUpdateVer() override { return fromUpdateVer; }
    void RecoverUnfinishedApply() override { recovered_ = true; }
    bool CallClient(const std::wstring& module, const std::wstring& commandLine, int& result) override {
        Record(L"client", module, commandLine);
        if (!modules.count(module)) return false;
        result = initResult;
        return true;
    }
    int OpenWebPage(const std::wstring& target) override {
        Record(L"open", target, L"");
        return openResult;
    }
    int DoUpdate(const std::wstring& commandString) override {
        Record(L"update", L"", commandString);
        return updateResult;
    }

private:
    void Record(const std::wstring& action, const std::wstring& what, const std::wstring& line) {
        calls.push_back({action, what, line, recovered_});
        recovered_ = false;
    }

    bool recovered_ = false;
};

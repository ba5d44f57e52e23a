#include "launcher/dispatch.h"

#include "diag/trace_log.h"
#include "launcher/client_module.h"
#include "launcher/launcher_host.h"
#include "util/code_page.h"
#include "util/text_util.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"

namespace {

// Looks a switch up in the entrance table. Returns false when it has no entry;
// otherwise the target is replaced unless the entry asks for the default page.
bool ApplyEntrance(const CmdParamDeal& entrances, const wchar_t* key, std::wstring& target) {
    std::wstring value;
    if (!entrances.Get(key, value)) return false;
    if (value != L"defweb") target = value;
    return true;
}

int CallModule(CLauncherHost& host, const std::wstring& module, const std::wstring& commandLine) {
    int result = -1;
    if (!host.CallClient(module, commandLine, result)) return -1;
    return result;
}

}  // namespace

LauncherDecision ClassifyCommandLine(CLauncherHost& host, const std::wstring& commandLine) {
    LauncherDecision decision;
    decision.target = host.WebHomeUrl();
    if (IsCommandString(commandLine)) {
        decision.type = CMD_TYPE_COMMAND_STRING;
        return decision;
    }

    CmdParamDeal params;
    params.Parse(commandLine, L' ', L'=');
    CmdParamDeal entrances;
    entrances.Parse(host.EntranceTable(), L';', L'=');

    if ((params.Has(L"-entrance") || params.Has(L"-fromDesktop")) &&
        ApplyEntrance(entrances, L"-fromDesktop", decision.target)) {
        decision.type = CMD_TYPE_WEB_HOME;
        return decision;
    }
    if (params.Has(L"-fromStartMenu") && ApplyEntrance(entrances, L"-fromStartMenu", decision.target)) {
        decision.type = CMD_TYPE_WEB_HOME;
        return decision;
    }

    std::wstring doValue;
    params.Get(L"-do", doValue);
    decision.type = CommandTypeOfDo(doValue);
    return decision;
}

int Dispatch(CLauncherHost& host, const std::wstring& commandLine) {
    host.RecoverUnfinishedApply();
    LauncherDecision decision = ClassifyCommandLine(host, commandLine);
    switch (decision.type) {
        case CMD_TYPE_WEB_HOME:
            return host.OpenWebPage(decision.target);
        case CMD_TYPE_COMMAND_STRING:
            return RunCommandString(host, commandLine);
        case CMD_TYPE_UPDATE:
        case CMD_TYPE_START: {
            CmdParamDeal params;
            params.Parse(commandLine, L' ', L'=');
            std::wstring param;
            params.Get(L"-param", param);
            if (decision.type == CMD_TYPE_UPDATE) return host.DoUpdate(param);
            return RunCommandString(host, param);
        }
        case CMD_TYPE_NONE:
        case CMD_TYPE_CFG:
        case CMD_TYPE_STOP:
            break;
    }
    int index = ClientModuleIndex(kMeetingTypeMeetMgr, host.OemId(), host.TvEditionOn());
    return CallModule(host, kClientModules[index], commandLine);
}

int RunCommandString(CLauncherHost& host, const std::wstring& commandString) {
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(commandString, prefix, text)) {
        AgentLogErr("DecodeCmdLine failed!");
        return -1;
    }
    CmdParamDeal params;
    params.Parse(text, L'\n', L'=');
    std::wstring meetType;
    params.Get(L"-MEETTYPE", meetType);
    int typeIndex = IndexOfText(meetType, kMeetingTypeNames, kMeetingTypeCount);
    const std::wstring module = kClientModules[ClientModuleIndex(typeIndex, host.OemId(), host.TvEditionOn())];

    if (host.RunningFromUpdateVer() || !host.ModuleExists(module)) {
        return host.DoUpdate(commandString);
    }
    int result = -1;
    if (!host.CallClient(module, commandString, result)) {
        AgentLogErr("load %s failed!", WideToAnsi(module).c_str());
        return -1;
    }
    return result;
}

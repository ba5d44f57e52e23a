// The update worker's commands and file moves: the stop, check and setup
// commands around each section of the new manifest, moving, copying and
// deleting its entries, and the start of the client's main program with its
// parameters in "meetinfo".
#include "update/command_switches.h"
#include "update/local_file.h"
#include "update/update_result.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "util/process_util.h"
#include "util/system_util.h"
#include "vocabulary/message_table.h"

namespace {

const int kShowNormal = 5;
const int kCommandChars = 512;
const int kMsgStarting = 8;

std::wstring Trimmed(const std::wstring& text) {
    const wchar_t* const space = L" \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

int CUpdateThread::runCmd(const CQKUpdateIni& info, const std::wstring& section, const std::wstring& key,
                          bool mustRun) {
    const std::wstring cmd = Trimmed(info.GetString(section, key, L"", kCommandChars));
    const std::string sectionText = WideToAnsi(section);
    const std::string keyText = WideToAnsi(key);
    DownLogInf("runCmd: [%s]%s=%s", sectionText.c_str(), keyText.c_str(), WideToAnsi(cmd).c_str());
    if (cmd.empty() && !mustRun) return 0;

    const SCommandSwitches command = ParseCommandSwitches(cmd, IsVistaOrLater());
    const std::string commandText = WideToAnsi(command.commandLine);
    if (command.onlyIfPresent) {
        std::wstring program;
        std::wstring arguments;
        SplitCommandLine(command.commandLine, program, arguments);
        if (!FileExists(program)) {
            DownLogInf("not exist: %s", WideToAnsi(program).c_str());
            return 0;
        }
    }
    uint32_t exitCode = 0;
    const int error =
        environment_.RunProgram(exitCode, command.commandLine, kShowNormal, command.elevated, command.waitMode.c_str());
    if (error != 0) {
        DownLogErr("run exe failed! (errCode:%d, cmd:%s)", error, commandText.c_str());
        return error;
    }
    DownLogInf("cmd exitCode:%d (cmd:%s)", static_cast<int>(exitCode), commandText.c_str());
    return static_cast<int>(exitCode);
}

int CUpdateThread::UpdateSection(const SFingerSection& section) {
    const std::string name = WideToAnsi(section.name);
    bool stopped = false;
    for (SFingerItem* child : section.items) {
        if (child->kind == kFingerSection) {
            const int result = UpdateSection(static_cast<const SFingerSection&>(*child));
            if (result != URC_NO_ERR) return result;
            continue;
        }
        if (child->status != kFingerStatusApply) continue;
        if (!stopped) {
            // The installed version knows how to stop what it runs.
            const int error = runCmd(mainUpdateInfo_, section.name, L"StopCmd", false);
            if (error != 0) DownLogErr("Stop mode[%s] failed! (err:%d)", name.c_str(), error);
            stopped = true;
        }
        const int result = ApplyItem(*child);
        if (result != URC_NO_ERR) return result;
        // An entry that several sections list is one entry: its staged file
        // has gone into place already.
        child->status = kFingerStatusApplied;
    }
    // A failing check of the installed version asks for the new version's setup.
    if (runCmd(mainUpdateInfo_, section.name, L"CheckCmd", false) != 0) {
        const int error = runCmd(newUpdateInfo_, section.name, L"SetupCmd", false);
        if (error != 0) {
            DownLogErr("setup mode[%s] failed! (err:%d)", name.c_str(), error);
            return URC_LOCAL_UPDATE_ERR;
        }
    }
    return URC_NO_ERR;
}

int CUpdateThread::ApplyItem(const SFingerItem& item) {
    int error = 0;
    if (item.kind == kFingerFile) {
        const std::wstring source = updateVerDir_ + item.name;
        const std::wstring target = appDir_ + item.name;
        const std::string sourceText = WideToAnsi(source);
        const std::string targetText = WideToAnsi(target);
        DownLogInf("MoveFile:'%s'-->'%s')", sourceText.c_str(), targetText.c_str());
        if (apply_.Move(item.name, kStagingFolder + item.name, error)) return URC_NO_ERR;
        DownLogErr("CopyFile failed! (errCode:%d, src:%s(bReadable:%d), dst:%s(bWrtable:%d))", error,
                   sourceText.c_str(), CanOpenFile(source, false) ? 1 : 0, targetText.c_str(),
                   CanOpenFile(target, true) ? 1 : 0);
        return URC_LOCAL_FILE_COPY_ERR;
    }
    if (item.kind == kFingerDelete) {
        const std::wstring path = appDir_ + item.name;
        DownLogInf("Delfile:'%s')", WideToAnsi(path).c_str());
        if (!apply_.Delete(item.name, error) && static_cast<const SFingerDelItem&>(item).ignoreFailure == 0) {
            DownLogErr("DeleteFileEx failed! (errCode:%d, file:'%s')", error, WideToAnsi(path).c_str());
            return URC_LOCAL_FILE_COPY_ERR;
        }
        return URC_NO_ERR;
    }
    DownLogWar("Unknow jobType:'%d')", item.kind);
    return URC_NO_ERR;
}

bool CUpdateThread::StartCmd() {
    DownLogInf("Start main exe...");
    NotifyStatusText(GetMessageText(kMsgStarting));
    const std::wstring file = appDir_ + L"meetinfo";
    if (!DeleteFileRetry(file, false)) {
        DownLogErr("delete meeting info file failed!");
        return false;
    }
    WriteWholeFile(file, WideToAnsi(ParameterCommandString()));
    const int error = runCmd(mainUpdateInfo_, mainUpdateInfo_.GetMainSection(), L"StartCmd", true);
    if (error != 0) {
        DeleteFileRetry(file, false);
        DownLogErr("Start main exe failed! (errCode:%d)", error);
        return false;
    }
    return true;
}

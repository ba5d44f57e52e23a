// The update worker's hand-off to a newer updater, and the local update that
// ends every update: files applied, the new update-info file installed,
// "UpdateVer\" emptied.
#include <vector>

#include "manifest/install_name.h"
#include "update/update_result.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "util/system_util.h"
#include "util/text_util.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"

namespace {

const int kShowNormal = 5;
const int kUpdateExeChars = 256;
// Updaters of versions below this take the bare command string and "-DIR";
// later ones take "-do=update -param=".
const wchar_t kParamSwitchVersion[] = L"2.5.0";

// The file entry of list named name (ignoring case); null when there is none.
SFingerItem* FindFileItem(const FingerItemList& list, const std::wstring& name) {
    for (SFingerItem* item : list) {
        if (item->kind == kFingerFile && SameFileName(item->name, name)) return item;
    }
    return nullptr;
}

// Deletes everything inside directory, which stays. False when anything
// could not be deleted or the directory cannot be read.
bool EmptyDirectory(const std::wstring& directory) {
    std::vector<FileFindData> entries;
    if (!ListDirectory(directory, entries)) return false;
    bool ok = true;
    for (const FileFindData& entry : entries) {
        const std::wstring path = directory + entry.name;
        // A link is never followed: deleting it as a file either removes the
        // link alone or fails, which only leaves it behind.
        if (entry.isDirectory && !entry.isLink) {
            ok = RemoveTree(path + L"\\") && ok;
        } else {
            ok = DeleteFileRetry(path, false) && ok;
        }
    }
    return ok;
}

}  // namespace

std::wstring CUpdateThread::UpdateProgramName(const CQKUpdateIni& info) const {
    std::wstring name = info.GetString(info.GetMainSection(), L"UpdateExe", L"", kUpdateExeChars);
    if (!name.empty()) return name;
    name = kMacroOemId;
    info.ExpandValue(name);
    return name + L"Meeting.exe";
}

bool CUpdateThread::IsRunningInTempDir() {
    std::wstring ownDirectory;
    SplitModulePath(environment_.ModulePath(), &ownDirectory, nullptr);
    return ownDirectory != appDir_;
}

int CUpdateThread::CheckSelfUpdate() {
    const std::wstring name = UpdateProgramName(newUpdateInfo_);
    if (FindFileItem(updateItems_, name) == nullptr) return URC_NO_ERR;
    SFingerItem* download = FindFileItem(downItems_, name);
    if (download != nullptr) {
        std::wstring ownName;
        SplitModulePath(environment_.ModulePath(), nullptr, &ownName);
        if (IsRunningInTempDir() && SameFileName(ownName, name)) {
            // The two bytes are a full-width comma in code page 936.
            DownLogWar(
                "udpate running in tmpdir\xA3\xAC"
                "why need update again!");
            return URC_NO_ERR;
        }
        download->name = name;
        if (!DownloadItems(FingerItemList{download}, updateVerDir_, Fetch::kReleaseFile)) {
            DownLogErr("down downloadexe file failed! ");
            return URC_DOWNLOAD_ERR;
        }
    }
    if (IsRunningInTempDir()) return URC_NO_ERR;
    const int started = RunNewUpdate();
    return started != 0 ? started : URC_START_NEWUPDATE_ERR;
}

int CUpdateThread::RunNewUpdate() {
    const std::wstring exe = updateVerDir_ + UpdateProgramName(newUpdateInfo_);
    if (!FileExists(exe)) {
        DownLogErr("start new update notexist! (new:%s)", WideToAnsi(exe).c_str());
        return URC_UNKNOW_ERR;
    }
    const CCmdLineAnalyse& params = CmdLineParams();
    std::wstring text = params.Serialize(L'\n', L'=');
    const bool bareCommandString = ParseVersionNumber(destVersion_) < ParseVersionNumber(kParamSwitchVersion);
    if (bareCommandString) {
        CmdParamDeal withDir;
        withDir.Parse(text, L'\n', L'=');
        withDir.SetInt(L"-DIR", 1);
        text = withDir.Serialize(L'\n', L'=');
    }
    const std::wstring commandString = EncodeCmdLine(params.GetPrefix(), text);
    const std::wstring commandLine = bareCommandString ? L"\"" + exe + L"\" " + commandString
                                                       : L"\"" + exe + L"\" -do=update -param=" + commandString;
    const std::string narrowCommand = WideToAnsi(commandLine);
    DownLogInf("run new update: %s", narrowCommand.c_str());
    uint32_t processId = 0;
    const int error = environment_.StartProcess(commandLine, kShowNormal, processId);
    if (error != 0) {
        DownLogErr("run new update failed! (errCode:%d, cmd:%s)", error, narrowCommand.c_str());
        return 0;
    }
    DownLogInf("run new-update(pid:%d) success! ", static_cast<int>(processId));
    return static_cast<int>(processId);
}

int CUpdateThread::LocalVerUpdate() {
    DownLogDbg("LocalVerUpdate...");
    if (!IsRunningInTempDir() && FindFileItem(updateItems_, UpdateProgramName(newUpdateInfo_)) != nullptr) {
        DownLogErr("LocalVerUpdate, But running in main dir!");
        const int started = RunNewUpdate();
        return started != 0 ? started : URC_START_NEWUPDATE_ERR;
    }
    CUpdateBusyScope busy(handle_);
    for (SFingerItem* item : updateItems_) item->status = kFingerStatusApply;
    if (!apply_.Begin()) return URC_LOCAL_FILE_COPY_ERR;
    const int result = ApplyRelease();
    if (result != URC_NO_ERR) {
        // The previous release back in place, the staged files back in
        // UpdateVer\ for the next run.
        apply_.RollBack();
        return result;
    }
    apply_.Commit();
    // The start command comes from the installed update-info file.
    ReloadMainUpdateInfo();
    if (!EmptyDirectory(updateVerDir_)) {
        DownLogWar("ClearupFolder failed! (file:'%s')", WideToAnsi(updateVerDir_).c_str());
    }
    return URC_NO_ERR;
}

int CUpdateThread::ApplyRelease() {
    const SFingerSection* root = newFinger_.GetRoot();
    if (root != nullptr) {
        const int result = UpdateSection(*root);
        if (result != URC_NO_ERR) {
            DownLogErr("update [%s] failed!", WideToAnsi(root->name).c_str());
            return result;
        }
    }

    // The installed update-info file is the last step: an apply that ends
    // before it is rolled back, one that ends after it is complete. So the
    // older copy of the updater is refreshed first, from the program the new
    // file names, or it could stay old.
    int error = 0;
    if (FileExists(appDir_ + kOldUpdaterName)) {
        DownLogInf("Update old updatefile...");
        const std::wstring updater = UpdateProgramName(newUpdateInfo_);
        if (!apply_.Copy(kOldUpdaterName, updater, error)) {
            DownLogErr("Update old updatefile failed! (errCode:%d, cmd:'%s'-->'%s')", error,
                       WideToAnsi(appDir_ + updater).c_str(), WideToAnsi(appDir_ + kOldUpdaterName).c_str());
        }
    }

    DownLogInf("Update finger file...");
    if (!apply_.Copy(kUpdateInfoFileName, std::wstring(kStagingFolder) + kUpdateInfoFileName, error)) {
        DownLogErr("Update finger file failed! (errCode:%d, cmd:'%s'-->'%s')", error,
                   WideToAnsi(newUpdateInfo_.GetFile()).c_str(), WideToAnsi(mainUpdateInfo_.GetFile()).c_str());
        return URC_LOCAL_FILE_COPY_ERR;
    }
    return URC_NO_ERR;
}

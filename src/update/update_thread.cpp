// The update worker's run, its file stage, the manifest calculation and the
// transfer runs with their callbacks. The server queries, the self-update
// hand-off, the commands and the error report are in files of their own.
#include "update/update_thread.h"

#include <utility>

#include "manifest/cfg_file_lists.h"
#include "manifest/decode_net_file.h"
#include "manifest/install_name.h"
#include "manifest/proxy_config.h"
#include "update/update_progress.h"
#include "update/update_result.h"
#include "util/code_page.h"
#include "util/path_util.h"
#include "util/text_util.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/message_table.h"
#include "vocabulary/term_table.h"

namespace {

const int kMsgMainComponents = 3;
const int kMsgUpdating = 4;
const int kMsgQuerying = 19;
const int kMaxTransfers = 5;
const wchar_t kVersionSection[] = L"VER";
const wchar_t kVersionKey[] = L"Ver";
const wchar_t kDefaultVersion[] = L"0.0.0";
const int kVersionChars = 32;
const int kJobStringChars = 32;

std::wstring AppDirOfModule(const std::wstring& modulePath) {
    std::wstring directory;
    SplitModulePath(modulePath, &directory, nullptr);
    return AppDirOfDirectory(directory);
}

}  // namespace

CUpdateThread::CUpdateThread(CUpdateEnvironment& environment)
    : environment_(environment),
      appDir_(AppDirOfModule(environment.ModulePath())),
      updateVerDir_(appDir_ + kStagingFolder),
      testCfgPath_(appDir_ + kTestCfgFileName),
      mainUpdateInfo_(appDir_, environment.OemId()),
      newUpdateInfo_(appDir_, environment.OemId()),
      apply_(appDir_, environment.OemId(), kDownLogModule) {
    std::wstring meeting;
    CmdLineParams().Get(L"-MEET", meeting);
    meetingId_ = meeting.substr(0, meeting.find(L';'));
    downloader_ = CreateMultiDownloadMgr(kDownloaderName, environment.ConnectionFactory());
    downloader_->SetCallBack(this, this);
    SProxyConfig proxy;
    const int proxyError = LoadProxyConfig(proxy, appDir_ + L"UserCfg.ini");
    if (proxyError != 0) {
        DownLogWar("Get proxycfg faild(%d), connect directly!", proxyError);
    } else {
        downloader_->SetProxy(proxy.host.c_str(), ProxyPortNumber(proxy.port), proxy.user.c_str(),
                              proxy.password.c_str());
    }
}

CUpdateThread::~CUpdateThread() {
    Join();
    downloader_->Destroy();
}

void CUpdateThread::SetHandle(CUpdateHandle* handle) { handle_ = handle; }

void CUpdateThread::Run() {
    SetThreadName("CUpdateThread");
    {
        // An apply that a killed updater left is settled before anything else.
        CUpdateBusyScope busy(handle_);
        apply_.Recover();
    }
    SetPercentRange(0, 5);
    NotifyStatusText(GetMessageTextWith(kMsgQuerying, GetTerm(L"MEETING")));
    int code = QueryClientVersion();
    if (code == URC_NO_ERR) {
        NotifyStatusText(GetMessageTextWith(kMsgUpdating, GetMessageText(kMsgMainComponents)));
        code = UpdateFiles();
        if (code == URC_NO_ERR) code = StartMain();
    }
    if (IsUpdateError(code)) {
        DownLogErr("update failed! (code:%d(%s))", code, UpdateResultName(code));
        ReportError();
    }
    if (handle_ != nullptr) handle_->NotifyFinished(code);
}

std::wstring CUpdateThread::LoadUpdateInfo(CQKUpdateIni& info, const std::wstring& path) {
    info.SetFile(path);
    info.SetMacro(kMacroOrgParam, environment_.StartParameters());
    return info.GetString(kVersionSection, kVersionKey, kDefaultVersion, kVersionChars);
}

void CUpdateThread::ReloadMainUpdateInfo() {
    mainDirVersion_ = LoadUpdateInfo(mainUpdateInfo_, appDir_ + kUpdateInfoFileName);
}

void CUpdateThread::ReloadNewUpdateInfo() {
    newVersion_ = LoadUpdateInfo(newUpdateInfo_, updateVerDir_ + kUpdateInfoFileName);
}

int CUpdateThread::UpdateFiles() {
    if (updateUrls_.empty()) {
        DownLogErr("No file server!");
        return URC_PARAM_ERR;
    }
    const std::string servers = WideToAnsi(updateUrls_);
    if (!downloader_->SetSverInfo(servers.c_str())) {
        DownLogErr("set server info failed! (server:%s)", servers.c_str());
        return URC_PARAM_ERR;
    }
    // The lists point into the new finger: they go with it.
    downItems_.clear();
    updateItems_.clear();
    mainFinger_.Clear();
    newFinger_.Clear();
    ReloadMainUpdateInfo();
    ReloadNewUpdateInfo();
    const uint32_t destNumber = ParseVersionNumber(destVersion_);
    if (destNumber == 0) DownLogErr("Err dest ver:%s", WideToAnsi(destVersion_).c_str());

    const std::wstring mainSection = mainUpdateInfo_.GetMainSection();
    const std::wstring jobString = mainUpdateInfo_.GetString(mainSection, L"JobString", L"", kJobStringChars);
    NotifyStatusText(GetMessageTextWith(kMsgUpdating, GetMessageText(ParseLeadingInt(jobString))));

    const bool versionsEqual = destNumber == ParseVersionNumber(mainDirVersion_);
    const std::wstring noUpdateFiles = ReadNoUpdateFiles(testCfgPath_);
    DownLogInf("cfg noupdateFiles: %s", WideToAnsi(noUpdateFiles).c_str());
    CFingerFile::SetNoUpdateList(noUpdateFiles);
    const bool compatible =
        mainFinger_.LoadFinger(mainUpdateInfo_, mainSection) && mainFinger_.GetPendingItems().empty();
    DownLogInf("mainDir ver[%s] %s", WideToAnsi(mainDirVersion_).c_str(), compatible ? "Compatible" : "Uncompatible");
    if (versionsEqual && compatible) return URC_NO_ERR;

    downloader_->SetMaxTransfers(kMaxTransfers);
    SetPercentRange(5, 7);
    SFileTransItem manifest;
    manifest.name = kUpdateInfoFileName;
    manifest.srcPath = std::wstring(kUpdateInfoFileName) + L"." + destVersion_;
    if (!DownloadItems(FingerItemList{&manifest}, updateVerDir_, Fetch::kManifest)) {
        DownLogErr("down FINGER file failed! ");
        return URC_DOWNLOAD_ERR;
    }
    // Nothing of the manifest is read before its signature is verified.
    const std::vector<std::string> releaseKeys = environment_.ReleaseKeys();
    const bool signedReleases = !releaseKeys.empty();
    if (signedReleases && !VerifyNewManifest(manifest.srcPath, releaseKeys)) return URC_DOWNLOAD_ERR;
    ReloadNewUpdateInfo();
    DownLogInf("Server ver(%s), dest ver(%s)", WideToAnsi(newVersion_).c_str(), WideToAnsi(destVersion_).c_str());
    if (signedReleases && !AcceptsNewVersion()) return URC_LOCAL_UPDATE_ERR;
    if (!Calculate()) return URC_LOCAL_UPDATE_ERR;

    SetPercentRange(7, 13);
    const int selfUpdate = CheckSelfUpdate();
    if (selfUpdate != 0) return selfUpdate;

    SetPercentRange(13, 90);
    if (!DownloadItems(downItems_, updateVerDir_, Fetch::kReleaseFile)) return URC_DOWNLOAD_ERR;

    SetPercentRange(90, 100);
    return LocalVerUpdate();
}

int CUpdateThread::StartMain() {
    SetPercentRange(90, 100);
    CUpdateBusyScope busy(handle_);
    return StartCmd() ? URC_NO_ERR : URC_START_MEET_ERR;
}

bool CUpdateThread::Calculate() {
    const std::wstring section = newUpdateInfo_.GetMainSection();
    const std::string file = WideToAnsi(newUpdateInfo_.GetFile());
    DownLogInf("Calculate: (%s:[%s])", file.c_str(), WideToAnsi(section).c_str());
    // The updater is started and copied by this name: a file of the
    // installation folder itself, nothing else.
    const std::wstring updater = UpdateProgramName(newUpdateInfo_);
    if (!IsBareFileName(updater)) {
        DownLogErr("UpdateExe is no bare file name, refused! (name:%s, file:%s)", WideToAnsi(updater).c_str(),
                   file.c_str());
        return false;
    }
    if (!newFinger_.LoadFinger(newUpdateInfo_, section)) {
        DownLogErr("InitSection failed! (%s:[%s])", file.c_str(), WideToAnsi(section).c_str());
        return false;
    }
    DownLogDbg("CalculateUpdateFigerFile: total:%d, ok:%d, unOk:%d", static_cast<int>(newFinger_.GetAllItems().size()),
               static_cast<int>(newFinger_.GetCurrentItems().size()),
               static_cast<int>(newFinger_.GetPendingItems().size()));
    updateItems_.clear();
    CFingerFile::CopyItems(newFinger_.GetAllItems(), updateItems_);
    CFingerFile::CalcUpdate(appDir_, updateItems_, nullptr);
    // What an interrupted update left valid in UpdateVer\ is not fetched again.
    downItems_ = updateItems_;
    CFingerFile::RemoveListed(downItems_, newFinger_.GetCurrentItems(), nullptr);
    DownLogDbg("CalculateReslt: downItems:%d, updateItems:%d", static_cast<int>(downItems_.size()),
               static_cast<int>(updateItems_.size()));
    return true;
}

bool CUpdateThread::DownloadItems(const FingerItemList& items, const std::wstring& destination, Fetch what) {
    if (items.empty()) {
        DownLogInf("no files need download!");
        return true;
    }
    const std::wstring noDownFiles = ReadNoDownFiles(testCfgPath_);
    DownLogInf("cfg nodownfiles: %s", WideToAnsi(noDownFiles).c_str());
    std::map<int, Task> tasks;
    for (size_t i = 0; i < items.size(); ++i) {
        const SFingerItem* item = items[i];
        if (ListNamesFile(noDownFiles, item->name)) {
            DownLogDbg("file cfg to undownload! (file:%s)", WideToAnsi(item->name + L";").c_str());
            continue;
        }
        const auto* file = item->kind == kFingerFile ? dynamic_cast<const SFileTransItem*>(item) : nullptr;
        if (file == nullptr) continue;
        Task task;
        task.id = static_cast<int>(i);
        task.useHttpRange = what == Fetch::kManifest || what == Fetch::kReleaseFile;
        task.refetchable = what == Fetch::kReleaseFile;
        if (what == Fetch::kReleaseFile) {
            task.fetch.transferSize = file->transSize;
        } else {
            task.fetch.sizeLimit = what == Fetch::kManifest ? kManifestLimitBytes : kReplyLimitBytes;
        }
        task.item = file;
        task.tempPath = destination + file->name + L".tmp";
        tasks.emplace(task.id, std::move(task));
    }
    const int count = static_cast<int>(tasks.size());
    if (!RunTransfer(std::move(tasks))) return false;
    DownLogInf("%d files has been completed!", count);
    return true;
}

bool CUpdateThread::RunTransfer(std::map<int, Task> tasks) {
    tasks_ = std::move(tasks);
    std::vector<int> due;
    for (const auto& entry : tasks_) due.push_back(entry.first);
    while (!due.empty()) {
        if (!FetchRound(due)) return false;
        std::vector<int> again;
        for (int id : due) {
            Task& task = tasks_.at(id);
            if (task.decoded >= 1) continue;
            if (!task.refetchable || !PlanRefetch(task)) {
                DownLogWar("file decode failed! (file:%s)", WideToAnsi(task.item->name).c_str());
                return false;
            }
            again.push_back(id);
        }
        due.swap(again);
    }
    return true;
}

bool CUpdateThread::FetchRound(const std::vector<int>& ids) {
    decoder_.Start();
    transferError_ = 0;
    for (int id : ids) {
        Task& task = tasks_.at(id);
        task.decoded = 0;
        task.sources.clear();
        downloader_->getFile(task.id, WideToAnsi(task.item->srcPath), WideToAnsi(task.tempPath), task.useHttpRange,
                             task.item->requestBody, task.fetch);
    }
    bool ok = downloader_->start(0, true);
    if (!ok) {
        DownLogErr("start mutiHttp!");
    } else {
        downloader_->WaitForStop();
        DownLogDbg("mutiHttp stopped(errCode:%d)!", transferError_.load());
        ok = transferError_ == 0;
    }
    // The stop request queues behind every decode posted during the run.
    decoder_.Stop(0);
    decoder_.Join();
    return ok;
}

bool CUpdateThread::PlanRefetch(Task& task) {
    const std::string name = WideToAnsi(task.item->name);
    const int32_t damaged = task.plan.CopyFailed(task.sources);
    std::string copyFrom;
    for (int32_t serverNo : task.plan.LastCopyServers()) copyFrom += " " + downloader_->ServerUrl(serverNo);
    DownLogWar("file failed its check! (file:%s, copy from:%s)", name.c_str(), copyFrom.c_str());
    if (damaged >= 0) {
        // The run goes on without relying on it.
        DownLogErr("mirror served a damaged copy! (mirror:%s, file:%s)", downloader_->ServerUrl(damaged).c_str(),
                   name.c_str());
        downloader_->DemoteServer(damaged);
    }
    task.fetch.servers = task.plan.NextServers(downloader_->ServersBySpeed());
    if (task.fetch.servers.empty()) return false;
    std::string fetchFrom;
    for (int32_t serverNo : task.fetch.servers) fetchFrom += " " + downloader_->ServerUrl(serverNo);
    DownLogInf("fetch again! (file:%s, from:%s)", name.c_str(), fetchFrom.c_str());
    return true;
}

void CUpdateThread::OnFileProgress(int32_t fileID, int32_t /*totalSize*/, int32_t transferred, int32_t /*userValue*/) {
    auto found = tasks_.find(fileID);
    if (found == tasks_.end()) return;
    found->second.received = transferred;
    int64_t total = 0;
    int64_t done = 0;
    for (const auto& entry : tasks_) {
        total += ProgressSizeOf(entry.second.item->transSize);
        done += entry.second.received;
    }
    if (total > 0) PublishPercent(TransferPercent(done, total));
}

void CUpdateThread::OnFileFinished(int32_t fileID, int32_t errorCode, int32_t /*userValue*/) {
    auto found = tasks_.find(fileID);
    if (found == tasks_.end()) return;
    if (errorCode != DLF_OK) {
        int32_t none = 0;
        transferError_.compare_exchange_strong(none, errorCode);
        // What arrived of a failed file is no file to install: decoding it
        // would only wait out the copy retries on a temporary file that may
        // not even exist.
        found->second.decoded = -1;
        return;
    }
    CDecodeNetFileThead::DecodeInfo info;
    info.fileId = fileID;
    info.source = found->second.tempPath;
    info.destination = DecodedPathOf(found->second.tempPath);
    info.entry = found->second.item;
    decoder_.PostDecode(info, this);
}

void CUpdateThread::OnAllFinished(int32_t /*userValue*/, bool /*allSucceeded*/) {}

void CUpdateThread::OnMainServer(const char* /*serverUrl*/, int32_t /*userValue*/) {}

void CUpdateThread::OnFileSources(int32_t fileID, const std::vector<SServedRange>& sources, int32_t /*userValue*/) {
    auto found = tasks_.find(fileID);
    if (found != tasks_.end()) found->second.sources = sources;
}

void CUpdateThread::OnDecodeResult(int fileId, int result) {
    auto found = tasks_.find(fileId);
    if (found == tasks_.end()) return;
    found->second.decoded = result == 1 ? 1 : -1;
}

void CUpdateThread::log(int level, const char* module, const char* format, va_list args) {
    Trace(level, module, format, args);
}

void CUpdateThread::SetPercentRange(int low, int high) {
    percentLow_ = low;
    percentHigh_ = high;
    PublishPercent(0);
}

void CUpdateThread::PublishPercent(int percent) {
    int position = ScalePercent(percent, percentLow_, percentHigh_);
    // A second query, a retried piece or a file that shrank must not move the bar back.
    if (position < lastPercent_) position = lastPercent_;
    lastPercent_ = position;
    if (handle_ != nullptr) handle_->NotifyPercent(position);
}

void CUpdateThread::NotifyStatusText(const std::wstring& text) {
    if (handle_ != nullptr) handle_->NotifyStatusText(text);
}

void CUpdateThread::SetErrorText(const std::wstring& text) {
    if (handle_ != nullptr) handle_->SetErrorText(text);
}

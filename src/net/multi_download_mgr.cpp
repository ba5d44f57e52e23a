#include "net/multi_download_mgr.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "diag/trace_log.h"
#include "util/clock.h"

namespace {

// A status other than 200 or 206, or an answer that starts elsewhere than asked.
constexpr int kBadResponse = CConnectionCallBack::kResultBadResponse;
constexpr int kAborted = CConnectionCallBack::kResultAborted;
// A connection's speed must exceed the main one's by this factor to lead instead.
constexpr double kReElectFactor = 1.25;

// Received bytes on their way to the manager's thread. They count against
// the manager's budget until the message is gone, handled or not.
class CRecvDataMsg : public CMsg {
public:
    CRecvDataMsg(int32_t type, CHttpConnection* connection, int32_t position, const char* bytes, int32_t length,
                 std::shared_ptr<ByteBudget> budget)
        : CMsg(type), conn(connection), pos(position), data(bytes, static_cast<size_t>(length)),
          budget_(std::move(budget)) {}
    ~CRecvDataMsg() override { budget_->Give(static_cast<int64_t>(data.size())); }

    CHttpConnection* const conn;
    const int32_t pos;
    const std::string data;

private:
    const std::shared_ptr<ByteBudget> budget_;
};

class CNotifyMsg : public CMsg {
public:
    CNotifyMsg(int32_t type, CHttpConnection* connection, int32_t notifyKind, int32_t notifyValue)
        : CMsg(type), conn(connection), kind(notifyKind), value(notifyValue) {}

    CHttpConnection* const conn;
    const int32_t kind;
    const int32_t value;
};

using TransferFinishedMsg = CVar2Msg<int, CHttpConnection*>;
using SendProgressMsg = CVar2Msg<CHttpConnection*, int>;
using SpeedMsg = CVar2Msg<double, CHttpConnection*>;
using FileFinishedMsg = CVar2Msg<int, CMultiDownloadMgr::DownLoadFileInfo*>;

}  // namespace

CMutilTransfer* CreateMultiDownloadMgr(const char* name, CHttpConnectionFactory* factory) {
    if (name == nullptr || factory == nullptr) return nullptr;
    return new CMultiDownloadMgr(name, factory);
}

bool CMultiDownloadMgr::DownLoadFileInfo::MayUse(int32_t serverNo) const {
    if (failedServers.count(serverNo) != 0) return false;
    return fetch.servers.empty() ||
           std::find(fetch.servers.begin(), fetch.servers.end(), serverNo) != fetch.servers.end();
}

bool CMultiDownloadMgr::DownLoadFileInfo::RangesFrom(int32_t serverNo) const {
    return UseHttpRange() && rangelessServers.count(serverNo) == 0;
}

CMultiDownloadMgr::CMultiDownloadMgr(std::string name, CHttpConnectionFactory* factory)
    : name_(std::move(name)), factory_(factory) {}

CMultiDownloadMgr::~CMultiDownloadMgr() {
    Stop(0);
    Join();
}

void CMultiDownloadMgr::SetBackoff(int32_t stepMs, int32_t maxMs) {
    backoffStepMs_ = stepMs;
    backoffMaxMs_ = maxMs;
}

bool CMultiDownloadMgr::SetCallBack(QKlogger* logger, CMutilTransferCallBack* callback) {
    if (logger == nullptr) return false;
    callback_ = callback;
    return true;
}

bool CMultiDownloadMgr::SetProxy(const char* host, uint16_t port, const char* user, const char* password) {
    if (host == nullptr) return false;
    proxyHost_ = host;
    proxyPort_ = port;
    proxyUser_ = user != nullptr ? user : "";
    proxyPassword_ = password != nullptr ? password : "";
    return true;
}

bool CMultiDownloadMgr::SetSverInfo(const char* servers) {
    if (servers == nullptr) {
        DownLogWar("[%s] SetSverInfo to null!", name_.c_str());
        return false;
    }
    if (running_) {
        DownLogWar("[%s] SetSverInfo failed,the job is running!", name_.c_str());
        return false;
    }
    RemoveAllConn();
    const std::string text = servers;
    for (size_t from = 0; from <= text.size();) {
        size_t to = text.find(';', from);
        if (to == std::string::npos) to = text.size();
        const std::string piece = text.substr(from, to - from);
        if (piece.empty()) break;
        std::string baseUrl = piece;
        if (baseUrl.back() == '/') baseUrl.pop_back();
        if (baseUrl.compare(0, 4, "http") != 0) baseUrl = "http://" + baseUrl;
        serverEntries_.push_back(piece);
        serverUrls_.push_back(baseUrl);
        const int32_t serverNo = static_cast<int32_t>(serverUrls_.size()) - 1;
        if (AddConnection(serverNo, serverNo) == nullptr) {
            RemoveAllConn();
            return false;
        }
        from = to + 1;
    }
    if (conns_.empty()) {
        DownLogErr("[%s] SetSverInfo failed, the server string[%s]!", name_.c_str(), servers);
        return false;
    }
    return true;
}

SConnRecord* CMultiDownloadMgr::AddConnection(int32_t serverNo, int32_t connNo) {
    DownLogDbg("[%s] connID=%d; serverinfo=%s", name_.c_str(), connNo, serverEntries_[serverNo].c_str());
    ConnectionPtr conn(factory_->Create(connNo));
    if (!conn) {
        DownLogErr("[%s] query httpConnection instance fail", name_.c_str());
        return nullptr;
    }
    if (!proxyHost_.empty()) conn->SetProxy(proxyHost_, proxyPort_, proxyUser_, proxyPassword_);
    conns_.push_back(std::make_unique<SConnRecord>(connNo, serverNo, serverUrls_[serverNo], std::move(conn)));
    return conns_.back().get();
}

void CMultiDownloadMgr::SetMaxTransfers(int32_t count) { maxTransfers_ = count; }

void CMultiDownloadMgr::SetIdleTimeout(int32_t milliseconds) { idleTimeoutMs_ = milliseconds; }

bool CMultiDownloadMgr::getFile(int32_t fileID, const std::string& svrFileName, const std::string& locFileName,
                                bool bUseHttpRange, const std::string& postData, const SFileFetch& fetch) {
    if (running_) {
        DownLogErr("[%s] getFile failed, is running!", name_.c_str());
        return false;
    }
    DownLogDbg("[%s] getFile: fileID=%d, svrFileName=%s, locFileName=%s, bUseHttpRange=%d", name_.c_str(), fileID,
               svrFileName.c_str(), locFileName.c_str(), bUseHttpRange ? 1 : 0);
    auto file = std::make_unique<DownLoadFileInfo>(bUseHttpRange, fetch);
    file->fileID = fileID;
    file->svrFileName = svrFileName;
    file->locFileName = locFileName;
    std::replace(file->locFileName.begin(), file->locFileName.end(), '/', '\\');
    file->postData = postData;
    pending_.push_back(file.get());
    files_.push_back(std::move(file));
    return true;
}

bool CMultiDownloadMgr::start(int32_t userValue, bool StopWhenOneFileFailed) {
    if (running_) {
        DownLogWar("[%s] download is running, start failed!", name_.c_str());
        return false;
    }
    active_.clear();
    httpRange_ = false;
    wakeDueMs_ = 0;
    stopPosted_ = false;
    stopping_ = false;
    failStopAsked_ = false;
    quitPosted_ = false;
    stopCode_ = 0;
    userValue_ = userValue;
    stopWhenOneFileFailed_ = StopWhenOneFileFailed;
    DownLogDbg("[%s] CMultiDownloadMgr start...", name_.c_str());
    if (!Start()) {
        DownLogErr("[%s] CMultiDownloadMgr thread start failed!", name_.c_str());
        return false;
    }
    dataBudget_->Keep(true);
    running_ = true;
    SetThreadName(name_.c_str());
    SetTimer(kProgressTimer, kProgressIntervalMs);
    PostMsg(new CMsg(kMsgRunStarted));
    return true;
}

void CMultiDownloadMgr::stop() {
    DownLogDbg("[%s] CMultiDownloadMgr stop...", name_.c_str());
    PostMsg(new CMsg(kMsgStop));
}

void CMultiDownloadMgr::DemoteServer(int32_t serverNo) {
    if (running_ || serverNo < 0 || serverNo >= static_cast<int32_t>(serverUrls_.size())) return;
    DownLogDbg("[%s] server %d asked last: %s", name_.c_str(), serverNo, serverUrls_[serverNo].c_str());
    demoted_.insert(serverNo);
}

std::vector<int32_t> CMultiDownloadMgr::ServersBySpeed() {
    std::vector<double> speed(serverUrls_.size(), 0);
    for (const auto& record : conns_) {
        if (record->SpeedMeasured()) speed[record->serverNo] = std::max(speed[record->serverNo], record->lastSpeed);
    }
    std::vector<int32_t> order;
    for (int32_t serverNo = 0; serverNo < static_cast<int32_t>(serverUrls_.size()); ++serverNo) order.push_back(serverNo);
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return AskedBefore(a, speed[a], b, speed[b]); });
    return order;
}

bool CMultiDownloadMgr::AskedBefore(int32_t serverA, double speedA, int32_t serverB, double speedB) const {
    const bool aLast = demoted_.count(serverA) != 0;
    const bool bLast = demoted_.count(serverB) != 0;
    if (aLast != bLast) return bLast;
    return speedA > speedB;
}

std::string CMultiDownloadMgr::ServerUrl(int32_t serverNo) {
    if (serverNo < 0 || serverNo >= static_cast<int32_t>(serverUrls_.size())) return std::string();
    return serverUrls_[serverNo];
}

void CMultiDownloadMgr::WaitForStop() {
    DownLogDbg("[%s] CMultiDownloadMgr WaitForStop...", name_.c_str());
    Join();
    running_ = false;
    DownLogDbg("[%s] CMultiDownloadMgr stopped!", name_.c_str());
}

void CMultiDownloadMgr::Destroy() {
    DownLogDbg("[%s] CMultiDownloadMgr Destroy...", name_.c_str());
    if (running_) {
        PostMsg(new CMsg(kMsgStop));
        Join();
        running_ = false;
    }
    RemoveAllConn();
    pending_.clear();
    files_.clear();
    delete this;
}

void CMultiDownloadMgr::OnNotify(CHttpConnection* conn, int32_t kind, int32_t value) {
    PostMsg(new CNotifyMsg(kMsgNotify, conn, kind, value));
}

void CMultiDownloadMgr::OnSendProgress(CHttpConnection* conn, uint32_t bytesSent) {
    PostMsg(new SendProgressMsg(kMsgSendProgress, conn, static_cast<int>(bytesSent)));
}

void CMultiDownloadMgr::OnRecvData(CHttpConnection* conn, int32_t pos, int32_t length, const char* data) {
    if (length <= 0 || data == nullptr) return;
    // The connection's thread waits here while the manager is behind.
    dataBudget_->Take(length);
    PostMsg(new CRecvDataMsg(kMsgRecvData, conn, pos, data, length, dataBudget_));
}

void CMultiDownloadMgr::OnSpeed(CHttpConnection* conn, double bytesPerMs) {
    PostMsg(new SpeedMsg(kMsgSpeed, bytesPerMs, conn));
}

void CMultiDownloadMgr::OnTransferFinished(CHttpConnection* conn, int32_t result) {
    PostMsg(new TransferFinishedMsg(kMsgTransferFinished, result, conn));
}

void CMultiDownloadMgr::Run() {
    CMsgThread::Run();
    // Nobody takes data now: no connection may wait for it.
    dataBudget_->Keep(false);
    bool allSucceeded = true;
    for (const auto& file : files_) allSucceeded = allSucceeded && file->state == DownLoadFileInfo::kSucceeded;
    if (callback_ != nullptr) callback_->OnAllFinished(userValue_, allSucceeded);
    // The blocks go with the file records.
    for (const auto& record : conns_) {
        record->curBlock = nullptr;
        record->curFile = nullptr;
    }
    active_.clear();
    pending_.clear();
    files_.clear();
    DownLogDbg("[%s] CMultiDownloadMgr run...ended", name_.c_str());
}

void CMultiDownloadMgr::OnTimer(int timerId) {
    if (timerId == kWakeTimer) {
        KillTimer(kWakeTimer);
        wakeDueMs_ = 0;
        Dispatch();
    } else if (timerId == kProgressTimer) {
        OnProgressTick();
    } else if (timerId == kDrainTimer) {
        KillTimer(kDrainTimer);
        // A connection that has not ended its transfer by now is never asked
        // again, so that its late end cannot be taken for another transfer's.
        for (const auto& record : conns_) {
            if (!record->awaitingEnd) continue;
            DownLogWar("[%s][conn%d] no end of transfer after the stop; not used again", name_.c_str(),
                       record->connNo);
            record->retired = true;
            record->awaitingEnd = false;
        }
        EndRunWhenDrained();
    }
}

void CMultiDownloadMgr::OnMsg(CMsg* msg) {
    switch (msg->GetType()) {
    case kMsgRunStarted:
        OnRunStarted();
        break;
    case kMsgFileFinished: {
        auto* finished = static_cast<FileFinishedMsg*>(msg);
        OnMsgFileFinished(finished->var2, finished->var1);
        break;
    }
    case kMsgStop:
        StopRun(0);
        break;
    case kMsgTransferFinished: {
        auto* finished = static_cast<TransferFinishedMsg*>(msg);
        SConnRecord* record = FindRecord(finished->var2);
        // Without an open transfer the message is a leftover and dropped.
        if (record == nullptr || !record->awaitingEnd) break;
        OnMsgTransferFinished(record, finished->var1);
        break;
    }
    case kMsgSendProgress: {
        auto* progress = static_cast<SendProgressMsg*>(msg);
        if (SConnRecord* record = TransferringRecord(progress->var1)) OnMsgSendProgress(record, progress->var2);
        break;
    }
    case kMsgRecvData: {
        auto* data = static_cast<CRecvDataMsg*>(msg);
        if (SConnRecord* record = TransferringRecord(data->conn)) {
            OnMsgRecvData(record, data->pos, static_cast<int32_t>(data->data.size()), data->data.data());
        }
        break;
    }
    case kMsgSpeed: {
        auto* speed = static_cast<SpeedMsg*>(msg);
        if (SConnRecord* record = TransferringRecord(speed->var2)) record->lastSpeed = speed->var1;
        break;
    }
    case kMsgNotify: {
        auto* notify = static_cast<CNotifyMsg*>(msg);
        if (SConnRecord* record = TransferringRecord(notify->conn)) OnMsgNotify(record, notify->kind, notify->value);
        break;
    }
    default:
        break;
    }
}

void CMultiDownloadMgr::OnRunStarted() {
    // A connection still busy from an earlier run (one whose end never came)
    // would report an end that belongs to none of this run's transfers.
    for (const auto& record : conns_) {
        if (!record->retired && !record->awaitingEnd && record->conn->IsBusy()) record->retired = true;
    }
    Dispatch();
}

void CMultiDownloadMgr::Dispatch() {
    if (stopping_ || failStopAsked_) return;
    const uint64_t now = TickCountMs();
    // Fastest first, servers asked last after the others.
    std::stable_sort(conns_.begin(), conns_.end(),
                     [this](const std::unique_ptr<SConnRecord>& a, const std::unique_ptr<SConnRecord>& b) {
                         return AskedBefore(a->serverNo, a->lastSpeed, b->serverNo, b->lastSpeed);
                     });
    for (size_t i = 0; i < conns_.size(); ++i) GiveWork(conns_[i].get(), now);
    AddConnectionsForWaitingFiles(now);
    if (pending_.empty() && active_.empty()) {
        if (!stopPosted_) {
            stopPosted_ = true;
            stop();
        }
        return;
    }
    ArmWakeTimer(now);
}

bool CMultiDownloadMgr::GiveWork(SConnRecord* record, uint64_t nowMs) {
    if (record->retired || !IsIdle(*record) || !BackoffOver(*record, nowMs)) return false;
    if (demoted_.count(record->serverNo) != 0 && SoundConnBusy()) return false;
    return GiveOpenBlock(record) || GiveNextFile(record) || GiveTail(record) || GiveRangeBeside(record, nowMs);
}

bool CMultiDownloadMgr::GiveOpenBlock(SConnRecord* record) {
    for (DownLoadFileInfo* file : active_) {
        if (!Workable(*file, *record)) continue;
        for (const FileMgr::SUnfinished& entry : file->Unfinished()) {
            if (entry.conns.empty() && entry.block->Remaining() != 0 && MayTake(*file, *record, *entry.block)) {
                return DispatchTask(record, file, entry.block);
            }
        }
    }
    return false;
}

bool CMultiDownloadMgr::GiveNextFile(SConnRecord* record) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        DownLoadFileInfo* file = *it;
        if (!file->MayUse(record->serverNo)) {
            ++it;
            continue;
        }
        pending_.erase(it);
        it = pending_.begin();
        if (!StartFile(file)) {
            if (failStopAsked_) return false;
            continue;
        }
        SFileBlock* block = file->FirstUnfinishedBlock();
        // A file the release says is empty needs no request.
        if (block == nullptr) {
            FinishFile(file, DLF_OK);
            continue;
        }
        ElectMain(file, record, "become");
        return DispatchTask(record, file, block);
    }
    return false;
}

bool CMultiDownloadMgr::GiveTail(SConnRecord* record) {
    DownLoadFileInfo* bestFile = nullptr;
    const FileMgr::SUnfinished* best = nullptr;
    for (DownLoadFileInfo* file : active_) {
        if (!Workable(*file, *record) || !file->RangesFrom(record->serverNo)) continue;
        for (const FileMgr::SUnfinished& entry : file->Unfinished()) {
            if (entry.conns.empty() || entry.block->length < 0) continue;
            if (best == nullptr || entry.block->Remaining() > best->block->Remaining()) {
                bestFile = file;
                best = &entry;
            }
        }
    }
    if (best == nullptr) return false;
    // The one ahead on the range sets the pace the tail is cut by.
    const SConnRecord* victim = best->conns.front();
    for (const SConnRecord* worker : best->conns) {
        if (worker->lastSpeed > victim->lastSpeed) victim = worker;
    }
    SFileBlock* block = best->block;
    const int32_t at = StealPoint(block->Position(), block->End(), PaceOf(*victim), PaceOf(*record));
    if (at < 0) return false;
    DownLogDbg("[%s][conn%d] takes over [%d~%d] from conn%d at %d, file:%s", name_.c_str(), record->connNo, at,
               block->End() - at, victim->connNo, block->Position(), bestFile->svrFileName.c_str());
    SFileBlock* tail = bestFile->SplitBlock(block, at);
    return tail != nullptr && DispatchTask(record, bestFile, tail);
}

bool CMultiDownloadMgr::GiveRangeBeside(SConnRecord* record, uint64_t nowMs) {
    DownLoadFileInfo* bestFile = nullptr;
    SFileBlock* best = nullptr;
    double bestMs = -1;
    bool fromStart = false;
    for (DownLoadFileInfo* file : active_) {
        if (!Workable(*file, *record)) continue;
        for (const FileMgr::SUnfinished& entry : file->Unfinished()) {
            if (entry.conns.size() != 1 || entry.block->Remaining() == 0) continue;
            const SConnRecord* victim = entry.conns.front();
            if (victim->serverNo == record->serverNo || !MayTake(*file, *record, *entry.block)) continue;
            const int64_t quietMs = static_cast<int64_t>(nowMs - std::max(victim->requestMs, victim->lastByteMs));
            const SConnPace pace = PaceOf(*victim);
            // A server that streams without stating the size is raced by one
            // that may state it, so that the file can be spread.
            const bool sizeless = entry.block->length < 0 && victim->requestBytes > 0;
            if (!sizeless && !WorthFetchingBeside(entry.block->Remaining(), pace, quietMs, PaceOf(*record))) continue;
            // The slowest to finish first: silent ones before all.
            const double ms = victim->requestBytes == 0 || pace.bytesPerMs <= 0 || entry.block->length < 0
                                  ? std::numeric_limits<double>::max()
                                  : entry.block->Remaining() / pace.bytesPerMs;
            if (ms > bestMs) {
                bestMs = ms;
                bestFile = file;
                best = entry.block;
                fromStart = sizeless;
            }
        }
    }
    if (best == nullptr) return false;
    DownLogDbg("[%s][conn%d] fetches [%d~%d, done:%d] beside a slower conn, file:%s", name_.c_str(), record->connNo,
               best->start, best->length, best->done, bestFile->svrFileName.c_str());
    return DispatchTask(record, bestFile, best, fromStart);
}

void CMultiDownloadMgr::AddConnectionsForWaitingFiles(uint64_t nowMs) {
    const int32_t serverCount = static_cast<int32_t>(serverUrls_.size());
    for (int32_t serverNo = 0; serverNo < serverCount && !pending_.empty(); ++serverNo) {
        if (demoted_.count(serverNo) != 0) continue;
        int32_t count = 0;
        bool allBringData = true;
        for (const auto& record : conns_) {
            if (record->serverNo != serverNo) continue;
            ++count;
            allBringData = allBringData && !record->retired && record->awaitingEnd && record->requestBytes > 0 &&
                           record->errCount == 0;
        }
        const bool wanted = std::any_of(pending_.begin(), pending_.end(),
                                        [serverNo](const DownLoadFileInfo* file) { return file->MayUse(serverNo); });
        if (!allBringData || !wanted || count >= kMaxConnsPerServer) continue;
        SConnRecord* record = AddConnection(serverNo, serverNo + count * serverCount);
        if (record != nullptr) GiveWork(record, nowMs);
    }
}

void CMultiDownloadMgr::ArmWakeTimer(uint64_t nowMs) {
    uint64_t due = std::numeric_limits<uint64_t>::max();
    for (const auto& idle : conns_) {
        if (idle->retired || !IsIdle(*idle)) continue;
        if (!BackoffOver(*idle, nowMs)) {
            due = std::min(due, BackoffEndMs(*idle));
            continue;
        }
        // A connection that falls silent may be joined by an idle one.
        for (const DownLoadFileInfo* file : active_) {
            for (const FileMgr::SUnfinished& entry : file->Unfinished()) {
                if (entry.conns.size() != 1) continue;
                const SConnRecord* victim = entry.conns.front();
                const uint64_t quietSince = std::max(victim->requestMs, victim->lastByteMs);
                const uint64_t silentAt = quietSince + SilentAfterMs(PaceOf(*victim), PaceOf(*idle)) + 1;
                if (silentAt > nowMs) due = std::min(due, silentAt);
            }
        }
    }
    if (due == std::numeric_limits<uint64_t>::max()) {
        if (wakeDueMs_ != 0) KillTimer(kWakeTimer);
        wakeDueMs_ = 0;
        return;
    }
    if (wakeDueMs_ != 0 && wakeDueMs_ <= due) return;
    wakeDueMs_ = due;
    SetTimer(kWakeTimer, static_cast<int>(std::max<uint64_t>(1, due - nowMs)));
}

bool CMultiDownloadMgr::IsIdle(const SConnRecord& record) const {
    return !record.awaitingEnd && record.curBlock == nullptr && !record.conn->IsBusy();
}

bool CMultiDownloadMgr::SoundConnBusy() const {
    return std::any_of(conns_.begin(), conns_.end(), [this](const std::unique_ptr<SConnRecord>& record) {
        return !record->retired && record->awaitingEnd && demoted_.count(record->serverNo) == 0;
    });
}

uint64_t CMultiDownloadMgr::BackoffEndMs(const SConnRecord& record) const {
    const int64_t backoff =
        record.errCount > 3 ? backoffMaxMs_ : static_cast<int64_t>(record.errCount - 1) * backoffStepMs_;
    return record.lastErrTimeMs + static_cast<uint64_t>(backoff) + 1;
}

bool CMultiDownloadMgr::BackoffOver(const SConnRecord& record, uint64_t nowMs) const {
    return record.errCount < 1 || nowMs >= BackoffEndMs(record);
}

bool CMultiDownloadMgr::Workable(const DownLoadFileInfo& file, const SConnRecord& record) const {
    return !file.finishPosted && file.MayUse(record.serverNo) && ConnsOn(file) < maxTransfers_;
}

bool CMultiDownloadMgr::MayTake(const DownLoadFileInfo& file, const SConnRecord& record,
                                const SFileBlock& block) const {
    // A server that gives no ranges of the file can still fetch it from its start.
    return block.start == 0 || file.RangesFrom(record.serverNo);
}

int32_t CMultiDownloadMgr::ConnsOn(const DownLoadFileInfo& file) const {
    int32_t count = 0;
    for (const auto& record : conns_) count += record->awaitingEnd && record->curFile == &file ? 1 : 0;
    return count;
}

SConnPace CMultiDownloadMgr::PaceOf(const SConnRecord& record) const {
    SConnPace pace;
    pace.bytesPerMs = record.SpeedMeasured() ? record.lastSpeed : 0;
    pace.roundTripMs = record.roundTripMs;
    return pace;
}

bool CMultiDownloadMgr::StartFile(DownLoadFileInfo* file) {
    file->state = DownLoadFileInfo::kDownloading;
    DownLogDbg("[%s] start to download file:%s", name_.c_str(), file->svrFileName.c_str());
    file->lastActivityMs = TickCountMs();
    active_.push_back(file);
    if (!file->OpenLocalFile()) {
        FinishFile(file, DLF_LOCAL_FILE);
        return false;
    }
    if (file->fetch.transferSize >= 0) file->SetFileSize(file->fetch.transferSize);
    file->SetSizeLimit(file->fetch.transferSize >= 0 ? file->fetch.transferSize : file->fetch.sizeLimit);
    return true;
}

bool CMultiDownloadMgr::DispatchTask(SConnRecord* record, DownLoadFileInfo* file, SFileBlock* block,
                                     bool fromStart) {
    DownLogDbg("[%s][conn%d] DispatchTask[%d~%d, done:%d], lastSpeed:%.02fKB/s", name_.c_str(), record->connNo,
               block->start, block->length, block->done, record->lastSpeed);
    std::string url = record->baseUrl;
    if (file->svrFileName.empty() || file->svrFileName.front() != '/') url += '/';
    url += file->svrFileName;
    // From where the block stands; a server that gives no ranges of the file
    // fetches it from its start, and what is on disk already is not written again.
    int32_t start = block->Position();
    if (fromStart || !file->RangesFrom(record->serverNo)) start = 0;
    const int32_t size = file->GetFileSize();
    const int32_t blockEnd = block->length >= 0 ? block->End() : -1;
    // The whole file from its start goes without a Range header, as any server answers it.
    int32_t length = CHttpConnection::kOpenLength;
    if (blockEnd >= 0 && !(start == 0 && blockEnd == size)) length = blockEnd - start;
    const std::string& body = file->postData;
    const bool sendBody = start == 0 && !body.empty();
    if (!record->conn->DoTransfer(this, url, start, length, sendBody ? body.data() : nullptr,
                                  sendBody ? static_cast<uint32_t>(body.size()) : 0)) {
        DownLogWar("[%s][conn%d] DispatchTask fail[%d~%d]", name_.c_str(), record->connNo, block->start,
                   block->length);
        return false;
    }
    const uint64_t now = TickCountMs();
    record->awaitingEnd = true;
    record->curFile = file;
    record->requestStart = start;
    record->requestEnd = length >= 0 ? start + length : size;
    record->requestMs = now;
    record->requestBytes = 0;
    record->requestWritten = 0;
    record->StartSpeedSample(now);
    file->AssignTask(block, record);
    return true;
}

void CMultiDownloadMgr::ReportProgress(const DownLoadFileInfo& file) {
    if (callback_ == nullptr) return;
    callback_->OnFileProgress(file.fileID, file.GetFileSize(), file.GetTransforedSize(), userValue_);
}

void CMultiDownloadMgr::OnProgressTick() {
    const uint64_t now = TickCountMs();
    const std::vector<DownLoadFileInfo*> files = active_;
    for (DownLoadFileInfo* file : files) {
        if (file->finishPosted) continue;
        ReportProgress(*file);
        if (now - file->lastActivityMs > static_cast<uint64_t>(idleTimeoutMs_.load())) {
            FinishFile(file, DLF_IDLE_TIMEOUT);
            continue;
        }
        // The main connection is the fastest on the file, by a clear margin.
        SConnRecord* fastest = nullptr;
        for (const auto& record : conns_) {
            if (record->curFile != file || record->curBlock == nullptr || !record->SpeedMeasured()) continue;
            if (fastest == nullptr || record->lastSpeed > fastest->lastSpeed) fastest = record.get();
        }
        if (fastest != nullptr && fastest != file->main &&
            (file->main == nullptr || fastest->lastSpeed > kReElectFactor * file->main->lastSpeed)) {
            ElectMain(file, fastest, "become");
        }
    }
}

void CMultiDownloadMgr::ElectMain(DownLoadFileInfo* file, SConnRecord* record, const char* verb) {
    file->main = record;
    DownLogDbg("[%s][conn%d] %s the main conn", name_.c_str(), record->connNo, verb);
    if (callback_ != nullptr) callback_->OnMainServer(record->baseUrl.c_str(), userValue_);
}

SConnRecord* CMultiDownloadMgr::FindRecord(const CHttpConnection* conn) {
    for (const auto& record : conns_) {
        if (record->conn.get() == conn) return record->retired ? nullptr : record.get();
    }
    return nullptr;
}

SConnRecord* CMultiDownloadMgr::TransferringRecord(const CHttpConnection* conn) {
    SConnRecord* record = FindRecord(conn);
    return record != nullptr && record->awaitingEnd ? record : nullptr;
}

CMultiDownloadMgr::DownLoadFileInfo* CMultiDownloadMgr::FileOf(const SConnRecord& record) const {
    auto* file = static_cast<DownLoadFileInfo*>(record.curFile);
    return file != nullptr && !file->finishPosted ? file : nullptr;
}

// The idle time-out runs from the last byte received, whatever it brought:
// a file fetched again from its start by a server without ranges is
// progress. A request body sent again and again to a server that then fails
// is not, nor does it clear the server's errors, so that such a server (or a
// proxy that takes the body and then refuses the credentials) waits out its
// back-off; a server whose answers bring nothing new is given up after
// kFruitlessLimit of them.
void CMultiDownloadMgr::OnMsgSendProgress(SConnRecord* record, int bytesSent) {
    record->CountBytes(TickCountMs(), bytesSent);
}

void CMultiDownloadMgr::OnMsgRecvData(SConnRecord* record, int32_t pos, int32_t length, const char* data) {
    DownLoadFileInfo* file = FileOf(*record);
    if (file == nullptr || record->curBlock == nullptr) return;
    const uint64_t now = TickCountMs();
    const bool firstByte = record->requestBytes == 0;
    if (firstByte) record->CountRoundTrip(static_cast<int64_t>(now - record->requestMs));
    record->requestBytes += length;
    record->lastByteMs = now;
    record->CountBytes(now, length);
    record->errCount = 0;
    file->lastActivityMs = now;
    if (!httpRange_ && pos > 0) {
        DownLogDbg("[%s] network support http-range!", name_.c_str());
        httpRange_ = true;
    }
    SFileBlock* block = record->curBlock;
    int32_t written = 0;
    const int result = file->WriteBlockData(record, data, pos, length, written);
    if (result == FileMgr::kWriteNotOpen) {
        record->conn->Abort();
        return;
    }
    if (result == FileMgr::kWriteFileError) {
        FinishFile(file, DLF_LOCAL_FILE);
        return;
    }
    record->requestWritten += written;
    const bool blockDone = block->length >= 0 && block->done >= block->length;
    if (blockDone) CompleteBlock(file, block, record, pos, length);
    if (result == FileMgr::kWriteOverLimit) {
        DownLogErr("[%s][conn%d] file too big, limit:%d, file:%s", name_.c_str(), record->connNo, file->SizeLimit(),
                   file->svrFileName.c_str());
        FailServerForFile(file, record->serverNo, DLF_SIZE_MISMATCH);
    } else if (firstByte && !blockDone) {
        // An answer that arrives may let idle connections join.
        Dispatch();
    }
}

void CMultiDownloadMgr::CompleteBlock(DownLoadFileInfo* file, SFileBlock* block, SConnRecord* writer, int32_t pos,
                                      int32_t length) {
    for (SConnRecord* worker : file->RetireBlock(block)) {
        // A request that ends with the block ends by itself, keeping its connection.
        if (worker == writer && worker->requestEnd == block->End()) continue;
        DownLogDbg("[conn%d] abort by range(%d~%d), curRange:(%d~%d, done:%d)", worker->connNo, pos, length,
                   block->start, block->length, block->done);
        worker->conn->Abort();
    }
    FinishOrDispatch(file);
}

void CMultiDownloadMgr::OnMsgNotify(SConnRecord* record, int32_t kind, int32_t value) {
    DownLoadFileInfo* file = FileOf(*record);
    if (kind != CConnectionCallBack::kNotifyTotalSize || file == nullptr || record->curBlock == nullptr) return;
    if (value >= 0 && record->requestEnd < 0) record->requestEnd = value;
    const int32_t transferSize = file->fetch.transferSize;
    if (transferSize >= 0) {
        // The release says how big the file is: a server that says otherwise
        // serves another file, and the others carry on without it.
        if (value != -1 && value != transferSize) {
            DownLogErr("[%s][conn%d] filesize err, lastSize:%d, newSize:%d, file:%s", name_.c_str(), record->connNo,
                       transferSize, value, file->svrFileName.c_str());
            FailServerForFile(file, record->serverNo, DLF_SIZE_MISMATCH);
            return;
        }
    } else if (file->SizeLimit() >= 0 && value > file->SizeLimit()) {
        DownLogErr("[%s][conn%d] file too big, limit:%d, newSize:%d, file:%s", name_.c_str(), record->connNo,
                   file->SizeLimit(), value, file->svrFileName.c_str());
        FailServerForFile(file, record->serverNo, DLF_SIZE_MISMATCH);
        return;
    }
    const bool firstSize = value != -1 && file->GetFileSize() < 0;
    if (transferSize < 0 && value != -1) {
        if (file->GetFileSize() < 0) {
            DownLogDbg("[%s][conn%d] recv filesize:%d, file:%s", name_.c_str(), record->connNo, value,
                       file->svrFileName.c_str());
            // What a server that states no size streamed is not trusted over
            // the answer that states it: that one brings the file again.
            if (record->requestStart == 0) file->RestartWholeFile();
            file->SetFileSize(value);
        } else if (file->GetFileSize() != value) {
            DownLogErr("[%s][conn%d] filesize err, lastSize:%d, newSize:%d, file:%s", name_.c_str(), record->connNo,
                       file->GetFileSize(), value, file->svrFileName.c_str());
            FinishFile(file, DLF_SIZE_MISMATCH);
            return;
        }
    }
    // The first to state the file's size leads it, and so does the first to
    // answer from its start when the one that started it is still silent;
    // the others racing on that block stop. A connection that cannot tell
    // the size does not lead: a server that streams without a length does
    // not shut out one that says it.
    SConnRecord* main = file->main;
    SFileBlock* block = record->curBlock;
    if (value != -1 && block != nullptr && main != record &&
        (firstSize || (record->requestStart == 0 && (main == nullptr || main->requestBytes == 0)))) {
        ElectMain(file, record, "became");
        for (const auto& other : conns_) {
            if (other.get() != record && other->curFile == file && other->curBlock == block &&
                (firstSize || (other->requestStart == 0 && other->requestBytes == 0))) {
                other->conn->Abort();
            }
        }
    }
    // With the size known, the file's tail can be handed out.
    Dispatch();
}

void CMultiDownloadMgr::FailServerForFile(DownLoadFileInfo* file, int32_t serverNo, int errorCode) {
    file->failedServers.insert(serverNo);
    const uint64_t now = TickCountMs();
    for (const auto& record : conns_) {
        if (record->serverNo != serverNo || record->curFile != file || !record->awaitingEnd) continue;
        ++record->errCount;
        record->lastErrTimeMs = now;
        if (record->curBlock != nullptr) file->ReleaseTask(record.get());
        record->conn->Abort();
    }
    const int32_t serverCount = static_cast<int32_t>(serverUrls_.size());
    for (int32_t other = 0; other < serverCount; ++other) {
        if (file->MayUse(other)) {
            Dispatch();
            return;
        }
    }
    FinishFile(file, errorCode);
}

void CMultiDownloadMgr::OnMsgTransferFinished(SConnRecord* record, int result) {
    record->awaitingEnd = false;
    auto* file = static_cast<DownLoadFileInfo*>(record->curFile);
    record->curFile = nullptr;
    if (file != nullptr && file->main == record) file->main = nullptr;
    if (file == nullptr || file->finishPosted || stopping_) {
        if (file != nullptr) file->ReleaseTask(record);
        record->curBlock = nullptr;
        if (stopping_) {
            EndRunWhenDrained();
        } else {
            Dispatch();
        }
        return;
    }
    if (record->curBlock != nullptr) {
        if (result == 0) {
            if (file->GetFileSize() < 0) file->SetFileSize(file->GetTransforedSize());
            DownLogDbg("[%s][conn%d] Conn task complete", name_.c_str(), record->connNo);
        } else if (result == kAborted) {
            DownLogDbg("[%s][conn%d] Conn transf aborted!", name_.c_str(), record->connNo);
        } else {
            ++record->errCount;
            record->lastErrTimeMs = TickCountMs();
            DownLogWar("[%s][conn%d] OnMsgTransfFin error:%d, errtimes:%d, lastTime:%lld", name_.c_str(),
                       record->connNo, result, record->errCount, static_cast<long long>(record->lastErrTimeMs));
            if (result == kBadResponse && record->requestStart > 0 && record->requestBytes == 0 &&
                file->RangesFrom(record->serverNo)) {
                DownLogDbg("[%s][conn%d] no range of file:%s, from its start only", name_.c_str(), record->connNo,
                           file->svrFileName.c_str());
                file->rangelessServers.insert(record->serverNo);
            }
        }
        file->ReleaseTask(record);
    }
    if (result != kAborted && record->requestBytes > 0) {
        int& fruitless = file->fruitless[record->serverNo];
        fruitless = record->requestWritten > 0 ? 0 : fruitless + 1;
        if (fruitless >= kFruitlessLimit) {
            DownLogWar("[%s][conn%d] brings nothing new of file:%s", name_.c_str(), record->connNo,
                       file->svrFileName.c_str());
            FailServerForFile(file, record->serverNo, DLF_IDLE_TIMEOUT);
            return;
        }
    }
    FinishOrDispatch(file);
}

void CMultiDownloadMgr::FinishOrDispatch(DownLoadFileInfo* file) {
    if (file->IsComplete()) {
        DownLogDbg("[%s] file download finished. file:%s", name_.c_str(), file->svrFileName.c_str());
        FinishFile(file, DLF_OK);
    } else {
        Dispatch();
    }
}

void CMultiDownloadMgr::FinishFile(DownLoadFileInfo* file, int errorCode) {
    if (file->finishPosted) return;
    file->finishPosted = true;
    // The run ends with this file: nothing new starts meanwhile.
    if (errorCode != DLF_OK && stopWhenOneFileFailed_) failStopAsked_ = true;
    PostMsg(new FileFinishedMsg(kMsgFileFinished, errorCode, file));
}

void CMultiDownloadMgr::OnMsgFileFinished(DownLoadFileInfo* file, int errorCode) {
    ReportProgress(*file);
    if (errorCode != DLF_OK) {
        file->state = DownLoadFileInfo::kFailed;
        DownLogWar("[%s] file download failed. [errCode:%d, file=%s]", name_.c_str(), errorCode,
                   file->svrFileName.c_str());
    } else {
        file->state = DownLoadFileInfo::kSucceeded;
        DownLogDbg("[%s] file download success. [size:%d, file=%s]", name_.c_str(), file->GetFileSize(),
                   file->svrFileName.c_str());
    }
    // Connections still on a failed file would carry its ranges into the next one.
    for (const auto& record : conns_) {
        if (record->curFile != file || record->curBlock == nullptr) continue;
        file->ReleaseTask(record.get());
        record->conn->Abort();
    }
    file->main = nullptr;
    file->CloseLocalFile(false);
    if (callback_ != nullptr) {
        callback_->OnFileSources(file->fileID, file->Sources(), userValue_);
        callback_->OnFileFinished(file->fileID, errorCode, userValue_);
    }
    active_.erase(std::remove(active_.begin(), active_.end(), file), active_.end());
    if (errorCode != DLF_OK && stopWhenOneFileFailed_ && !stopping_) {
        DownLogDbg("[%s] StopWhenOneFileFailed is true, start to stop", name_.c_str());
        StopRun(errorCode);
        return;
    }
    Dispatch();
}

void CMultiDownloadMgr::StopRun(int exitCode) {
    if (stopping_) return;
    stopping_ = true;
    stopCode_ = exitCode;
    KillTimer(kWakeTimer);
    KillTimer(kProgressTimer);
    StopAllConn();
    SetTimer(kDrainTimer, kDrainLimitMs);
    EndRunWhenDrained();
}

void CMultiDownloadMgr::EndRunWhenDrained() {
    // No transfer of this run may end in the next one, where its end would
    // be taken for another transfer's.
    for (const auto& record : conns_) {
        if (record->awaitingEnd) return;
    }
    if (quitPosted_) return;
    quitPosted_ = true;
    KillTimer(kDrainTimer);
    Stop(stopCode_);
}

void CMultiDownloadMgr::StopAllConn() {
    if (conns_.empty()) return;
    DownLogDbg("[%s] stop all conn...", name_.c_str());
    for (const auto& record : conns_) {
        record->conn->Abort();
        if (record->curFile != nullptr) record->curFile->ReleaseTask(record.get());
        record->curBlock = nullptr;
    }
    for (DownLoadFileInfo* file : active_) file->main = nullptr;
}

void CMultiDownloadMgr::RemoveAllConn() {
    StopAllConn();
    DownLogDbg("[%s] RemoveAllConn...", name_.c_str());
    conns_.clear();
    serverEntries_.clear();
    serverUrls_.clear();
    demoted_.clear();
}

#include "net/multi_download_mgr.h"

#include <algorithm>
#include <utility>

#include "diag/trace_log.h"
#include "util/clock.h"

namespace {

class CRecvDataMsg : public CMsg {
public:
    CRecvDataMsg(int32_t type, CHttpConnection* connection, int32_t position, const char* bytes, int32_t length)
        : CMsg(type), conn(connection), pos(position), data(bytes, static_cast<size_t>(length)) {}

    CHttpConnection* const conn;
    const int32_t pos;
    const std::string data;
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
using FileFinishedMsg = CVar1Msg<int>;

}  // namespace

CMutilTransfer* CreateMultiDownloadMgr(const char* name, CHttpConnectionFactory* factory) {
    if (name == nullptr || factory == nullptr) return nullptr;
    return new CMultiDownloadMgr(name, factory);
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
        const int32_t connNo = static_cast<int32_t>(conns_.size());
        DownLogDbg("[%s] connID=%d; serverinfo=%s", name_.c_str(), connNo, piece.c_str());
        std::string baseUrl = piece;
        if (baseUrl.back() == '/') baseUrl.pop_back();
        if (baseUrl.compare(0, 4, "http") != 0) baseUrl = "http://" + baseUrl;
        ConnectionPtr conn(factory_->Create(connNo));
        if (!conn) {
            DownLogErr("[%s] query httpConnection instance fail", name_.c_str());
            RemoveAllConn();
            return false;
        }
        if (!proxyHost_.empty()) conn->SetProxy(proxyHost_, proxyPort_, proxyUser_, proxyPassword_);
        conns_.push_back(std::make_unique<SConnRecord>(connNo, baseUrl, std::move(conn)));
        from = to + 1;
    }
    if (conns_.empty()) {
        DownLogErr("[%s] SetSverInfo failed, the server string[%s]!", name_.c_str(), servers);
        return false;
    }
    httpRange_ = false;
    return true;
}

void CMultiDownloadMgr::SetMaxTransfers(int32_t count) { maxTransfers_ = count; }

void CMultiDownloadMgr::SetIdleTimeout(int32_t milliseconds) { idleTimeoutMs_ = milliseconds; }

bool CMultiDownloadMgr::getFile(int32_t fileID, const std::string& svrFileName, const std::string& locFileName,
                                bool bUseHttpRange, const std::string& postData) {
    if (running_) {
        DownLogErr("[%s] getFile failed, is running!", name_.c_str());
        return false;
    }
    DownLogDbg("[%s] getFile: fileID=%d, svrFileName=%s, locFileName=%s, bUseHttpRange=%d", name_.c_str(), fileID,
               svrFileName.c_str(), locFileName.c_str(), bUseHttpRange ? 1 : 0);
    auto file = std::make_unique<DownLoadFileInfo>(bUseHttpRange);
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
    main_ = nullptr;
    current_ = nullptr;
    finishPosted_ = false;
    stopPosted_ = false;
    stopping_ = false;
    userValue_ = userValue;
    stopWhenOneFileFailed_ = StopWhenOneFileFailed;
    DownLogDbg("[%s] CMultiDownloadMgr start...", name_.c_str());
    if (!Start()) {
        DownLogErr("[%s] CMultiDownloadMgr thread start failed!", name_.c_str());
        return false;
    }
    running_ = true;
    SetThreadName(name_.c_str());
    SetTimer(kScheduleTimer, kScheduleIntervalMs);
    SetTimer(kProgressTimer, kProgressIntervalMs);
    PostMsg(new CMsg(kMsgRunStarted));
    return true;
}

void CMultiDownloadMgr::stop() {
    DownLogDbg("[%s] CMultiDownloadMgr stop...", name_.c_str());
    PostMsg(new CMsg(kMsgStop));
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
    PostMsg(new CRecvDataMsg(kMsgRecvData, conn, pos, data, length));
}

void CMultiDownloadMgr::OnSpeed(CHttpConnection* conn, double bytesPerMs) {
    PostMsg(new SpeedMsg(kMsgSpeed, bytesPerMs, conn));
}

void CMultiDownloadMgr::OnTransferFinished(CHttpConnection* conn, int32_t result) {
    PostMsg(new TransferFinishedMsg(kMsgTransferFinished, result, conn));
}

void CMultiDownloadMgr::Run() {
    CMsgThread::Run();
    bool allSucceeded = true;
    for (const auto& file : files_) allSucceeded = allSucceeded && file->state == DownLoadFileInfo::kSucceeded;
    if (callback_ != nullptr) callback_->OnAllFinished(userValue_, allSucceeded);
    // The blocks go with the file records.
    for (const auto& record : conns_) record->curBlock = nullptr;
    main_ = nullptr;
    current_ = nullptr;
    pending_.clear();
    files_.clear();
    DownLogDbg("[%s] CMultiDownloadMgr run...ended", name_.c_str());
}

void CMultiDownloadMgr::OnTimer(int timerId) {
    if (timerId == kScheduleTimer) {
        Schedule();
    } else if (timerId == kProgressTimer) {
        ReportProgress();
    }
}

void CMultiDownloadMgr::OnMsg(CMsg* msg) {
    switch (msg->GetType()) {
    case kMsgRunStarted:
        OnRunStarted();
        break;
    case kMsgFileFinished:
        OnMsgFileFinished(static_cast<FileFinishedMsg*>(msg)->var1);
        break;
    case kMsgScheduleAgain:
        Schedule();
        break;
    case kMsgStop:
        OnMsgStop(0);
        break;
    case kMsgTransferFinished: {
        auto* finished = static_cast<TransferFinishedMsg*>(msg);
        SConnRecord* record = FindRecord(finished->var2);
        // Without an open transfer the message is a leftover of an earlier run.
        if (record == nullptr || !record->awaitingEnd) break;
        record->awaitingEnd = false;
        if (current_ != nullptr) OnMsgTransferFinished(record, finished->var1);
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
    // The end of a transfer still running from the last run arrives in this
    // one; the ends posted before the start were dropped with the old queue.
    for (const auto& record : conns_) record->awaitingEnd = record->conn->IsBusy();
    Schedule();
}

void CMultiDownloadMgr::Schedule() {
    if (stopping_) return;
    if (current_ == nullptr) StartNextFile();
    if (current_ == nullptr || finishPosted_) return;
    if (TickCountMs() - lastActivityMs_ > static_cast<uint64_t>(idleTimeoutMs_.load())) {
        FinishCurrentFile(DLF_IDLE_TIMEOUT);
        return;
    }
    Dispatch();
}

void CMultiDownloadMgr::StartNextFile() {
    if (pending_.empty()) {
        if (!stopPosted_) {
            stopPosted_ = true;
            stop();
        }
        return;
    }
    current_ = pending_.front();
    current_->state = DownLoadFileInfo::kDownloading;
    finishPosted_ = false;
    DownLogDbg("[%s] start to download file:%s", name_.c_str(), current_->svrFileName.c_str());
    lastActivityMs_ = TickCountMs();
    if (!current_->OpenLocalFile()) FinishCurrentFile(DLF_LOCAL_FILE);
}

void CMultiDownloadMgr::ReportProgress() {
    if (callback_ == nullptr || current_ == nullptr) return;
    callback_->OnFileProgress(current_->fileID, current_->GetFileSize(), current_->GetTransforedSize(), userValue_);
}

void CMultiDownloadMgr::Dispatch() {
    // The ends of the transfers aborted by a stop arrive before the loop ends.
    if (current_ == nullptr || finishPosted_ || stopping_) return;
    std::stable_sort(conns_.begin(), conns_.end(),
                     [](const std::unique_ptr<SConnRecord>& a, const std::unique_ptr<SConnRecord>& b) {
                         return a->lastSpeed > b->lastSpeed;
                     });
    if (main_ == nullptr) {
        if (httpRange_ && current_->UseHttpRange()) {
            ElectMain();
        } else {
            RaceFullFile();
        }
        return;
    }
    if (!current_->UseHttpRange()) return;
    int32_t busy = 0;
    for (const auto& record : conns_) busy += record->curBlock != nullptr ? 1 : 0;
    const uint64_t now = TickCountMs();
    for (const auto& record : conns_) {
        if (busy >= maxTransfers_) break;
        if (!CanDispatch(*record, now)) continue;
        SFileBlock* block = current_->NextTask();
        if (block == nullptr || block->length < 0) break;
        if (DispatchTask(record.get(), block)) ++busy;
    }
}

void CMultiDownloadMgr::RaceFullFile() {
    const uint64_t now = TickCountMs();
    for (const auto& record : conns_) {
        if (!CanDispatch(*record, now)) continue;
        SFileBlock* block = current_->FirstUnfinishedBlock();
        if (block == nullptr) return;
        DispatchTask(record.get(), block);
    }
}

void CMultiDownloadMgr::ElectMain() {
    SFileBlock* block = current_->FirstUnfinishedBlock();
    if (block == nullptr) return;
    const uint64_t now = TickCountMs();
    for (const auto& record : conns_) {
        if (!CanDispatch(*record, now)) continue;
        if (DispatchTask(record.get(), block)) {
            main_ = record.get();
            DownLogDbg("[%s][conn%d] become the main conn", name_.c_str(), record->connNo);
            if (callback_ != nullptr) callback_->OnMainServer(record->baseUrl.c_str(), userValue_);
        }
        return;
    }
}

bool CMultiDownloadMgr::CanDispatch(const SConnRecord& record, uint64_t nowMs) const {
    if (record.curBlock != nullptr || record.awaitingEnd || record.conn->IsBusy()) return false;
    if (record.errCount < 1) return true;
    const int64_t backoff =
        record.errCount > 3 ? backoffMaxMs_ : static_cast<int64_t>(record.errCount - 1) * backoffStepMs_;
    return static_cast<int64_t>(nowMs - record.lastErrTimeMs) > backoff;
}

bool CMultiDownloadMgr::DispatchTask(SConnRecord* record, SFileBlock* block) {
    DownLogDbg("[%s][conn%d] DispatchTask[%d~%d, done:%d], lastSpeed:%.02fKB/s", name_.c_str(), record->connNo,
               block->start, block->length, block->done, record->lastSpeed);
    std::string url = record->baseUrl;
    if (current_->svrFileName.empty() || current_->svrFileName.front() != '/') url += '/';
    url += current_->svrFileName;
    int32_t start = 0;
    int32_t length = block->length;
    if (block->start != 0 || httpRange_) {
        start = block->Position();
        length = block->Remaining();
    }
    const std::string& body = current_->postData;
    const bool sendBody = start == 0 && !body.empty();
    if (!record->conn->DoTransfer(this, url, start, length, sendBody ? body.data() : nullptr,
                                  sendBody ? static_cast<uint32_t>(body.size()) : 0)) {
        DownLogWar("[%s][conn%d] DispatchTask fail[%d~%d]", name_.c_str(), record->connNo, block->start,
                   block->length);
        return false;
    }
    record->awaitingEnd = true;
    record->StartSpeedSample(TickCountMs());
    current_->AssignTask(block, record);
    return true;
}

SConnRecord* CMultiDownloadMgr::FindRecord(const CHttpConnection* conn) {
    for (const auto& record : conns_) {
        if (record->conn.get() == conn) return record.get();
    }
    return nullptr;
}

SConnRecord* CMultiDownloadMgr::TransferringRecord(const CHttpConnection* conn) {
    if (current_ == nullptr) return nullptr;
    SConnRecord* record = FindRecord(conn);
    return record != nullptr && record->awaitingEnd ? record : nullptr;
}

// The idle time-out runs from the last time the file gained bytes: neither a
// request body sent again and again to a server that then fails, nor a
// server that sends the same start of the file again and again, holds a
// file that gets nowhere open for ever. Nor does a body taken clear the error
// count: a server or proxy that takes the body and then refuses (wrong proxy
// credentials) waits out its back-off like any failing server.
void CMultiDownloadMgr::OnMsgSendProgress(SConnRecord* record, int bytesSent) {
    record->CountBytes(TickCountMs(), bytesSent);
}

void CMultiDownloadMgr::OnMsgRecvData(SConnRecord* record, int32_t pos, int32_t length, const char* data) {
    if (record->curBlock == nullptr) return;
    const uint64_t now = TickCountMs();
    record->CountBytes(now, length);
    record->errCount = 0;
    if (!httpRange_ && record->curBlock->start > 0) {
        DownLogDbg("[%s] network support http-range!", name_.c_str());
        httpRange_ = true;
        current_->SetFileSize(current_->GetFileSize(), true);
    }
    const SFileBlock* block = record->curBlock;
    const int32_t doneBefore = block->done;
    switch (current_->WriteBlockData(record, data, pos, length)) {
    case FileMgr::kWriteOk:
        if (block->done > doneBefore) lastActivityMs_ = now;
        current_->CompleteCoveredBlocks(pos, length);
        break;
    case FileMgr::kWriteNotOpen:
        record->conn->Abort();
        break;
    default:
        FinishCurrentFile(DLF_LOCAL_FILE);
        break;
    }
}

void CMultiDownloadMgr::OnMsgNotify(SConnRecord* record, int32_t kind, int32_t value) {
    if (kind != CConnectionCallBack::kNotifyTotalSize || record->curBlock == nullptr) return;
    if (value != -1) {
        if (current_->GetFileSize() < 0) {
            DownLogDbg("[%s][conn%d] recv filesize:%d, file:%s", name_.c_str(), record->connNo, value,
                       current_->svrFileName.c_str());
            current_->SetFileSize(value, httpRange_);
        } else if (current_->GetFileSize() != value) {
            DownLogErr("[%s][conn%d] filesize err, lastSize:%d, newSize:%d, file:%s", name_.c_str(), record->connNo,
                       current_->GetFileSize(), value, current_->svrFileName.c_str());
            FinishCurrentFile(DLF_SIZE_MISMATCH);
            return;
        }
    }
    // A connection that cannot tell the size does not lead: the others race
    // on, so a server that streams without end, or without a length, does not
    // shut out one that says how long the file is. When none can tell, the
    // first to reach the end of its response decides the size.
    if (value == -1 || main_ != nullptr || record->curBlock == nullptr || !record->curBlock->IsFullFile()) return;
    DownLogDbg("[%s][conn%d] became the main conn", name_.c_str(), record->connNo);
    main_ = record;
    for (const auto& other : conns_) {
        if (other.get() != record && other->curBlock != nullptr && other->curBlock->IsFullFile()) other->conn->Abort();
    }
}

void CMultiDownloadMgr::OnMsgTransferFinished(SConnRecord* record, int result) {
    if (record == main_) main_ = nullptr;
    if (record->curBlock == nullptr) {
        Dispatch();
        return;
    }
    if (result == 0) {
        if (current_->GetFileSize() < 0) current_->SetFileSize(current_->GetTransforedSize(), httpRange_);
        DownLogDbg("[%s][conn%d] Conn task complete", name_.c_str(), record->connNo);
    } else if (result == -1) {
        DownLogDbg("[%s][conn%d] Conn transf aborted!", name_.c_str(), record->connNo);
    } else {
        ++record->errCount;
        record->lastErrTimeMs = TickCountMs();
        DownLogWar("[%s][conn%d] OnMsgTransfFin error:%d, errtimes:%d, lastTime:%lld", name_.c_str(), record->connNo,
                   result, record->errCount, static_cast<long long>(record->lastErrTimeMs));
    }
    current_->ReleaseTask(record);
    if (current_->IsComplete()) {
        DownLogDbg("[%s] file download finished. file:%s", name_.c_str(), current_->svrFileName.c_str());
        StopAllConn();
        FinishCurrentFile(DLF_OK);
    } else {
        Dispatch();
    }
}

void CMultiDownloadMgr::FinishCurrentFile(int errorCode) {
    if (current_ == nullptr || finishPosted_) return;
    finishPosted_ = true;
    PostMsg(new FileFinishedMsg(kMsgFileFinished, errorCode));
}

void CMultiDownloadMgr::OnMsgFileFinished(int errorCode) {
    ReportProgress();
    if (current_ == nullptr) return;
    if (errorCode != DLF_OK) {
        current_->state = DownLoadFileInfo::kFailed;
        DownLogWar("[%s] file download failed. [errCode:%d, file=%s]", name_.c_str(), errorCode,
                   current_->svrFileName.c_str());
        // Connections still on the failed file would otherwise carry its
        // ranges and its main role into the next one.
        StopAllConn();
    } else {
        current_->state = DownLoadFileInfo::kSucceeded;
        DownLogDbg("[%s] file download success. [size:%d, file=%s]", name_.c_str(), current_->GetFileSize(),
                   current_->svrFileName.c_str());
    }
    current_->CloseLocalFile(false);
    if (callback_ != nullptr) callback_->OnFileFinished(current_->fileID, errorCode, userValue_);
    pending_.erase(std::remove(pending_.begin(), pending_.end(), current_), pending_.end());
    current_ = nullptr;
    if (errorCode != DLF_OK && stopWhenOneFileFailed_) {
        DownLogDbg("[%s] StopWhenOneFileFailed is true, start to stop", name_.c_str());
        stopping_ = true;
        KillTimer(kScheduleTimer);
        KillTimer(kProgressTimer);
        Stop(errorCode);
        return;
    }
    PostMsg(new CMsg(kMsgScheduleAgain));
}

void CMultiDownloadMgr::OnMsgStop(int exitCode) {
    stopping_ = true;
    KillTimer(kScheduleTimer);
    KillTimer(kProgressTimer);
    StopAllConn();
    Stop(exitCode);
}

void CMultiDownloadMgr::StopAllConn() {
    if (conns_.empty()) return;
    DownLogDbg("[%s] stop all conn...", name_.c_str());
    for (const auto& record : conns_) {
        record->conn->Abort();
        if (current_ != nullptr) {
            current_->ReleaseTask(record.get());
        } else {
            record->curBlock = nullptr;
        }
    }
    main_ = nullptr;
}

void CMultiDownloadMgr::RemoveAllConn() {
    StopAllConn();
    DownLogDbg("[%s] RemoveAllConn...", name_.c_str());
    conns_.clear();
    main_ = nullptr;
}

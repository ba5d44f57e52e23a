// The download manager: fetches a queue of files from every server at once.
// Each server entry starts with one connection; while files wait and all of
// a server's connections bring data, it gets more (up to kMaxConnsPerServer),
// so that small files are fetched several at a time and no connection waits
// for one file to end before it starts the next. Connections are kept open
// from request to request and from file to file.
//
// An idle connection, fastest first, takes in this order: an open range of a
// file under way that nobody works on (a failed connection's, resumed from
// what is on disk), the next waiting file whole, the tail of the largest open
// range cut by rate (work_split.h), or, near the end, the range of a slow or
// silent connection fetched beside it. Each file's main connection is the one
// that started it, taken over by the first to answer when it stays silent,
// and re-chosen by measured rate. Work is handed out on events (a transfer's
// end, a first byte, a size, a file's end); a timer wakes the manager only
// when a back-off or a silence runs out. A failing connection waits out a
// growing back-off; a file that receives no byte for the idle time-out fails.
//
// Connection numbers: the first connection of server entry i is numbered i,
// its k-th further one i + k × (number of entries), so the log's "[conn%d]"
// tells the server.
//
// Threading: the CMutilTransfer operations run on the owner's thread, and
// SetSverInfo, getFile, start, DemoteServer, ServersBySpeed and ServerUrl
// only while the manager's thread does not run. The CConnectionCallBack operations run on the
// connections' threads and only post messages; received data crosses as a
// heap copy, at most kMaxQueuedDataBytes of it at a time, beyond which a
// connection waits for the manager. A run ends only once every transfer of it
// has reported its end, so no end is ever taken for a later run's transfer.
// Everything else, every FileMgr
// call and every CMutilTransferCallBack call, runs on the manager's own
// thread, so the manager needs no lock of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "net/byte_budget.h"
#include "net/conn_record.h"
#include "net/file_mgr.h"
#include "net/http_connection.h"
#include "net/msg_thread.h"
#include "net/mutil_transfer.h"
#include "net/work_split.h"

class CMultiDownloadMgr : public CMsgThread, public CConnectionCallBack, public CMutilTransfer {
public:
    static constexpr int32_t kDefaultIdleTimeoutMs = 60000;
    static constexpr int32_t kDefaultMaxTransfers = 5;
    static constexpr int32_t kMaxConnsPerServer = 4;
    // Back-off after errors: none after one, then a step more for each
    // further error, and the maximum after more than three.
    static constexpr int32_t kDefaultBackoffStepMs = 2000;
    static constexpr int32_t kDefaultBackoffMaxMs = 10000;
    // Transfers in a row that bring bytes but nothing new before a server is
    // given up for a file.
    static constexpr int kFruitlessLimit = 3;
    static constexpr int kWakeTimer = 1;
    static constexpr int kProgressTimer = 2;
    static constexpr int kProgressIntervalMs = 500;
    // How long a stop waits for the connections to report their ends.
    static constexpr int kDrainTimer = 3;
    static constexpr int kDrainLimitMs = 10000;
    // Received bytes on their way from the connections to the manager's
    // thread; beyond them a connection waits (and reads no more) until the
    // manager has caught up.
    static constexpr int64_t kMaxQueuedDataBytes = 2 * 1024 * 1024;

    // The file record of the queue.
    class DownLoadFileInfo : public FileMgr {
    public:
        enum State { kWaiting = 0, kDownloading = 1, kFailed = 2, kSucceeded = 3 };

        DownLoadFileInfo(bool useHttpRange, SFileFetch fileFetch)
            : FileMgr(useHttpRange), fetch(std::move(fileFetch)) {}

        // The caller allows the server and it has not failed this file.
        bool MayUse(int32_t serverNo) const;
        // Ranges may be asked of the server for this file.
        bool RangesFrom(int32_t serverNo) const;

        int32_t state = kWaiting;
        const SFileFetch fetch;
        std::set<int32_t> failedServers;     // stated another size, sent too much, or brought nothing new
        std::set<int32_t> rangelessServers;  // refused a ranged request of this file
        std::map<int32_t, int> fruitless;    // server to transfers in a row that brought nothing new
        SConnRecord* main = nullptr;
        uint64_t lastActivityMs = 0;  // started, or last received a byte
        bool finishPosted = false;    // its end is on its way
    };

    // factory makes the connections and must outlive the manager.
    CMultiDownloadMgr(std::string name, CHttpConnectionFactory* factory);

    // Changes the back-off; call before start. Tests shorten it.
    void SetBackoff(int32_t stepMs, int32_t maxMs);

    // CMutilTransfer
    bool SetCallBack(QKlogger* logger, CMutilTransferCallBack* callback) override;
    bool SetProxy(const char* host, uint16_t port, const char* user, const char* password) override;
    bool SetSverInfo(const char* servers) override;
    void SetMaxTransfers(int32_t count) override;
    void SetIdleTimeout(int32_t milliseconds) override;
    bool getFile(int32_t fileID, const std::string& svrFileName, const std::string& locFileName, bool bUseHttpRange,
                 const std::string& postData, const SFileFetch& fetch) override;
    bool start(int32_t userValue, bool StopWhenOneFileFailed) override;
    void stop() override;
    void DemoteServer(int32_t serverNo) override;
    std::vector<int32_t> ServersBySpeed() override;
    std::string ServerUrl(int32_t serverNo) override;
    void WaitForStop() override;
    void Destroy() override;

    // CConnectionCallBack: each posts one message to the manager's thread.
    void OnNotify(CHttpConnection* conn, int32_t kind, int32_t value) override;
    void OnSendProgress(CHttpConnection* conn, uint32_t bytesSent) override;
    void OnRecvData(CHttpConnection* conn, int32_t pos, int32_t length, const char* data) override;
    void OnSpeed(CHttpConnection* conn, double bytesPerMs) override;
    void OnTransferFinished(CHttpConnection* conn, int32_t result) override;

protected:
    ~CMultiDownloadMgr() override;

    // The message loop, then the end-of-run report and clean-up.
    void Run() override;
    void OnMsg(CMsg* msg) override;
    void OnTimer(int timerId) override;

private:
    enum MsgType {
        kMsgRunStarted = 0,
        kMsgFileFinished = 1,     // CVar2Msg<int, DownLoadFileInfo*>: file error code, file
        kMsgTransferFinished = 3, // CVar2Msg<int, CHttpConnection*>
        kMsgSendProgress = 4,     // CVar2Msg<CHttpConnection*, int>
        kMsgRecvData = 5,         // CRecvDataMsg
        kMsgSpeed = 6,            // CVar2Msg<double, CHttpConnection*>
        kMsgNotify = 7,           // CNotifyMsg
        kMsgStop = 8,
    };

    // On the manager's thread, or on the owner's while that thread does not run.
    void StopAllConn();
    void RemoveAllConn();
    // Makes the connection numbered connNo for server entry serverNo; null
    // after an error line when the factory makes none.
    SConnRecord* AddConnection(int32_t serverNo, int32_t connNo);

    // The manager's thread only.
    void OnRunStarted();
    void Dispatch();
    // Gives record one task if there is one for it; true when it got one.
    bool GiveWork(SConnRecord* record, uint64_t nowMs);
    bool GiveOpenBlock(SConnRecord* record);
    bool GiveNextFile(SConnRecord* record);
    bool GiveTail(SConnRecord* record);
    bool GiveRangeBeside(SConnRecord* record, uint64_t nowMs);
    // More connections for servers whose connections all bring data while files wait.
    void AddConnectionsForWaitingFiles(uint64_t nowMs);
    void ArmWakeTimer(uint64_t nowMs);
    bool IsIdle(const SConnRecord& record) const;
    // Whether server A is asked before server B: servers asked last after
    // the others, then the faster first.
    bool AskedBefore(int32_t serverA, double speedA, int32_t serverB, double speedB) const;
    // A connection of a server not asked last has a transfer under way.
    bool SoundConnBusy() const;
    bool BackoffOver(const SConnRecord& record, uint64_t nowMs) const;
    uint64_t BackoffEndMs(const SConnRecord& record) const;
    // The file is under way and record may work on it besides those already on it.
    bool Workable(const DownLoadFileInfo& file, const SConnRecord& record) const;
    bool MayTake(const DownLoadFileInfo& file, const SConnRecord& record, const SFileBlock& block) const;
    int32_t ConnsOn(const DownLoadFileInfo& file) const;
    SConnPace PaceOf(const SConnRecord& record) const;
    bool StartFile(DownLoadFileInfo* file);
    // Starts record on block from where it stands, or from the file's start
    // with fromStart or for a server that gives no ranges of the file.
    bool DispatchTask(SConnRecord* record, DownLoadFileInfo* file, SFileBlock* block, bool fromStart = false);
    void ReportProgress(const DownLoadFileInfo& file);
    void OnProgressTick();
    void ElectMain(DownLoadFileInfo* file, SConnRecord* record, const char* line);
    // The record of conn, or null (retired records too).
    SConnRecord* FindRecord(const CHttpConnection* conn);
    // The record of conn while it has a transfer open, or null: messages of
    // anything else are leftovers and dropped.
    SConnRecord* TransferringRecord(const CHttpConnection* conn);
    DownLoadFileInfo* FileOf(const SConnRecord& record) const;
    void OnMsgTransferFinished(SConnRecord* record, int result);
    void OnMsgSendProgress(SConnRecord* record, int bytesSent);
    void OnMsgRecvData(SConnRecord* record, int32_t pos, int32_t length, const char* data);
    void OnMsgNotify(SConnRecord* record, int32_t kind, int32_t value);
    // The write of length bytes at pos completed the block: the others on it
    // stop, and so does the writer when its request runs on past the block.
    void CompleteBlock(DownLoadFileInfo* file, SFileBlock* block, SConnRecord* writer, int32_t pos, int32_t length);
    // The server may not serve the file any more; the file fails with
    // errorCode when no server is left for it.
    void FailServerForFile(DownLoadFileInfo* file, int32_t serverNo, int errorCode);
    void OnMsgFileFinished(DownLoadFileInfo* file, int errorCode);
    // Ends the run once every connection has reported the end of its transfer.
    void StopRun(int exitCode);
    void EndRunWhenDrained();
    // Posts the end of the file once; later failures of it are dropped.
    void FinishFile(DownLoadFileInfo* file, int errorCode);
    // Finishes the file when every byte of it is in, else hands out work.
    void FinishOrDispatch(DownLoadFileInfo* file);

    const std::string name_;
    CHttpConnectionFactory* const factory_;
    const std::shared_ptr<ByteBudget> dataBudget_ = std::make_shared<ByteBudget>(kMaxQueuedDataBytes);
    std::atomic<int32_t> idleTimeoutMs_{kDefaultIdleTimeoutMs};
    std::atomic<int32_t> maxTransfers_{kDefaultMaxTransfers};
    int32_t backoffStepMs_ = kDefaultBackoffStepMs;
    int32_t backoffMaxMs_ = kDefaultBackoffMaxMs;
    bool httpRange_ = false;  // a ranged request has been answered with data in this run
    bool stopWhenOneFileFailed_ = false;
    std::string proxyHost_;
    uint16_t proxyPort_ = 0;
    std::string proxyUser_;
    std::string proxyPassword_;
    CMutilTransferCallBack* callback_ = nullptr;
    int32_t userValue_ = 0;
    std::vector<std::string> serverEntries_;  // as given, for log lines
    std::vector<std::string> serverUrls_;     // base URLs by server entry
    std::set<int32_t> demoted_;               // server entries asked last
    std::vector<std::unique_ptr<DownLoadFileInfo>> files_;  // getFile order
    std::deque<DownLoadFileInfo*> pending_;  // not yet started, getFile order
    std::vector<DownLoadFileInfo*> active_;  // started, not yet finished
    std::vector<std::unique_ptr<SConnRecord>> conns_;
    uint64_t wakeDueMs_ = 0;     // when the wake timer fires; 0 when not set
    bool stopPosted_ = false;    // the queue is done and the stop is on its way
    bool stopping_ = false;      // the run is ending: no new transfers
    bool failStopAsked_ = false; // a file failed and ends the run: no new transfers
    bool quitPosted_ = false;
    int stopCode_ = 0;
    bool running_ = false;       // owner's thread: from start until WaitForStop
};

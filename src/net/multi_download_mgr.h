// The download manager: fetches a queue of files one at a time. At the start
// of a file every idle connection asks for the whole file; the first whose
// response reports the size becomes the main connection and the others are
// aborted. With the size known one idle connection asks for the last 100
// bytes; once such a ranged answer arrives the server is known to honour
// ranges, and from then on idle connections, fastest first, take 20480-byte
// pieces cut from the tail of the open ranges. A failing connection waits out
// a growing back-off before it gets work again; a file that gains no new
// bytes for the idle time-out fails.
//
// Threading: the CMutilTransfer operations run on the owner's thread and
// SetSverInfo, getFile and start refuse to work from start until WaitForStop
// has returned. The CConnectionCallBack operations run on the connections'
// threads and only post messages. Everything else, every FileMgr call and
// every CMutilTransferCallBack call, runs on the manager's own thread, so the
// manager needs no lock of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "net/conn_record.h"
#include "net/file_mgr.h"
#include "net/http_connection.h"
#include "net/msg_thread.h"
#include "net/mutil_transfer.h"

class CMultiDownloadMgr : public CMsgThread, public CConnectionCallBack, public CMutilTransfer {
public:
    static constexpr int32_t kDefaultIdleTimeoutMs = 60000;
    static constexpr int32_t kDefaultMaxTransfers = 5;
    // Back-off after errors: none after one, then a step more for each
    // further error, and the maximum after more than three.
    static constexpr int32_t kDefaultBackoffStepMs = 2000;
    static constexpr int32_t kDefaultBackoffMaxMs = 10000;
    static constexpr int kScheduleTimer = 1;
    static constexpr int kScheduleIntervalMs = 50;
    static constexpr int kProgressTimer = 2;
    static constexpr int kProgressIntervalMs = 500;

    // The file record of the queue.
    class DownLoadFileInfo : public FileMgr {
    public:
        enum State { kWaiting = 0, kDownloading = 1, kFailed = 2, kSucceeded = 3 };

        explicit DownLoadFileInfo(bool useHttpRange) : FileMgr(useHttpRange) {}

        int32_t state = kWaiting;
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
                 const std::string& postData) override;
    bool start(int32_t userValue, bool StopWhenOneFileFailed) override;
    void stop() override;
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
        kMsgFileFinished = 1,     // CVar1Msg<int>: file error code
        kMsgScheduleAgain = 2,
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

    // The manager's thread only.
    void OnRunStarted();
    void Schedule();
    void StartNextFile();
    void ReportProgress();
    void Dispatch();
    void RaceFullFile();
    void ElectMain();
    bool CanDispatch(const SConnRecord& record, uint64_t nowMs) const;
    bool DispatchTask(SConnRecord* record, SFileBlock* block);
    // The record of conn, or null.
    SConnRecord* FindRecord(const CHttpConnection* conn);
    // The record of conn while it has a transfer open for the current file,
    // or null: messages of anything else are leftovers and dropped.
    SConnRecord* TransferringRecord(const CHttpConnection* conn);
    void OnMsgTransferFinished(SConnRecord* record, int result);
    void OnMsgSendProgress(SConnRecord* record, int bytesSent);
    void OnMsgRecvData(SConnRecord* record, int32_t pos, int32_t length, const char* data);
    void OnMsgNotify(SConnRecord* record, int32_t kind, int32_t value);
    void OnMsgFileFinished(int errorCode);
    void OnMsgStop(int exitCode);
    // Posts the end of the current file once; later failures of the same
    // file are dropped.
    void FinishCurrentFile(int errorCode);

    const std::string name_;
    CHttpConnectionFactory* const factory_;
    std::atomic<int32_t> idleTimeoutMs_{kDefaultIdleTimeoutMs};
    std::atomic<int32_t> maxTransfers_{kDefaultMaxTransfers};
    int32_t backoffStepMs_ = kDefaultBackoffStepMs;
    int32_t backoffMaxMs_ = kDefaultBackoffMaxMs;
    bool httpRange_ = false;  // a ranged request has been answered with data
    bool stopWhenOneFileFailed_ = false;
    std::string proxyHost_;
    uint16_t proxyPort_ = 0;
    std::string proxyUser_;
    std::string proxyPassword_;
    CMutilTransferCallBack* callback_ = nullptr;
    int32_t userValue_ = 0;
    std::vector<std::unique_ptr<DownLoadFileInfo>> files_;  // getFile order
    std::deque<DownLoadFileInfo*> pending_;  // not yet finished, getFile order
    DownLoadFileInfo* current_ = nullptr;
    std::vector<std::unique_ptr<SConnRecord>> conns_;
    SConnRecord* main_ = nullptr;
    uint64_t lastActivityMs_ = 0;  // the current file started or last gained bytes
    bool finishPosted_ = false;  // the current file's end is on its way
    bool stopPosted_ = false;    // the queue is done and the stop is on its way
    bool stopping_ = false;      // the loop is ending: no new transfers
    bool running_ = false;       // owner's thread: from start until WaitForStop
};

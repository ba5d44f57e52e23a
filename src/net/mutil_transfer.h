// The download manager as its owner sees it: a queue of files fetched from
// every configured server at once, several files at a time and a file over
// several connections where the servers honour ranges.
//
// Threading: the CMutilTransfer operations are called on the owner's thread;
// the CMutilTransferCallBack operations are called on the manager's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "net/http_connection.h"

// File error codes of OnFileFinished.
enum DownloadFileError {
    DLF_OK = 0,
    DLF_IDLE_TIMEOUT = 2,   // no data within the idle time-out, or every server left for the file
                            // answered several times in a row with nothing new
    DLF_SIZE_MISMATCH = 3,  // a server reported another size than the one known, or every
                            // server stated another size than the transfer size or too many bytes
    DLF_LOCAL_FILE = 4,     // the local file could not be created or written
};

// What one file's transfer must keep to beyond its paths.
struct SFileFetch {
    // The file's size on the wire as the release states it; -1 when unknown.
    // A server that states another total is a failing server for this file
    // (the others carry on), and no byte past it is written.
    int32_t transferSize = -1;
    // With no transfer size: the most bytes a server may state or send; one
    // that states or sends more is a failing server for this file. -1: none.
    int32_t sizeLimit = -1;
    // The server entries (0-based, in server-string order) that may serve the
    // file; empty for all.
    std::vector<int32_t> servers;
};

// Bytes of a file that one server wrote into it.
struct SServedRange {
    int32_t serverNo;  // 0-based index of the server entry
    int32_t start;
    int32_t length;
};

// Implemented by the owner; every call comes from the manager's thread.
class CMutilTransferCallBack {
public:
    virtual ~CMutilTransferCallBack() = default;

    // totalSize is -1 while unknown.
    virtual void OnFileProgress(int32_t fileID, int32_t totalSize, int32_t transferred, int32_t userValue) = 0;
    // errorCode is a DownloadFileError.
    virtual void OnFileFinished(int32_t fileID, int32_t errorCode, int32_t userValue) = 0;
    // allSucceeded is false when any file failed or was never reached.
    virtual void OnAllFinished(int32_t userValue, bool allSucceeded) = 0;
    // The server whose connection was elected to lead a file.
    virtual void OnMainServer(const char* serverUrl, int32_t userValue) = 0;
    // Which server wrote which bytes of the file; called just before
    // OnFileFinished. Owners that do not ask need not override it.
    virtual void OnFileSources(int32_t /*fileID*/, const std::vector<SServedRange>& /*sources*/,
                               int32_t /*userValue*/) {}
};

class CMutilTransfer {
public:
    // Stores the callback. Returns false, storing nothing, when logger is
    // null. Call before start.
    virtual bool SetCallBack(QKlogger* logger, CMutilTransferCallBack* callback) = 0;
    // Stores the proxy for the connections of later SetSverInfo calls; an
    // empty user name means no credentials. Returns false when host is null.
    virtual bool SetProxy(const char* host, uint16_t port, const char* user, const char* password) = 0;
    // Replaces the connections with one per non-empty ';'-separated server
    // entry ("host[:port][/path]", "http://" added when missing). Returns
    // false when servers is null, the manager runs, no entry is given, or a
    // connection cannot be made (then no connection is left).
    virtual bool SetSverInfo(const char* servers) = 0;
    // Most connections working on one file at once when ranges are in use.
    virtual void SetMaxTransfers(int32_t count) = 0;
    // A file that receives no byte for this long fails with DLF_IDLE_TIMEOUT.
    virtual void SetIdleTimeout(int32_t milliseconds) = 0;
    // Queues a file; postData, when not empty, is the request body of every
    // transfer of it from offset 0; fetch bounds its size and servers.
    // Returns false while the manager runs.
    virtual bool getFile(int32_t fileID, const std::string& svrFileName, const std::string& locFileName,
                         bool bUseHttpRange, const std::string& postData, const SFileFetch& fetch) = 0;
    // Starts fetching the queue; the callbacks report what happens. Returns
    // false when the manager already runs or its thread cannot start.
    virtual bool start(int32_t userValue, bool StopWhenOneFileFailed) = 0;
    // Asks the run to end; WaitForStop waits for it.
    virtual void stop() = 0;
    // Asks the server entry serverNo last from now until the next
    // SetSverInfo: it gets work only while no other server's connection is
    // busy. Call while the manager does not run.
    virtual void DemoteServer(int32_t serverNo) = 0;
    // The server entries, fastest first by the speed measured so far, those
    // asked last after the others. Call while the manager does not run.
    virtual std::vector<int32_t> ServersBySpeed() = 0;
    // The base URL of the server entry serverNo ("http://host[:port][/path]"),
    // empty for none. Call while the manager does not run.
    virtual std::string ServerUrl(int32_t serverNo) = 0;
    // Waits until the run has ended; the manager may be configured and
    // started again afterwards.
    virtual void WaitForStop() = 0;
    // Ends a run still going, releases every connection and file record, and
    // deletes the manager.
    virtual void Destroy() = 0;

protected:
    // Only Destroy deletes a manager.
    virtual ~CMutilTransfer() = default;
};

// Makes a manager named name (the prefix of its log lines and its thread's
// name) whose connections come from factory, which must outlive it. Returns
// null when name or factory is null.
CMutilTransfer* CreateMultiDownloadMgr(const char* name, CHttpConnectionFactory* factory);

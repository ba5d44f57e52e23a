// Stand-ins shared by the file bookkeeping and download manager tests: a
// connection that counts aborts, a recording transfer callback, a log
// capture, and test data.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "net/http_connection.h"
#include "net/mutil_transfer.h"
#include "temp_dir.h"
#include "util/code_page.h"

// Long enough for a loaded sanitizer build under Wine; waits end as soon as
// their condition holds.
constexpr std::chrono::seconds kDownloadWait{120};

// A connection that never transfers and counts the aborts it is asked for.
class AbortCountingConnection : public CHttpConnection {
public:
    void SetProxy(const std::string&, uint16_t, const std::string&, const std::string&) override {}
    bool DoTransfer(CConnectionCallBack*, const std::string&, int32_t, int32_t, const char*, uint32_t) override {
        return false;
    }
    void Abort() override { ++aborts; }
    bool IsBusy() override { return false; }
    void Destroy() override { delete this; }

    int aborts = 0;
};

class NullLogger : public QKlogger {
public:
    void log(int, const char*, const char*, va_list) override {}
};

class RecordingTransferCallBack : public CMutilTransferCallBack {
public:
    struct Progress {
        int32_t fileID, total, transferred, userValue;
    };
    struct Finished {
        int32_t fileID, errorCode, userValue;
    };

    void OnFileProgress(int32_t fileID, int32_t totalSize, int32_t transferred, int32_t userValue) override {
        std::lock_guard<std::mutex> guard(lock_);
        progress_.push_back(Progress{fileID, totalSize, transferred, userValue});
    }
    void OnFileFinished(int32_t fileID, int32_t errorCode, int32_t userValue) override {
        std::lock_guard<std::mutex> guard(lock_);
        finished_.push_back(Finished{fileID, errorCode, userValue});
    }
    void OnAllFinished(int32_t userValue, bool allSucceeded) override {
        std::lock_guard<std::mutex> guard(lock_);
        allFinishedCount_++;
        allUserValue_ = userValue;
        allSucceeded_ = allSucceeded;
        signal_.notify_all();
    }
    void OnMainServer(const char* serverUrl, int32_t) override {
        std::lock_guard<std::mutex> guard(lock_);
        mainServers_.push_back(serverUrl);
    }
    void OnFileSources(int32_t fileID, const std::vector<SServedRange>& sources, int32_t) override {
        std::lock_guard<std::mutex> guard(lock_);
        sources_[fileID] = sources;
    }

    // True once OnAllFinished has come, within kDownloadWait.
    bool WaitAllFinished() {
        std::unique_lock<std::mutex> lock(lock_);
        return signal_.wait_for(lock, kDownloadWait, [this] { return allFinishedCount_ > 0; });
    }
    int AllFinishedCount() {
        std::lock_guard<std::mutex> guard(lock_);
        return allFinishedCount_;
    }
    bool AllSucceeded() {
        std::lock_guard<std::mutex> guard(lock_);
        return allSucceeded_;
    }
    int32_t AllUserValue() {
        std::lock_guard<std::mutex> guard(lock_);
        return allUserValue_;
    }
    std::vector<Finished> FinishedFiles() {
        std::lock_guard<std::mutex> guard(lock_);
        return finished_;
    }
    std::vector<Progress> ProgressReports() {
        std::lock_guard<std::mutex> guard(lock_);
        return progress_;
    }
    std::vector<std::string> MainServers() {
        std::lock_guard<std::mutex> guard(lock_);
        return mainServers_;
    }
    // The servers that wrote the file's bytes, by its id.
    std::vector<SServedRange> SourcesOf(int32_t fileID) {
        std::lock_guard<std::mutex> guard(lock_);
        return sources_[fileID];
    }

private:
    std::mutex lock_;
    std::condition_variable signal_;
    std::vector<Progress> progress_;
    std::vector<Finished> finished_;
    std::vector<std::string> mainServers_;
    std::map<int32_t, std::vector<SServedRange>> sources_;
    int allFinishedCount_ = 0;
    int32_t allUserValue_ = 0;
    bool allSucceeded_ = false;
};

// Sends the process's trace log, debug lines included, to a file of its own
// for the life of the object.
class LogCapture {
public:
    LogCapture() {
        TraceConfig config;
        const std::string path = WideToAnsi(dir_.WinPath() + L"capture.log");
        path.copy(config.logFile, sizeof(config.logFile) - 1);
        config.logFileLimit = 1 << 30;
        savedLevel_ = GetLevel();
        SetLevel(TRACE_DBG);
        opened_ = OpenLog(config);
    }
    ~LogCapture() {
        if (opened_) CloseLog();
        SetLevel(savedLevel_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool Opened() const { return opened_; }
    // Everything logged so far.
    std::string Text() {
        std::string buffer(16 << 20, '\0');
        buffer.resize(static_cast<size_t>(ReadLogTail(&buffer[0], static_cast<int>(buffer.size()))));
        return buffer;
    }
    bool Contains(const std::string& text) { return Text().find(text) != std::string::npos; }
    int Count(const std::string& text) {
        const std::string all = Text();
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }

private:
    ScopedTempDir dir_;
    bool opened_ = false;
    int savedLevel_ = TRACE_DBG;
};

// size bytes that differ from position to position and from seed to seed.
inline std::string MakeContent(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// Stand-in for the download manager in the connection tests: records what a
// connection reports and lets the test wait for it.
//
// Threading: the connection calls the CConnectionCallBack operations on its
// own thread; the test reads and waits on its thread. One lock guards all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/http_connection.h"

class RecordingConnectionCallBack : public CConnectionCallBack {
public:
    struct Received {
        int32_t pos;
        int32_t length;
    };

    void OnNotify(CHttpConnection*, int32_t kind, int32_t value) override {
        std::lock_guard<std::mutex> guard(lock_);
        notifies_.push_back({kind, value});
        changed_.notify_all();
    }
    void OnSendProgress(CHttpConnection*, uint32_t bytesSent) override {
        std::lock_guard<std::mutex> guard(lock_);
        sendProgress_.push_back(bytesSent);
    }
    void OnRecvData(CHttpConnection*, int32_t pos, int32_t length, const char* data) override {
        std::lock_guard<std::mutex> guard(lock_);
        received_.push_back({pos, length});
        data_.append(data, static_cast<size_t>(length));
        changed_.notify_all();
    }
    void OnSpeed(CHttpConnection*, double bytesPerMs) override {
        std::lock_guard<std::mutex> guard(lock_);
        speeds_.push_back(bytesPerMs);
    }
    void OnTransferFinished(CHttpConnection* conn, int32_t result) override {
        const bool busy = conn->IsBusy();
        std::lock_guard<std::mutex> guard(lock_);
        results_.push_back(result);
        busyAtEnd_ = busyAtEnd_ || busy;
        changed_.notify_all();
    }

    // Waits up to a minute (the connection's own time-outs are 20 s) for
    // count ends; returns the results seen so far either way.
    std::vector<int32_t> WaitForResults(size_t count) {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::minutes(1), [&] { return results_.size() >= count; });
        return results_;
    }
    // Waits up to a minute for at least bytes of response data.
    bool WaitForData(size_t bytes) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return data_.size() >= bytes; });
    }

    std::vector<int32_t> Results() {
        std::lock_guard<std::mutex> guard(lock_);
        return results_;
    }
    // True when a connection was still busy as it reported an end.
    bool BusyAtAnEnd() {
        std::lock_guard<std::mutex> guard(lock_);
        return busyAtEnd_;
    }
    std::vector<std::pair<int32_t, int32_t>> Notifies() {
        std::lock_guard<std::mutex> guard(lock_);
        return notifies_;
    }
    std::vector<uint32_t> SendProgress() {
        std::lock_guard<std::mutex> guard(lock_);
        return sendProgress_;
    }
    std::vector<Received> ReceivedBlocks() {
        std::lock_guard<std::mutex> guard(lock_);
        return received_;
    }
    std::string Data() {
        std::lock_guard<std::mutex> guard(lock_);
        return data_;
    }
    size_t SpeedReports() {
        std::lock_guard<std::mutex> guard(lock_);
        return speeds_.size();
    }
    void ClearData() {
        std::lock_guard<std::mutex> guard(lock_);
        received_.clear();
        data_.clear();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::pair<int32_t, int32_t>> notifies_;  // (kind, value)
    std::vector<uint32_t> sendProgress_;
    std::vector<Received> received_;
    std::string data_;  // every block appended in the order received
    std::vector<double> speeds_;
    std::vector<int32_t> results_;
    bool busyAtEnd_ = false;
};

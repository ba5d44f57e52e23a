// A DecodeCallBack that records every result with the thread it came on and
// lets a test wait for a number of results.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "manifest/decode_net_file_thread.h"

class RecordingDecodeCallBack : public DecodeCallBack {
public:
    struct Result {
        int fileId;
        int result;
        std::thread::id thread;
    };

    void OnDecodeResult(int fileId, int result) override {
        std::lock_guard<std::mutex> guard(lock_);
        results_.push_back({fileId, result, std::this_thread::get_id()});
        changed_.notify_all();
    }

    // Waits, up to a limit generous for sanitizer builds, for count results;
    // returns those recorded.
    std::vector<Result> WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::seconds(30), [&] { return results_.size() >= count; });
        return results_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Result> results_;
};

// The trace log behind the free functions of trace_log.h. The process has one
// instance of static lifetime; tests may make their own.
//
// Threading: Trace may be called from any thread; it formats on the caller's
// thread and only takes the queue lock to append. One writer thread per open
// log moves the queue out every 20 ms and writes it under the machine-wide
// mutex "QKLogMutex". OpenLog, CloseLog, the tail readers' flush and the level
// accessors are ordered by the state lock.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diag/trace_log.h"
#include "util/named_mutex.h"

enum TraceTarget {
    TRACE_TO_LOG = 1,
    TRACE_TO_ERR = 2,
};

// One queued line. A null text is the stop marker that ends the writer.
struct TraceEntry {
    int targets = 0;             // TraceTarget bits
    const char* text = nullptr;  // not terminated; length bytes
    int length = 0;
    bool owned = false;          // text came from malloc and is freed after writing
};

class CTraceManager {
public:
    static constexpr int kLineBufferSize = 2048;  // a line holds at most 2047 bytes
    static constexpr size_t kQueueLimit = 2000;
    static constexpr int kWriteIntervalMs = 20;
    static constexpr const wchar_t* kFileMutexName = L"QKLogMutex";

    CTraceManager();
    // Stops a writer that CloseLog did not stop, writing what is queued.
    virtual ~CTraceManager();
    CTraceManager(const CTraceManager&) = delete;
    CTraceManager& operator=(const CTraceManager&) = delete;

    // Returns false if the log is already open or the writer could not start.
    bool OpenLog(const TraceConfig& config);
    // Writes everything queued, then ends the writer. Does nothing when closed.
    void CloseLog();
    // Queues one line. Levels above ERR count as ERR, below DBG as DBG; a
    // line below the minimum level or traced while closed is dropped.
    void Trace(int level, const char* module, const char* format, va_list args);
    // Flushes, then reads up to count bytes from the end of the log file.
    // Returns the bytes read; 0 on a null buffer, count <= 0, no path or a
    // file that cannot be opened.
    int ReadLogTail(char* buffer, int count);
    // As ReadLogTail for the error file, which is deleted afterwards when asked.
    int ReadErrTail(char* buffer, int count, bool deleteAfter);
    int GetLevel();
    void SetLevel(int level);

    // The system's id of the running writer thread; 0 while none runs. A
    // crash handler on that thread must not flush the log (it would wait for
    // itself).
    uint32_t WriterThreadId() const;

    // Entries waiting for the writer.
    size_t QueuedCount();
    // Entries discarded because the queue was full, since construction.
    uint64_t DroppedCount();

private:
    void AppendLog(const TraceEntry& entry);
    // Both called with the state lock held. StartWriter returns false when
    // the thread could not be created.
    bool StartWriter();
    void StopWriter();
    void WriterLoop();
    // Writes one batch under the file mutex and clears it; returns true when
    // the batch held the stop marker.
    bool WriteBatch(std::vector<TraceEntry>& batch);
    // Restarts a running writer so that every line queued so far is on disk;
    // returns the path for the tail reader to read.
    std::string FlushAndGetPath(bool errorFile);
    int ReadTail(const std::string& path, char* buffer, int count, bool deleteAfter);

    std::mutex stateLock_;
    std::atomic<int> minLevel_{TRACE_DBG};
    std::atomic<bool> open_{false};
    TraceConfig config_;
    std::thread writer_;
    // Set by the writer thread itself for as long as it runs.
    std::atomic<uint32_t> writerThreadId_{0};

    std::mutex queueLock_;
    std::vector<TraceEntry> queue_;
    uint64_t dropped_ = 0;

    // Only the writer thread touches it; kept to reuse its capacity.
    std::vector<TraceEntry> batch_;

    NamedMutex fileMutex_;
};

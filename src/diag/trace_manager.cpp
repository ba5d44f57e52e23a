#include "diag/trace_manager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include "diag/trace_file.h"
#include "util/clock.h"
#include "util/debug_output.h"

namespace {

const char* const kLevelNames[] = {"DBG", "INF", "WAR", "ERR"};
const char kLinePrefix[] = "[%04d-%02d-%02d %02d:%02d:%02d.%03d][%s][%s:%d] ";
const char kNoMemoryText[] = "not enough memory!\n";
const uint64_t kSlowStepMs = 20;

void FreeText(const TraceEntry& entry) {
    if (entry.owned) std::free(const_cast<char*>(entry.text));
}

int WritePrefix(char* line, const char* level, const char* module, const LocalClockTime& t,
                uint32_t threadId) {
    int n = std::snprintf(line, CTraceManager::kLineBufferSize, kLinePrefix, t.year, t.month, t.day,
                          t.hour, t.minute, t.second, t.millisecond, level, module,
                          static_cast<int>(threadId));
    if (n < 0) return 0;
    return std::min(n, CTraceManager::kLineBufferSize - 1);
}

// Log texts pass wide strings as "%ws" (a Microsoft C runtime spelling);
// standard printf implementations, mingw's included, know them as "%ls".
// Returns the format to use: the original, or the rewrite kept in storage.
const char* StandardFormat(const char* format, std::string& storage) {
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && std::strchr("-+ #0123456789.*", *p)) ++p;
        if (*p == 'w' && (p[1] == 's' || p[1] == 'c')) {
            if (storage.empty()) storage = format;
            storage[static_cast<size_t>(p - format)] = 'l';
        }
        if (!*p) break;
    }
    return storage.empty() ? format : storage.c_str();
}

// Formats the whole record into line (kLineBufferSize bytes) and returns its
// length: prefix, message cut to the space left, exactly one final '\n'.
int FormatLine(char* line, int level, const char* module, const char* format, va_list args) {
    const LocalClockTime now = LocalClockNow();
    const uint32_t threadId = CurrentThreadId();
    int prefix = WritePrefix(line, kLevelNames[level], module, now, threadId);
    const int space = CTraceManager::kLineBufferSize - prefix;

    int message = -1;
    std::string storage;
    const char* standard = nullptr;
    try {
        standard = StandardFormat(format, storage);
    } catch (const std::bad_alloc&) {
        standard = nullptr;
    }
    if (standard) message = std::vsnprintf(line + prefix, static_cast<size_t>(space), standard, args);
    if (message < 0) {
        // An argument the formatter rejects (a wide string the code page
        // cannot hold, say): keep the raw format so the line still tells
        // where it came from.
        prefix = WritePrefix(line, kLevelNames[TRACE_ERR], module, now, threadId);
        std::snprintf(line + prefix, static_cast<size_t>(CTraceManager::kLineBufferSize - prefix),
                      "%s", format);
        message = static_cast<int>(std::strlen(line + prefix));
    }
    int length = prefix + std::min(message, CTraceManager::kLineBufferSize - 1 - prefix);

    for (int i = 0; i + 1 < length; ++i) {
        if (line[i] == '\n') line[i] = '\r';
    }
    if (length == 0 || line[length - 1] != '\n') {
        if (length < CTraceManager::kLineBufferSize - 1) {
            line[length++] = '\n';
        } else {
            line[length - 1] = '\n';
        }
    }
    line[length] = '\0';
    return length;
}

// Opens a file for one batch; null for an empty path or a failed open. A file
// at or above its limit starts anew: the log file keeps the old content as
// "<path>.bak", the error file is simply emptied.
std::FILE* OpenForBatch(const char* path, int limit, bool keepBackup) {
    if (!path[0]) return nullptr;
    std::FILE* file = OpenTraceFile(path, "ab");
    if (!file) return nullptr;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < static_cast<long>(limit)) return file;
    std::fclose(file);
    if (keepBackup) {
        std::string backup = std::string(path) + ".bak";
        RemoveTraceFile(backup);
        RenameTraceFile(path, backup);
    }
    return OpenTraceFile(path, "wb");
}

void ReportSlowStep(const char* format, uint64_t from, uint64_t to) {
    if (to - from > kSlowStepMs) DebugOutputFormat(format, static_cast<int>(to - from));
}

}  // namespace

CTraceManager::CTraceManager() : fileMutex_(kFileMutexName) {
    // Reserved up front so that appending never allocates: the queue never
    // grows past its limit, and the writer swaps its batch with the queue.
    queue_.reserve(kQueueLimit);
    batch_.reserve(kQueueLimit);
}

CTraceManager::~CTraceManager() {
    CloseLog();
    for (const TraceEntry& entry : queue_) FreeText(entry);
}

bool CTraceManager::OpenLog(const TraceConfig& config) {
    std::lock_guard<std::mutex> lock(stateLock_);
    if (open_) return false;
    minLevel_ = TRACE_DBG;
    config_ = config;
    config_.logFile[sizeof config_.logFile - 1] = '\0';
    config_.errFile[sizeof config_.errFile - 1] = '\0';
    if (!StartWriter()) return false;
    open_ = true;
    return true;
}

void CTraceManager::CloseLog() {
    std::lock_guard<std::mutex> lock(stateLock_);
    if (!open_) return;
    open_ = false;
    StopWriter();
}

void CTraceManager::Trace(int level, const char* module, const char* format, va_list args) {
    const uint64_t start = TickCountMs();
    level = std::max(static_cast<int>(TRACE_DBG), std::min(level, static_cast<int>(TRACE_ERR)));
    if (level < minLevel_ || !open_) return;
    if (!module) module = "";
    if (!format) format = "";

    TraceEntry entry;
    entry.targets = level < TRACE_ERR ? TRACE_TO_LOG : TRACE_TO_LOG | TRACE_TO_ERR;
    char* line = static_cast<char*>(std::malloc(kLineBufferSize));
    const uint64_t allocated = TickCountMs();
    ReportSlowStep("Trace malloc mem use:%d\n", start, allocated);
    if (line) {
        entry.length = FormatLine(line, level, module, format, args);
        entry.text = line;
        entry.owned = true;
        ReportSlowStep("FormatMsg use:%d\n", allocated, TickCountMs());
    } else {
        entry.text = kNoMemoryText;
        entry.length = static_cast<int>(sizeof kNoMemoryText - 1);
    }

    const uint64_t beforeAppend = TickCountMs();
    AppendLog(entry);
    const uint64_t end = TickCountMs();
    ReportSlowStep("AppendLog use:%d\n", beforeAppend, end);
    ReportSlowStep("CTraceManager::Trace total use:%d\n", start, end);
}

void CTraceManager::AppendLog(const TraceEntry& entry) {
    std::lock_guard<std::mutex> lock(queueLock_);
    if (queue_.size() < kQueueLimit) {
        queue_.push_back(entry);
        return;
    }
    ++dropped_;
    if (entry.text) {
        FreeText(entry);
        return;
    }
    // A full queue must not swallow a stop: the newest line makes room.
    FreeText(queue_.back());
    queue_.back() = entry;
}

bool CTraceManager::StartWriter() {
    try {
        writer_ = std::thread(&CTraceManager::WriterLoop, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CTraceManager::StopWriter() {
    AppendLog(TraceEntry());
    writer_.join();
}

void CTraceManager::WriterLoop() {
    writerThreadId_ = CurrentThreadId();
    SetCurrentThreadName("TraceLogWriter");
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            batch_.swap(queue_);
        }
        if (!batch_.empty() && WriteBatch(batch_)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kWriteIntervalMs));
    }
    writerThreadId_ = 0;
}

bool CTraceManager::WriteBatch(std::vector<TraceEntry>& batch) {
    bool stop = false;
    size_t next = 0;
    {
        // If the mutex cannot be had at all, writing unguarded beats losing
        // the lines.
        NamedMutexLock fileLock(fileMutex_);
        std::FILE* log = nullptr;
        std::FILE* err = nullptr;
        bool logOpened = false;
        bool errOpened = false;
        while (next < batch.size()) {
            const TraceEntry& entry = batch[next++];
            if (!entry.text) {
                stop = true;
                break;
            }
            if (entry.targets & TRACE_TO_LOG) {
                if (!logOpened) {
                    log = OpenForBatch(config_.logFile, config_.logFileLimit, true);
                    logOpened = true;
                }
                if (log) std::fwrite(entry.text, 1, static_cast<size_t>(entry.length), log);
            }
            if (entry.targets & TRACE_TO_ERR) {
                if (!errOpened) {
                    err = OpenForBatch(config_.errFile, config_.errFileLimit, false);
                    errOpened = true;
                }
                if (err) std::fwrite(entry.text, 1, static_cast<size_t>(entry.length), err);
            }
            FreeText(entry);
        }
        if (log) std::fclose(log);
        if (err) std::fclose(err);
    }
    if (next < batch.size()) {
        // Lines queued behind the stop marker belong to the next writer (a
        // tail reader's flush starts one at once).
        std::lock_guard<std::mutex> lock(queueLock_);
        try {
            queue_.insert(queue_.begin(), batch.begin() + static_cast<std::ptrdiff_t>(next), batch.end());
        } catch (const std::bad_alloc&) {
            for (size_t i = next; i < batch.size(); ++i) FreeText(batch[i]);
        }
    }
    batch.clear();
    return stop;
}

std::string CTraceManager::FlushAndGetPath(bool errorFile) {
    std::lock_guard<std::mutex> lock(stateLock_);
    if (open_) {
        StopWriter();
        if (!StartWriter()) open_ = false;
    }
    return errorFile ? config_.errFile : config_.logFile;
}

int CTraceManager::ReadTail(const std::string& path, char* buffer, int count, bool deleteAfter) {
    if (path.empty()) return 0;
    NamedMutexLock fileLock(fileMutex_);
    std::FILE* file = OpenTraceFile(path, "rb");
    if (!file) return 0;
    long start = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        if (size > count) start = size - count;
    }
    size_t read = 0;
    if (std::fseek(file, start, SEEK_SET) == 0) read = std::fread(buffer, 1, static_cast<size_t>(count), file);
    std::fclose(file);
    if (deleteAfter) RemoveTraceFile(path);
    return static_cast<int>(read);
}

int CTraceManager::ReadLogTail(char* buffer, int count) {
    if (!buffer || count <= 0) return 0;
    return ReadTail(FlushAndGetPath(false), buffer, count, false);
}

int CTraceManager::ReadErrTail(char* buffer, int count, bool deleteAfter) {
    if (!buffer || count <= 0) return 0;
    return ReadTail(FlushAndGetPath(true), buffer, count, deleteAfter);
}

int CTraceManager::GetLevel() {
    std::lock_guard<std::mutex> lock(stateLock_);
    return minLevel_;
}

void CTraceManager::SetLevel(int level) {
    std::lock_guard<std::mutex> lock(stateLock_);
    minLevel_ = level;
}

uint32_t CTraceManager::WriterThreadId() const { return writerThreadId_; }

size_t CTraceManager::QueuedCount() {
    std::lock_guard<std::mutex> lock(queueLock_);
    return queue_.size();
}

uint64_t CTraceManager::DroppedCount() {
    std::lock_guard<std::mutex> lock(queueLock_);
    return dropped_;
}

// The process's trace log: callers format a line and queue it; one writer
// thread appends queued lines to the log file (and ERR lines also to the
// error file) every 20 ms, each batch under the machine-wide mutex
// "QKLogMutex", so several processes can share the same files.
//
// Any thread may call Trace and the log wrappers; formatting never touches the
// disk. OpenLog/CloseLog and the tail readers are serialised by a state lock.
#pragma once

#include <cstdarg>
#include <cstdint>

enum TraceLevel {
    TRACE_DBG = 0,
    TRACE_INF = 1,
    TRACE_WAR = 2,
    TRACE_ERR = 3,
};

struct TraceConfig {
    char logFile[256] = {};  // ANSI code page path; empty means no log file
    int logFileLimit = 0;    // bytes; at or above it the file is renamed to "<path>.bak"
    char errFile[256] = {};  // ANSI code page path; empty means no error file
    int errFileLimit = 0;    // bytes; at or above it the file is emptied
};

// Returns true if the writer thread now runs; false if the log was already
// open or the thread could not start.
bool OpenLog(const TraceConfig& config);
// Writes every queued line, then ends the writer thread. Does nothing when closed.
void CloseLog();
// Queues one line; dropped when the log is closed or level < the minimum level.
// Levels above TRACE_ERR count as TRACE_ERR. The format is printf-style
// narrow text; "%ws" takes a wide string (wchar_t*), "%s" a narrow one.
void Trace(int level, const char* module, const char* format, va_list args);
// Returns the number of bytes read from the end of the log file (at most
// count), after flushing everything queued; 0 on a null buffer, a count <= 0,
// or a file that cannot be read.
int ReadLogTail(char* buffer, int count);
// As ReadLogTail for the error file; deletes the file afterwards when asked.
int ReadErrTail(char* buffer, int count, bool deleteAfter);
int GetLevel();
void SetLevel(int level);
// The system's id of the log's writer thread; 0 while the log is closed. The
// tail readers wait for that thread, so code that may run on it (a crash
// handler) must not call them there.
uint32_t TraceWriterThreadId();

// The module names of the launcher's and the updater's lines, for code that
// logs through Trace for either.
extern const char kAgentLogModule[];  // "AgentMain"
extern const char kDownLogModule[];   // "DownLoad"

// The launcher's lines, module name "AgentMain".
void AgentLogErr(const char* format, ...);
void AgentLogInf(const char* format, ...);
void AgentLogWar(const char* format, ...);

// The updater's lines, module name "DownLoad".
void DownLogDbg(const char* format, ...);
void DownLogInf(const char* format, ...);
void DownLogWar(const char* format, ...);
void DownLogErr(const char* format, ...);

// Logging for components that must not know the trace log.
class QKlogger {
public:
    virtual ~QKlogger() = default;
    virtual void log(int level, const char* module, const char* format, va_list args) = 0;
};

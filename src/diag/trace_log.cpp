#include "diag/trace_log.h"

#include "diag/trace_manager.h"

namespace {

CTraceManager& TheTraceManager() {
    static CTraceManager manager;
    return manager;
}

// Made before the entry point runs, so the file mutex exists from the start;
// code that runs earlier still reaches it through TheTraceManager().
[[maybe_unused]] CTraceManager& g_traceManager = TheTraceManager();

}  // namespace

const char kAgentLogModule[] = "AgentMain";
const char kDownLogModule[] = "DownLoad";

bool OpenLog(const TraceConfig& config) { return TheTraceManager().OpenLog(config); }

void CloseLog() { TheTraceManager().CloseLog(); }

void Trace(int level, const char* module, const char* format, va_list args) {
    TheTraceManager().Trace(level, module, format, args);
}

int ReadLogTail(char* buffer, int count) { return TheTraceManager().ReadLogTail(buffer, count); }

int ReadErrTail(char* buffer, int count, bool deleteAfter) {
    return TheTraceManager().ReadErrTail(buffer, count, deleteAfter);
}

int GetLevel() { return TheTraceManager().GetLevel(); }

void SetLevel(int level) { TheTraceManager().SetLevel(level); }

uint32_t TraceWriterThreadId() { return TheTraceManager().WriterThreadId(); }

#define ZM_DEFINE_LOG_WRAPPER(name, level, module)            \
    void name(const char* format, ...) {                      \
        va_list args;                                         \
        va_start(args, format);                               \
        TheTraceManager().Trace(level, module, format, args); \
        va_end(args);                                         \
    }

ZM_DEFINE_LOG_WRAPPER(AgentLogErr, TRACE_ERR, kAgentLogModule)
ZM_DEFINE_LOG_WRAPPER(AgentLogInf, TRACE_INF, kAgentLogModule)
ZM_DEFINE_LOG_WRAPPER(AgentLogWar, TRACE_WAR, kAgentLogModule)

ZM_DEFINE_LOG_WRAPPER(DownLogDbg, TRACE_DBG, kDownLogModule)
ZM_DEFINE_LOG_WRAPPER(DownLogInf, TRACE_INF, kDownLogModule)
ZM_DEFINE_LOG_WRAPPER(DownLogWar, TRACE_WAR, kDownLogModule)
ZM_DEFINE_LOG_WRAPPER(DownLogErr, TRACE_ERR, kDownLogModule)

// A second process for the trace log tests: logs numbered ERR lines into the
// given files, so that two of them running at once share both files.
//
// Usage: diag_trace_writer <log file> <error file> <tag letter> <line count>
//                          <start gate mutex> <ready file>
// It creates the ready file, then waits for the gate mutex, which the test
// holds until every writer is ready, so the writers really run side by side.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag/trace_log.h"
#include "util/code_page.h"
#include "util/named_mutex.h"

int main(int argc, char** argv) {
    if (argc != 7 || std::strlen(argv[3]) != 1) return 2;
    TraceConfig config;
    std::strncpy(config.logFile, argv[1], sizeof config.logFile - 1);
    std::strncpy(config.errFile, argv[2], sizeof config.errFile - 1);
    config.logFileLimit = 0x7FFFFFFF;
    config.errFileLimit = 0x7FFFFFFF;
    if (!OpenLog(config)) return 3;

    NamedMutex gate(AnsiToWide(argv[5]));
    std::FILE* ready = std::fopen(argv[6], "wb");
    if (!ready) return 4;
    std::fclose(ready);
    {
        NamedMutexLock wait(gate);
        if (!wait.owned()) return 5;
    }

    // Long lines make the C runtime write each batch in several pieces, so
    // only the file mutex keeps the other process from writing in between.
    const std::string payload(1500, argv[3][0]);
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) DownLogErr("%s-%d %s", argv[3], i, payload.c_str());
    CloseLog();
    return 0;
}

// Points the process's trace log at a file of its own for one test, so a
// test can read back the lines that the code under test wrote.
#pragma once

#include <filesystem>
#include <string>

#include "diag/trace_log.h"
#include "temp_dir.h"
#include "util/code_page.h"

class CapturedTraceLog {
public:
    CapturedTraceLog() : file_(dir_.path() / "trace.log") {
        TraceConfig config;
        WideToAnsi(file_.wstring()).copy(config.logFile, sizeof(config.logFile) - 1);
        config.logFileLimit = 1 << 20;
        opened_ = OpenLog(config);
    }
    ~CapturedTraceLog() { CloseLog(); }
    CapturedTraceLog(const CapturedTraceLog&) = delete;
    CapturedTraceLog& operator=(const CapturedTraceLog&) = delete;

    bool opened() const { return opened_; }
    // Writes everything queued, closes the log and returns the whole file.
    std::string Text() {
        CloseLog();
        return ReadFileBytes(file_);
    }

private:
    ScopedTempDir dir_;
    std::filesystem::path file_;
    bool opened_ = false;
};

// The process's trace log opened into a temporary file for one test, so the
// test can look for the lines the code under test wrote.
//
// Threading: make, query and destroy it on the test's thread.
#pragma once

#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "temp_dir.h"

class CapturedTraceLog {
public:
    CapturedTraceLog() {
        TraceConfig config;
        const std::string path = (dir_.path() / "trace.log").string();
        path.copy(config.logFile, sizeof config.logFile - 1);
        // Below the limit the file is never rotated away while a test reads it.
        config.logFileLimit = 64 << 20;
        opened_ = OpenLog(config);
        SetLevel(TRACE_DBG);
    }
    ~CapturedTraceLog() {
        if (opened_) CloseLog();
    }
    CapturedTraceLog(const CapturedTraceLog&) = delete;
    CapturedTraceLog& operator=(const CapturedTraceLog&) = delete;

    bool opened() const { return opened_; }

    // True when a line of the "DownLoad" module at level ("DBG", "INF",
    // "WAR" or "ERR") carries exactly message after its prefix.
    bool Has(const std::string& level, const std::string& message) const {
        for (const std::string& line : Lines()) {
            if (line.find("[" + level + "][DownLoad:") == std::string::npos) continue;
            const std::string tail = "] " + message;
            if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
                return true;
            }
        }
        return false;
    }
    // The number of lines that contain text.
    size_t Count(const std::string& text) const {
        size_t count = 0;
        for (const std::string& line : Lines()) {
            if (line.find(text) != std::string::npos) ++count;
        }
        return count;
    }

private:
    // Every line written so far, without its line end.
    std::vector<std::string> Lines() const {
        std::vector<char> buffer(1 << 20);
        const int got = ReadLogTail(buffer.data(), static_cast<int>(buffer.size()));
        std::vector<std::string> lines;
        std::string line;
        for (int i = 0; i < got; ++i) {
            const char c = buffer[static_cast<size_t>(i)];
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (c != '\r') {
                line += c;
            }
        }
        if (!line.empty()) lines.push_back(line);
        return lines;
    }

    ScopedTempDir dir_;
    bool opened_ = false;
};

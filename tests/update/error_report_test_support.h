// The surroundings of an error report in a test: an installation folder for
// UserCfg.ini, and the process's trace log pointed at a log file and an error
// file of the test's own, which the report's tail comes from.
#pragma once

#include <zlib.h>

#include <filesystem>
#include <string>

#include "diag/trace_log.h"
#include "temp_dir.h"
#include "util/code_page.h"

class ErrorReportScene {
public:
    ErrorReportScene() : logFile_(logDir_.path() / "QKMeeting.log"), errFile_(logDir_.path() / "QKMeeting.err") {
        Reopen();
    }
    ~ErrorReportScene() { CloseLog(); }
    ErrorReportScene(const ErrorReportScene&) = delete;
    ErrorReportScene& operator=(const ErrorReportScene&) = delete;

    bool opened() const { return opened_; }
    // The installation folder, ending in '\'.
    std::wstring AppDir() const { return appDir_.WinPath(); }
    const ScopedTempDir& App() const { return appDir_; }
    // Replaces the error file, with everything logged so far written first.
    void SetErrorLog(const std::string& bytes) {
        CloseLog();
        logDir_.Write(errFile_.filename().string(), bytes);
        Reopen();
    }
    bool ErrorLogExists() const { return std::filesystem::exists(errFile_); }
    // Everything logged so far.
    std::string LogText() {
        CloseLog();
        const std::string text = ReadFileBytes(logFile_);
        Reopen();
        return text;
    }
    // The line of the log that holds text; empty when none does.
    std::string LogLineWith(const std::string& text) {
        const std::string all = LogText();
        const size_t at = all.find(text);
        if (at == std::string::npos) return std::string();
        const size_t start = all.rfind('\n', at);
        const size_t first = start == std::string::npos ? 0 : start + 1;
        return all.substr(first, all.find('\n', at) - first);
    }

private:
    void Reopen() {
        TraceConfig config;
        WideToAnsi(logFile_.wstring()).copy(config.logFile, sizeof(config.logFile) - 1);
        config.logFileLimit = 1 << 20;
        WideToAnsi(errFile_.wstring()).copy(config.errFile, sizeof(config.errFile) - 1);
        config.errFileLimit = 1 << 20;
        opened_ = OpenLog(config);
    }

    ScopedTempDir appDir_;
    ScopedTempDir logDir_;
    std::filesystem::path logFile_;
    std::filesystem::path errFile_;
    bool opened_ = false;
};

// size bytes of error lines, which compress well.
inline std::string ErrorLines(size_t size) {
    std::string text;
    for (int n = 0; text.size() < size; ++n) {
        text += "[2024-05-06 07:08:09.010][ERR][DownLoad:42] download check failed(-2)! fileid:" +
                std::to_string(n) + "\r\n";
    }
    text.resize(size);
    return text;
}

// Inflates one whole zlib stream; "(not zlib)" when bytes are not one.
inline std::string Inflated(const std::string& bytes) {
    std::string text(1 << 20, '\0');
    uLongf length = static_cast<uLongf>(text.size());
    if (uncompress(reinterpret_cast<Bytef*>(&text[0]), &length, reinterpret_cast<const Bytef*>(bytes.data()),
                   static_cast<uLong>(bytes.size())) != Z_OK) {
        return "(not zlib)";
    }
    text.resize(length);
    return text;
}

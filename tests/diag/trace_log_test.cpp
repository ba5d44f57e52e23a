#include "diag/trace_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sibling_process.h"
#include "temp_dir.h"
#include "trace_test_support.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/named_mutex.h"

namespace fs = std::filesystem;

namespace {

// What the update worker hands to components that log without knowing the
// trace log.
class TraceForwardingLogger : public QKlogger {
public:
    void log(int level, const char* module, const char* format, va_list args) override {
        Trace(level, module, format, args);
    }
    void Log(int level, const char* module, const char* format, ...) {
        va_list args;
        va_start(args, format);
        log(level, module, format, args);
        va_end(args);
    }
};

}  // namespace

// The process's own trace log, as the launcher and the updater use it.
class TraceLog : public ::testing::Test {
protected:
    TraceLog() {
        std::snprintf(config_.logFile, sizeof config_.logFile, "%s", logPath_.c_str());
        std::snprintf(config_.errFile, sizeof config_.errFile, "%s", errPath_.c_str());
        config_.logFileLimit = config_.errFileLimit = 10485760;
    }
    ~TraceLog() override { CloseLog(); }

    std::vector<ParsedLine> Lines(const char* name) const {
        std::vector<ParsedLine> lines;
        for (const std::string& line : SplitLines(ReadFileBytes(dir_.path() / name))) {
            lines.emplace_back();
            EXPECT_TRUE(ParseLine(line, lines.back())) << line.substr(0, 80);
        }
        return lines;
    }

    ScopedTempDir dir_;
    const std::string logPath_ = WideToAnsi(dir_.WinPath()) + "QKMeeting.log";
    const std::string errPath_ = WideToAnsi(dir_.WinPath()) + "QKMeeting.err";
    TraceConfig config_;
};

TEST_F(TraceLog, WrappersAndLoggerFixLevelAndModule) {
    ASSERT_TRUE(OpenLog(config_));
    AgentLogErr("a%d", 0);
    AgentLogInf("a%d", 1);
    AgentLogWar("a%d", 2);
    DownLogDbg("d%d", 0);
    DownLogInf("d%d", 1);
    DownLogWar("d%d", 2);
    DownLogErr("d%d", 3);
    TraceForwardingLogger().Log(TRACE_WAR, "MutiDL", "[%s] retry", "MutiDL");
    SetLevel(TRACE_ERR);
    EXPECT_EQ(GetLevel(), TRACE_ERR);
    DownLogWar("dropped");
    CloseLog();

    std::vector<std::string> seen;
    for (const ParsedLine& line : Lines("QKMeeting.log")) seen.push_back(line.level + " " + line.module + " " + line.message);
    EXPECT_EQ(seen, (std::vector<std::string>{"ERR AgentMain a0\n", "INF AgentMain a1\n", "WAR AgentMain a2\n",
                                              "DBG DownLoad d0\n", "INF DownLoad d1\n", "WAR DownLoad d2\n",
                                              "ERR DownLoad d3\n", "WAR MutiDL [MutiDL] retry\n"}));
    EXPECT_EQ(Lines("QKMeeting.err").size(), 2u);
}

// Each helper process writes long lines of its own letter into both files;
// with the file mutex around every batch no line can be split by the other.
TEST_F(TraceLog, TwoProcessesNeverInterleaveWithinABatch) {
    const int count = 1500;
    const std::string writer = SiblingProgramPath("diag_trace_writer");
    const std::string gateName = "ZMTraceGate-" + std::to_string(CurrentProcessId());
    const fs::path readyA = dir_.path() / "A.ready";
    const fs::path readyB = dir_.path() / "B.ready";
    NamedMutex gate(AnsiToWide(gateName));
    std::optional<NamedMutexLock> hold(std::in_place, gate);
    ASSERT_TRUE(hold->owned());
    std::vector<int> codes = RunAllAtOnce(
        {{writer, logPath_, errPath_, "A", std::to_string(count), gateName, readyA.string()},
         {writer, logPath_, errPath_, "B", std::to_string(count), gateName, readyB.string()}},
        [&] {
            EXPECT_TRUE(WaitUntil([&] { return fs::exists(readyA) && fs::exists(readyB); }));
            hold.reset();
        });
    ASSERT_EQ(codes, (std::vector<int>{0, 0})) << writer;

    for (const char* file : {"QKMeeting.log", "QKMeeting.err"}) {
        int next[2] = {0, 0};
        for (const ParsedLine& line : Lines(file)) {
            const int tag = line.message[0] - 'A';
            ASSERT_TRUE(tag == 0 || tag == 1) << line.message.substr(0, 40);
            const std::string expected =
                line.message.substr(0, 1) + "-" + std::to_string(next[tag]++) + " " + std::string(1500, 'A' + tag) + "\n";
            ASSERT_TRUE(line.message == expected) << file << ": torn line " << line.message.substr(0, 40);
        }
        EXPECT_EQ(next[0], count) << file;
        EXPECT_EQ(next[1], count) << file;
    }
}

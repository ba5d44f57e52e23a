#include "diag/trace_manager.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"
#include "trace_test_support.h"
#include "util/code_page.h"
#include "util/debug_output.h"
#include "util/named_mutex.h"

namespace fs = std::filesystem;

class TraceManager : public ::testing::Test {
protected:
    bool Open(int logLimit = 10485760, int errLimit = 10485760) {
        TraceConfig config;
        std::snprintf(config.logFile, sizeof config.logFile, "%sQKMeeting.log", WideToAnsi(dir_.WinPath()).c_str());
        std::snprintf(config.errFile, sizeof config.errFile, "%sQKMeeting.err", WideToAnsi(dir_.WinPath()).c_str());
        config.logFileLimit = logLimit;
        config.errFileLimit = errLimit;
        return manager_.OpenLog(config);
    }
    void Log(int level, const char* format, ...) {
        va_list args;
        va_start(args, format);
        manager_.Trace(level, "Test", format, args);
        va_end(args);
    }
    std::string Text(const char* name) const { return ReadFileBytes(dir_.path() / name); }

    ScopedTempDir dir_;
    CTraceManager manager_;
};

TEST_F(TraceManager, LinePrefixCarriesTimeLevelModuleAndThread) {
    ASSERT_TRUE(Open());
    Log(TRACE_INF, "connected to %s:%d", "meet.example.com", 443);
    manager_.CloseLog();

    ParsedLine parsed;
    ASSERT_TRUE(ParseLine(Text("QKMeeting.log"), parsed)) << Text("QKMeeting.log");
    EXPECT_EQ(parsed.level, "INF");
    EXPECT_EQ(parsed.module, "Test");
    EXPECT_EQ(parsed.threadId, CurrentThreadId());
    EXPECT_EQ(parsed.message, "connected to meet.example.com:443\n");
}

TEST_F(TraceManager, EveryRecordIsOneLineOfAtMost2047Bytes) {
    std::string longMessage(5000, 'x');
    longMessage[100] = '\n';
    ASSERT_TRUE(Open());
    Log(TRACE_INF, "first\nsecond\n");
    Log(TRACE_INF, "no newline");
    Log(TRACE_INF, "%s", longMessage.c_str());
    manager_.CloseLog();

    std::vector<std::string> lines = SplitLines(Text("QKMeeting.log"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Messages(lines[0] + lines[1]), (std::vector<std::string>{"first\rsecond\n", "no newline\n"}));
    ASSERT_EQ(lines[2].size(), 2047u);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 2), "x\n");
    EXPECT_EQ(Messages(lines[2])[0].substr(100, 2), "\rx");
}

TEST_F(TraceManager, ErrorLinesGoToBothFilesOthersOnlyToTheLog) {
    ASSERT_TRUE(Open());
    Log(TRACE_DBG, "debug");
    Log(TRACE_WAR, "warning");
    Log(TRACE_ERR, "error");
    Log(7, "above error");
    manager_.CloseLog();

    EXPECT_EQ(Messages(Text("QKMeeting.log")),
              (std::vector<std::string>{"debug\n", "warning\n", "error\n", "above error\n"}));
    EXPECT_EQ(Messages(Text("QKMeeting.err")), (std::vector<std::string>{"error\n", "above error\n"}));
    EXPECT_NE(Text("QKMeeting.err").find("][ERR][Test:"), std::string::npos);
}

TEST_F(TraceManager, MinimumLevelHoldsUntilReopenAndOpenTwiceFails) {
    ASSERT_TRUE(Open());
    EXPECT_FALSE(Open());
    manager_.SetLevel(TRACE_WAR);
    EXPECT_EQ(manager_.GetLevel(), TRACE_WAR);
    Log(TRACE_INF, "dropped");
    Log(TRACE_WAR, "kept warning");
    manager_.CloseLog();
    ASSERT_TRUE(Open());
    EXPECT_EQ(manager_.GetLevel(), TRACE_DBG);
    Log(TRACE_DBG, "kept debug");
    manager_.CloseLog();

    EXPECT_EQ(Messages(Text("QKMeeting.log")), (std::vector<std::string>{"kept warning\n", "kept debug\n"}));
}

TEST_F(TraceManager, CloseLogWritesEveryQueuedLineAndLaterLinesAreDropped) {
    Log(TRACE_ERR, "before open");
    ASSERT_TRUE(Open());
    std::vector<std::string> expected;
    for (int i = 0; i < 1500; ++i) {
        Log(TRACE_INF, "line %d", i);
        expected.push_back("line " + std::to_string(i) + "\n");
    }
    manager_.CloseLog();
    Log(TRACE_ERR, "after close");
    manager_.CloseLog();

    EXPECT_EQ(Messages(Text("QKMeeting.log")), expected);
    EXPECT_FALSE(fs::exists(dir_.path() / "QKMeeting.err"));
}

TEST_F(TraceManager, FilesAtTheirLimitStartAnew) {
    dir_.Write("QKMeeting.log", std::string(100, 'o'));
    dir_.Write("QKMeeting.log.bak", "older backup\n");
    dir_.Write("QKMeeting.err", std::string(50, 'e'));
    ASSERT_TRUE(Open(100, 50));
    Log(TRACE_ERR, "fresh");
    manager_.CloseLog();

    EXPECT_EQ(Text("QKMeeting.log.bak"), std::string(100, 'o'));
    EXPECT_EQ(Messages(Text("QKMeeting.log")), std::vector<std::string>{"fresh\n"});
    EXPECT_EQ(Messages(Text("QKMeeting.err")), std::vector<std::string>{"fresh\n"});
    EXPECT_FALSE(fs::exists(dir_.path() / "QKMeeting.err.bak"));
}

TEST_F(TraceManager, TailReadersFlushFirstAndMayDeleteTheErrorFile) {
    char buffer[4096];
    EXPECT_EQ(manager_.ReadLogTail(buffer, sizeof buffer), 0);  // never opened: no path
    ASSERT_TRUE(Open());
    EXPECT_EQ(manager_.ReadLogTail(nullptr, 16), 0);
    EXPECT_EQ(manager_.ReadErrTail(buffer, 0, true), 0);
    Log(TRACE_INF, "one");
    Log(TRACE_ERR, "two");
    int n = manager_.ReadLogTail(buffer, sizeof buffer);
    EXPECT_EQ(Messages(std::string(buffer, static_cast<size_t>(n))), (std::vector<std::string>{"one\n", "two\n"}));
    n = manager_.ReadErrTail(buffer, 4, false);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), "two\n");
    EXPECT_TRUE(fs::exists(dir_.path() / "QKMeeting.err"));
    EXPECT_GT(manager_.ReadErrTail(buffer, sizeof buffer, true), 0);
    EXPECT_FALSE(fs::exists(dir_.path() / "QKMeeting.err"));

    Log(TRACE_INF, "three");  // the flush restarted the writer
    manager_.CloseLog();
    EXPECT_EQ(Messages(Text("QKMeeting.log")), (std::vector<std::string>{"one\n", "two\n", "three\n"}));
}

TEST_F(TraceManager, WideStringArgumentsUseWs) {
    ASSERT_TRUE(Open());
    Log(TRACE_INF, "copy %ws to %s (%d%%) [%-4ws]", L"C:\\a.dll", "UpdateVer\\a.dll", 50, L"ab");
    manager_.CloseLog();
    EXPECT_EQ(Messages(Text("QKMeeting.log")),
              std::vector<std::string>{"copy C:\\a.dll to UpdateVer\\a.dll (50%) [ab  ]\n"});
}

TEST_F(TraceManager, ManyThreadsLoseAndTearNoLines) {
    const int threads = 8;
    const int perThread = 200;
    ASSERT_TRUE(Open());
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < perThread; ++i) Log(TRACE_INF, "%d %d %s", t, i, std::string(100 + t * 50, 'a' + t).c_str());
        });
    }
    for (std::thread& worker : workers) worker.join();
    manager_.CloseLog();

    std::vector<int> next(threads, 0);
    for (const std::string& message : Messages(Text("QKMeeting.log"))) {
        int t = 0;
        int i = 0;
        ASSERT_EQ(std::sscanf(message.c_str(), "%d %d", &t, &i), 2) << message;
        ASSERT_TRUE(t >= 0 && t < threads && i == next[t]) << message;
        ASSERT_EQ(message, std::to_string(t) + " " + std::to_string(i) + " " + std::string(100 + t * 50, 'a' + t) + "\n");
        ++next[t];
    }
    EXPECT_EQ(next, std::vector<int>(threads, perThread));
}

// The test holds the file mutex, which stalls the writer in its first batch,
// so the queue fills up deterministically.
TEST_F(TraceManager, FullQueueDropsNewLinesButNeverTheStop) {
    NamedMutex fileMutex(CTraceManager::kFileMutexName);
    ASSERT_TRUE(Open());
    std::thread closer;
    {
        NamedMutexLock hold(fileMutex);
        ASSERT_TRUE(hold.owned());
        Log(TRACE_INF, "primer");
        ASSERT_TRUE(WaitUntil([this] { return manager_.QueuedCount() == 0; }));
        for (int i = 0; i < 2001; ++i) Log(TRACE_INF, "line %d", i);
        EXPECT_EQ(manager_.QueuedCount(), CTraceManager::kQueueLimit);
        EXPECT_EQ(manager_.DroppedCount(), 1u);
        closer = std::thread([this] { manager_.CloseLog(); });
        EXPECT_TRUE(WaitUntil([this] { return manager_.DroppedCount() == 2; }));  // the stop took a place
    }
    closer.join();

    std::vector<std::string> messages = Messages(Text("QKMeeting.log"));
    ASSERT_EQ(messages.size(), 2000u);
    EXPECT_EQ(messages.front(), "primer\n");
    EXPECT_EQ(messages.back(), "line 1998\n");
}

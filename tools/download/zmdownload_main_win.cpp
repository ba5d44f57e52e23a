// zmdownload: downloads files from a list of mirrors with the updater's own
// download manager over WinHTTP, and says what it did: per file its size,
// time and result code, per server the bytes it gave, and for the run the
// time and the process's peak working set. Tests and the download
// benchmark drive it (see kUsage).
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "counting_connection.h"
#include "diag/trace_log.h"
#include "net/multi_download_mgr.h"
#include "net/mutil_transfer.h"
#include "net/win_http_connection.h"
#include "util/code_page.h"

namespace {

const char kUsage[] =
    "usage: zmdownload --servers \"URL;URL;...\" [options] PATH...\n"
    "  PATH                 a file's path on the servers, such as /data/a.bin\n"
    "  --servers LIST       the mirrors, separated by ';' (\"http://\" is added when missing)\n"
    "  --out DIR            where files go, each below DIR under its server path\n"
    "                       (default: the current folder)\n"
    "  --max-transfers N    connections working on one file at once (default 5)\n"
    "  --idle-timeout MS    a file that gains no new byte this long fails (default 60000)\n"
    "  --no-range           fetch every file whole over one connection\n"
    "  --stop-on-failure    end the run at the first failed file\n"
    "  --log FILE           write the trace log there, debug lines included\n"
    "It prints, once the run has ended:\n"
    "  file id=N path=PATH size=BYTES seconds=S result=CODE   (one per PATH; CODE 0 success,\n"
    "                       2 no new byte within the idle time-out, 3 size mismatch,\n"
    "                       4 local file failure, none when the file was never reached)\n"
    "  main url=URL         (each server elected to lead a file, in turn)\n"
    "  server id=N bytes=BYTES   (response bytes received from the Nth server, from 0, over all\n"
    "                       its connections)\n"
    "  run succeeded=0|1 seconds=S peak_working_set=BYTES\n"
    "and exits 0 when every file succeeded, 1 when one did not, 2 on a bad command line.\n";

struct Options {
    std::string servers;
    std::string outDir;
    std::vector<std::string> paths;
    int32_t maxTransfers = CMultiDownloadMgr::kDefaultMaxTransfers;
    int32_t idleTimeoutMs = CMultiDownloadMgr::kDefaultIdleTimeoutMs;
    bool useRange = true;
    bool stopOnFailure = false;
    std::string logFile;
};

bool ParseCount(const std::wstring& text, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    value = static_cast<int32_t>(std::wcstol(text.c_str(), nullptr, 10));
    return true;
}

// Returns false with the reason in error on a bad command line.
bool ParseOptions(const std::vector<std::wstring>& args, Options& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.compare(0, 2, L"--") != 0) {
            options.paths.push_back(WideToAnsi(arg));
            continue;
        }
        if (arg == L"--no-range") {
            options.useRange = false;
            continue;
        }
        if (arg == L"--stop-on-failure") {
            options.stopOnFailure = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + WideToAnsi(arg);
            return false;
        }
        const std::wstring& value = args[++i];
        bool ok = true;
        if (arg == L"--servers") {
            options.servers = WideToAnsi(value);
        } else if (arg == L"--out") {
            options.outDir = WideToAnsi(value);
        } else if (arg == L"--max-transfers") {
            ok = ParseCount(value, options.maxTransfers) && options.maxTransfers > 0;
        } else if (arg == L"--idle-timeout") {
            ok = ParseCount(value, options.idleTimeoutMs);
        } else if (arg == L"--log") {
            options.logFile = WideToAnsi(value);
        } else {
            error = "unknown option " + WideToAnsi(arg);
            return false;
        }
        if (!ok) {
            error = "bad value for " + WideToAnsi(arg) + ": " + WideToAnsi(value);
            return false;
        }
    }
    if (options.servers.empty()) {
        error = "no --servers given";
        return false;
    }
    if (options.paths.empty()) {
        error = "no file to download";
        return false;
    }
    return true;
}

// The local path of a server path: below outDir, '/' turned into '\'. The
// manager needs a directory part, so a bare name gets ".\".
std::string LocalPathOf(const std::string& outDir, const std::string& serverPath) {
    std::string local = outDir.empty() ? std::string(".") : outDir;
    if (local.back() != '\\' && local.back() != '/') local += '\\';
    size_t first = serverPath.find_first_not_of('/');
    local += first == std::string::npos ? std::string() : serverPath.substr(first);
    for (char& c : local) {
        if (c == '/') c = '\\';
    }
    return local;
}

class DiscardingLogger : public QKlogger {
public:
    void log(int, const char*, const char*, va_list) override {}
};

// Collects what the manager reports, on the manager's thread, and lets the
// main thread wait for the end of the run.
class RunReport : public CMutilTransferCallBack {
public:
    struct FileResult {
        int32_t size = -1;
        int32_t result = -1;  // -1: never finished
        double seconds = 0;
        std::string mainUrl;
    };

    explicit RunReport(size_t files) : files_(files) {}

    void OnFileProgress(int32_t fileID, int32_t totalSize, int32_t, int32_t) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (Known(fileID)) files_[static_cast<size_t>(fileID)].size = totalSize;
    }
    void OnFileFinished(int32_t fileID, int32_t errorCode, int32_t) override {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> guard(lock_);
        if (Known(fileID)) {
            files_[static_cast<size_t>(fileID)].result = errorCode;
            files_[static_cast<size_t>(fileID)].seconds = Seconds(fileStart_, now);
        }
        fileStart_ = now;
    }
    void OnAllFinished(int32_t, bool allSucceeded) override {
        std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
        allSucceeded_ = allSucceeded;
        runSeconds_ = Seconds(runStart_, Clock::now());
        changed_.notify_all();
    }
    void OnMainServer(const char* serverUrl, int32_t) override {
        std::lock_guard<std::mutex> guard(lock_);
        mainUrls_.push_back(serverUrl);
    }

    void MarkStart() {
        std::lock_guard<std::mutex> guard(lock_);
        runStart_ = fileStart_ = Clock::now();
    }
    void WaitForEnd() {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return ended_; });
    }
    // Read after the manager's thread has ended.
    const std::vector<FileResult>& Files() const { return files_; }
    const std::vector<std::string>& MainUrls() const { return mainUrls_; }
    bool AllSucceeded() const { return allSucceeded_; }
    double RunSeconds() const { return runSeconds_; }

private:
    using Clock = std::chrono::steady_clock;

    bool Known(int32_t fileID) const { return fileID >= 0 && static_cast<size_t>(fileID) < files_.size(); }
    static double Seconds(Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double>(to - from).count();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<FileResult> files_;
    std::vector<std::string> mainUrls_;  // in the order they were elected
    Clock::time_point runStart_;
    Clock::time_point fileStart_;
    bool ended_ = false;
    bool allSucceeded_ = false;
    double runSeconds_ = 0;
};

uint64_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

bool OpenTraceLog(const std::string& path) {
    TraceConfig config;
    if (path.size() >= sizeof config.logFile) return false;
    path.copy(config.logFile, sizeof config.logFile - 1);
    config.logFileLimit = 1 << 30;
    SetLevel(TRACE_DBG);
    return OpenLog(config);
}

int Run(const Options& options) {
    if (!options.logFile.empty() && !OpenTraceLog(options.logFile)) {
        std::fprintf(stderr, "zmdownload: cannot open the log %s\n", options.logFile.c_str());
        return 2;
    }
    CWinHttpConnectionFactory winHttp;
    CountingConnectionFactory counting(&winHttp);
    DiscardingLogger logger;
    RunReport report(options.paths.size());
    CMutilTransfer* mgr = CreateMultiDownloadMgr("zmdownload", &counting);
    mgr->SetCallBack(&logger, &report);
    mgr->SetMaxTransfers(options.maxTransfers);
    mgr->SetIdleTimeout(options.idleTimeoutMs);
    if (!mgr->SetSverInfo(options.servers.c_str())) {
        std::fprintf(stderr, "zmdownload: no usable server in \"%s\"\n", options.servers.c_str());
        mgr->Destroy();
        CloseLog();
        return 2;
    }
    // The server list makes one connection per server; further ones come
    // while the run goes (see multi_download_mgr.h for their numbers).
    const int32_t serverCount = counting.Made();
    for (size_t i = 0; i < options.paths.size(); ++i) {
        mgr->getFile(static_cast<int32_t>(i), options.paths[i], LocalPathOf(options.outDir, options.paths[i]),
                     options.useRange, std::string(), SFileFetch());
    }
    report.MarkStart();
    if (!mgr->start(0, options.stopOnFailure)) {
        std::fprintf(stderr, "zmdownload: the download manager did not start\n");
        mgr->Destroy();
        CloseLog();
        return 1;
    }
    report.WaitForEnd();
    mgr->WaitForStop();
    mgr->Destroy();

    const std::vector<RunReport::FileResult>& files = report.Files();
    for (size_t i = 0; i < files.size(); ++i) {
        const RunReport::FileResult& file = files[i];
        std::printf("file id=%u path=%s size=%d seconds=%.3f result=", static_cast<unsigned>(i),
                    options.paths[i].c_str(), file.size, file.seconds);
        if (file.result < 0) {
            std::printf("none\n");
        } else {
            std::printf("%d\n", file.result);
        }
    }
    for (const std::string& url : report.MainUrls()) std::printf("main url=%s\n", url.c_str());
    for (int32_t serverNo = 0; serverNo < serverCount; ++serverNo) {
        int64_t bytes = 0;
        for (int32_t connNo = serverNo; connNo < counting.Made(); connNo += serverCount) bytes += counting.BytesOf(connNo);
        std::printf("server id=%d bytes=%lld\n", serverNo, static_cast<long long>(bytes));
    }
    std::printf("run succeeded=%d seconds=%.3f peak_working_set=%llu\n", report.AllSucceeded() ? 1 : 0,
                report.RunSeconds(), static_cast<unsigned long long>(PeakWorkingSet()));
    std::fflush(stdout);
    CloseLog();
    return report.AllSucceeded() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == L"--help" || args[0] == L"-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "zmdownload: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    return Run(options);
}

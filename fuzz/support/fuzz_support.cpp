#include "fuzz_support.h"

#include <stdlib.h>  // mkdtemp

#include <cstdio>
#include <cstdlib>

#include "diag/trace_log.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_separators.h"

namespace {

// The base holds the work folder, which targets empty at will, and the log
// folder beside it, which the trace log keeps open.
struct ScratchBase {
    std::wstring base;
    std::wstring work;

    ScratchBase() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/zm-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) {
            std::fprintf(stderr, "cannot make a scratch directory from %s\n", pattern.c_str());
            std::abort();
        }
        base = FromPosixPath(pattern) + L"\\";
        work = base + L"work\\";
        MakeDirs(work);
    }
    // The trace log, made before main and so ended after this, may write
    // below the base: it closes first.
    ~ScratchBase() {
        CloseLog();
        RemoveTree(base);
    }
};

ScratchBase& Scratch() {
    static ScratchBase scratch;
    return scratch;
}

}  // namespace

#define ZM_FUZZ_TEXT(x) ZM_FUZZ_TEXT_OF(x)
#define ZM_FUZZ_TEXT_OF(x) #x

extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=" ZM_FUZZ_TEXT(ZM_FUZZ_ALLOCATION_LIMIT_MB);
}

void FuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "FUZZ_CHECK failed: %s at %s:%d\n", condition, file, line);
    std::abort();
}

std::string FuzzInput::TakeLine() {
    if (at_ >= bytes_.size()) return std::string();
    size_t end = bytes_.find('\n', at_);
    if (end == std::string::npos) end = bytes_.size();
    std::string line = bytes_.substr(at_, end - at_);
    at_ = end + 1;
    return line;
}

const std::wstring& FuzzScratchDir() { return Scratch().work; }

void ClearFuzzScratchDir() {
    const std::wstring& work = Scratch().work;
    if (!RemoveTree(work) || !MakeDirs(work)) {
        std::fprintf(stderr, "cannot empty the scratch directory %s\n", WideToAnsi(work).c_str());
        std::abort();
    }
}

void OpenFuzzTraceLog() {
    static const bool opened = [] {
        const std::wstring logDir = Scratch().base + L"log\\";
        MakeDirs(logDir);
        TraceConfig config;
        const std::string log = WideToAnsi(logDir + L"fuzz.log");
        const std::string err = WideToAnsi(logDir + L"fuzz.err");
        std::snprintf(config.logFile, sizeof config.logFile, "%s", log.c_str());
        std::snprintf(config.errFile, sizeof config.errFile, "%s", err.c_str());
        config.logFileLimit = 1 << 20;
        config.errFileLimit = 20 << 10;
        return OpenLog(config);
    }();
    (void)opened;
}

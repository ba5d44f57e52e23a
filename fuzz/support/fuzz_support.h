// What the fuzz targets share: splitting the fuzzer's bytes into the parts a
// target needs, a private scratch directory for parsers that read files, and
// a check that stops the run when a parser breaks a promise of its interface.
//
// Every target is one file fuzz/<name>_fuzz.cpp defining
// LLVMFuzzerTestOneInput; the build links it either with libFuzzer or with
// the replay driver of the native test build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Stops the process with the failed condition on standard error; libFuzzer
// then keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                 \
    do {                                                                      \
        if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__);    \
    } while (false)

[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

// Allocations above this many MiB fail with null (or std::bad_alloc) at once.
// No parser needs that much for a fuzzer's small inputs, and a size taken
// from the input must be refused or survived, never trusted; AddressSanitizer
// would also spend each run marking a giant buffer.
#define ZM_FUZZ_ALLOCATION_LIMIT_MB 64
const uint64_t kFuzzAllocationLimit = uint64_t{ZM_FUZZ_ALLOCATION_LIMIT_MB} << 20;

// The fuzzer's bytes as parts separated by '\n', so seed files stay
// readable text.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : bytes_(reinterpret_cast<const char*>(data), size) {}

    // The bytes up to the next '\n' (not included) or the end; empty once
    // everything is taken.
    std::string TakeLine();

private:
    std::string bytes_;
    size_t at_ = 0;
};

// This process's scratch directory in Windows form, ending in '\': made on
// first use under $TMPDIR (else /tmp) and removed when the process exits
// normally. Targets write nowhere else.
const std::wstring& FuzzScratchDir();

// Empties the scratch directory; a target calls it first so no input sees
// the files of the one before.
void ClearFuzzScratchDir();

// Opens the trace log in the scratch directory, once per process, so the
// lines that parsers write about their input are formatted as in the product.
void OpenFuzzTraceLog();

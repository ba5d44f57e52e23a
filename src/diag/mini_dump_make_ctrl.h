// Crash dumps: once installed, an exception that nothing else handles makes
// the process write a minidump with a text trailer and end.
//
// Dump file layout: the minidump, then the trailer text in the ANSI code page
// with its terminating zero byte ("\n", "Exception code:0x...\n",
// "Fault address:0x...\n", the comment), then a 32-bit little-endian word
// holding the trailer text's length (zero byte included) plus 4. A reader
// finds the trailer by stepping back that many bytes from the end.
#pragma once

#include <cstdint>
#include <string>

// What the crash handler asks of the program: where to write the dump and
// what to say about it. Called on the faulting thread, which may be any
// thread, the trace log's writer included.
class CMiniDumpMakeCtrl {
public:
    // The full path of the dump file; an existing file is replaced.
    virtual void GetDumpFilePath(std::wstring& path) = 0;
    // The text appended after the dump; empty unless a program says more.
    virtual void GetDumpComment(std::wstring& text);

protected:
    ~CMiniDumpMakeCtrl() = default;
};

// Windows build: remembers the object (it must live until the process ends)
// and makes the dump writer the process's top-level exception filter. The
// writer never shows anything and always lets the process end.
void InstallCrashHandler(CMiniDumpMakeCtrl* maker);

// The bytes that follow the minidump: trailer text, zero byte, length word.
std::string BuildDumpTrailer(uint32_t exceptionCode, uint64_t faultAddress, const std::wstring& comment);

// The crash handler in a process that really faults: diag_dump_crasher.
#include <windows.h>

#include <dbghelp.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dump_trailer.h"
#include "sibling_process.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace fs = std::filesystem;

namespace {

const int kAccessViolation = static_cast<int>(0xC0000005u);
const int kRaisedCode = static_cast<int>(0xE0001234u);

class CrashDump : public ::testing::Test {
protected:
    ScopedTempDir dir;
    const fs::path dump = dir.path() / "crash.dmp";

    int Crash(const std::string& comment, const char* fault, const fs::path& path) {
        const std::vector<int> codes = RunAllAtOnce(
            {{SiblingProgramPath("diag_dump_crasher"), WideToAnsi(path.wstring()), comment, fault}}, [] {});
        return codes[0];
    }
    int Crash(const std::string& comment, const char* fault) { return Crash(comment, fault, dump); }

    // The trailer text of the dump; fails the test when the file has none.
    std::string Trailer() {
        const std::string file = ReadFileBytes(dump);
        std::string text;
        EXPECT_TRUE(ReadDumpTrailer(file, text)) << file.size() << " bytes";
        EXPECT_EQ(file.substr(0, 4), "MDMP");
        return text;
    }
};

}  // namespace

TEST_F(CrashDump, AccessViolationWritesMinidumpWithTrailerAndEndsTheProcess) {
    EXPECT_EQ(Crash("Module:x.exe\nLastLogData:tail\n", "bad-call"), kAccessViolation);
    EXPECT_EQ(Trailer(), "\nException code:0xC0000005\nFault address:0x10\nModule:x.exe\nLastLogData:tail\n");
    // A real minidump, not just its signature: more than a header's worth.
    const std::string file = ReadFileBytes(dump);
    std::string text;
    ASSERT_TRUE(ReadDumpTrailer(file, text));
    EXPECT_GT(DumpPart(file, text).size(), 1000u);
}

// What a debugger reads of the dump, with this build's structure sizes and
// pointer width: the exception with its code and address, and the crashed
// program among the modules, so its symbol file can be matched to it.
TEST_F(CrashDump, DebuggerReadsTheExceptionAndTheProgramFromTheDump) {
    ASSERT_EQ(Crash("comment", "bad-call"), kAccessViolation);
    const std::string file = ReadFileBytes(dump);
    std::string text;
    ASSERT_TRUE(ReadDumpTrailer(file, text));
    std::string minidump = DumpPart(file, text);
    void* base = &minidump[0];

    MINIDUMP_DIRECTORY* entry = nullptr;
    void* stream = nullptr;
    ULONG size = 0;
    ASSERT_TRUE(MiniDumpReadDumpStream(base, ExceptionStream, &entry, &stream, &size));
    ASSERT_GE(size, sizeof(MINIDUMP_EXCEPTION_STREAM));
    const auto& exception = *static_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream);
    EXPECT_EQ(exception.ExceptionRecord.ExceptionCode, 0xC0000005u);
    EXPECT_EQ(exception.ExceptionRecord.ExceptionAddress, 0x10u);

    ASSERT_TRUE(MiniDumpReadDumpStream(base, ModuleListStream, &entry, &stream, &size));
    const auto& modules = *static_cast<const MINIDUMP_MODULE_LIST*>(stream);
    bool found = false;
    for (ULONG32 i = 0; i < modules.NumberOfModules; ++i) {
        const MINIDUMP_MODULE& module = modules.Modules[i];
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(static_cast<char*>(base) + module.ModuleNameRva);
        const std::wstring path(name->Buffer, name->Length / sizeof(WCHAR));
        if (path.find(L"diag_dump_crasher") == std::wstring::npos) continue;
        found = true;
        EXPECT_NE(module.BaseOfImage, 0u);
        EXPECT_GT(module.SizeOfImage, 0u);
    }
    EXPECT_TRUE(found);
}

TEST_F(CrashDump, RaisedExceptionGivesItsCodeAndTheBaseGivesNoComment) {
    EXPECT_EQ(Crash("-", "raise"), kRaisedCode);
    const std::string text = Trailer();
    EXPECT_EQ(text.rfind("\nException code:0xE0001234\nFault address:0x", 0), 0u) << text;
    // The base comment is empty: the fault address line ends the trailer.
    EXPECT_EQ(text.find('\n', text.find("Fault address:")), text.size() - 1) << text;
}

TEST_F(CrashDump, SecondCrashReplacesTheFirstDump) {
    const std::string longComment(5000, 'a');
    ASSERT_EQ(Crash(longComment, "bad-call"), kAccessViolation);
    const uintmax_t firstSize = fs::file_size(dump);
    ASSERT_EQ(Crash("second", "raise"), kRaisedCode);
    const std::string text = Trailer();
    EXPECT_NE(text.find("Exception code:0xE0001234"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 6), "second");
    EXPECT_EQ(ReadFileBytes(dump).find(longComment), std::string::npos);
    EXPECT_NE(fs::file_size(dump), firstSize);
}

TEST_F(CrashDump, UnwritableDumpPathStillEndsTheProcess) {
    const fs::path missing = dir.path() / "no such folder" / "crash.dmp";
    EXPECT_EQ(Crash("comment", "bad-call", missing), kAccessViolation);
    EXPECT_FALSE(fs::exists(missing));
}

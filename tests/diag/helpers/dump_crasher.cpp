// Installs the crash handler, then faults as told, so that tests can read
// the dump it leaves.
//
// Usage: diag_dump_crasher <dump path> <comment, or - for the base's> <fault>
//   fault: "bad-call"  calls code at address 0x10 (the fault address)
//          "raise"     raises the exception code 0xE0001234
// Exit code: the exception code when the handler ended the process; 2 for
// bad usage, 3 when the fault did not end the process.
#include <windows.h>

#include <cstdint>
#include <string>

#include "diag/mini_dump_make_ctrl.h"
#include "util/code_page.h"

namespace {

class PathOnlyDumpMaker : public CMiniDumpMakeCtrl {
public:
    explicit PathOnlyDumpMaker(std::wstring path) : path_(std::move(path)) {}
    void GetDumpFilePath(std::wstring& path) override { path = path_; }

private:
    std::wstring path_;
};

class CommentingDumpMaker : public PathOnlyDumpMaker {
public:
    CommentingDumpMaker(std::wstring path, std::wstring comment)
        : PathOnlyDumpMaker(std::move(path)), comment_(std::move(comment)) {}
    void GetDumpComment(std::wstring& text) override { text = comment_; }

private:
    std::wstring comment_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::wstring path = AnsiToWide(argv[1]);
    const std::string comment = argv[2];
    const std::string fault = argv[3];
    static PathOnlyDumpMaker pathOnly(path);
    static CommentingDumpMaker commenting(path, AnsiToWide(comment));
    InstallCrashHandler(comment == "-" ? static_cast<CMiniDumpMakeCtrl*>(&pathOnly) : &commenting);

    if (fault == "bad-call") {
        using Code = void (*)();
        volatile uintptr_t address = 0x10;
        reinterpret_cast<Code>(address)();
    } else if (fault == "raise") {
        RaiseException(0xE0001234, 0, 0, nullptr);
    } else {
        return 2;
    }
    return 3;
}

// The release tool's program in the Windows build: wmain takes the
// arguments as UTF-16, so names outside the ANSI code page arrive whole.
#include <cstdio>
#include <string>
#include <vector>

#include "publish/publish_command.h"
#include "util/code_page.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    std::wstring out;
    std::wstring err;
    const int code = RunPublish(args, out, err);
    std::fputs(WideToAnsi(out).c_str(), stdout);
    std::fputs(WideToAnsi(err).c_str(), stderr);
    return code;
}

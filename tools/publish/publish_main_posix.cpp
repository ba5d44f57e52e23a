// The release tool's program in the native build: arguments are UTF-8.
#include <cstdio>
#include <string>
#include <vector>

#include "publish/publish_command.h"
#include "util/code_page.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8ToWide(argv[i]));
    std::wstring out;
    std::wstring err;
    const int code = RunPublish(args, out, err);
    std::fputs(WideToUtf8(out).c_str(), stdout);
    std::fputs(WideToUtf8(err).c_str(), stderr);
    return code;
}

#include "util/path_separators.h"

#include "util/code_page.h"

std::string ToPosixPath(const std::wstring& path) {
    std::string posix = WideToUtf8(path);
    for (auto& c : posix) {
        if (c == '\\') c = '/';
    }
    return posix;
}

std::wstring FromPosixPath(const std::string& path) { return WithBackslashes(Utf8ToWide(path)); }

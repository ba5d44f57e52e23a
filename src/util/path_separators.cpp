#include "util/path_separators.h"

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring WithBackslashes(std::wstring path) {
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

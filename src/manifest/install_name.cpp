#include "manifest/install_name.h"

#include "util/path_separators.h"
#include "util/text_util.h"

namespace {

// A component that the system may resolve to the parent directory: it trims
// trailing dots and spaces from components before it looks at them.
bool IsParentLikeComponent(const std::wstring& text, size_t start, size_t end) {
    int dots = 0;
    for (size_t i = start; i < end; ++i) {
        if (text[i] == L'.') {
            ++dots;
        } else if (text[i] != L' ') {
            return false;
        }
    }
    return dots >= 2;
}

}  // namespace

bool IsInstallRelativeName(const std::wstring& name) {
    if (name.empty() || IsPathSeparator(name[0]) || name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsPathSeparator(name[end])) ++end;
        if (IsParentLikeComponent(name, start, end)) return false;
        start = end + 1;
    }
    return true;
}

std::wstring FoldFileName(const std::wstring& name) { return FoldCaseText(name); }

bool SameFileName(const std::wstring& a, const std::wstring& b) { return EqualsIgnoringCase(a, b); }

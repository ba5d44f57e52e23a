#include "manifest/install_name.h"

#include "util/path_separators.h"

namespace {

wchar_t FoldLetter(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
    return c;
}

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

std::wstring FoldFileName(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded) c = FoldLetter(c);
    return folded;
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldLetter(a[i]) != FoldLetter(b[i])) return false;
    }
    return true;
}

#include "manifest/install_name.h"

#include "util/path_separators.h"
#include "util/text_util.h"

const wchar_t kUndoFolderName[] = L"~UpdateUndo";

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

// The system drops trailing dots and spaces of a component, so
// "~UpdateUndo. " is the undo folder too.
bool IsUndoFolderComponent(std::wstring component) {
    while (!component.empty() && (component.back() == L'.' || component.back() == L' ')) component.pop_back();
    return EqualsIgnoringCase(component, kUndoFolderName);
}

}  // namespace

bool IsInstallRelativeName(const std::wstring& name) {
    if (name.empty() || IsPathSeparator(name[0]) || name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsPathSeparator(name[end])) ++end;
        if (IsParentLikeComponent(name, start, end)) return false;
        if (start == 0 && IsUndoFolderComponent(name.substr(0, end))) return false;
        start = end + 1;
    }
    return true;
}

std::wstring FoldFileName(const std::wstring& name) { return FoldCaseText(name); }

bool SameFileName(const std::wstring& a, const std::wstring& b) { return EqualsIgnoringCase(a, b); }

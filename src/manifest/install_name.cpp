#include "manifest/install_name.h"

#include "util/path_separators.h"
#include "util/text_util.h"

const wchar_t kUndoFolderName[] = L"~UpdateUndo";

namespace {

// A component that the system reads as a device: a device name before the
// first dot, whatever the extension, blanks before the dot ignored ("NUL",
// "nul.txt", "COM1 .log"). The superscript digits count as digits there.
bool IsDeviceComponent(const std::wstring& text, size_t start, size_t end) {
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    size_t stem = start;
    while (stem < end && text[stem] != L'.') ++stem;
    while (stem > start && text[stem - 1] == L' ') --stem;
    const std::wstring base = FoldCaseText(text.substr(start, stem - start));
    for (const wchar_t* device : kDevices) {
        if (base == device) return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// The system drops a component's trailing dots and spaces, so such a name
// reaches another file than the one it reads as; "..", ". ." and "..." even
// reach the parent.
bool EndsInDotOrSpace(const std::wstring& text, size_t start, size_t end) {
    return end > start && (text[end - 1] == L'.' || text[end - 1] == L' ');
}

}  // namespace

bool IsInstallRelativeName(const std::wstring& name) {
    if (name.empty() || IsPathSeparator(name[0]) || name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsPathSeparator(name[end])) ++end;
        if (IsDeviceComponent(name, start, end) || EndsInDotOrSpace(name, start, end)) return false;
        // With trailing dots and spaces refused, "~UpdateUndo. " cannot reach it either.
        if (start == 0 && EqualsIgnoringCase(name.substr(0, end), kUndoFolderName)) return false;
        start = end + 1;
    }
    return true;
}

bool IsBareFileName(const std::wstring& name) {
    for (wchar_t c : name) {
        if (IsPathSeparator(c)) return false;
    }
    return IsInstallRelativeName(name);
}

std::wstring FoldFileName(const std::wstring& name) { return FoldCaseText(name); }

bool SameFileName(const std::wstring& a, const std::wstring& b) { return EqualsIgnoringCase(a, b); }

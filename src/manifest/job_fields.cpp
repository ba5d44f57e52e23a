#include "manifest/job_fields.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

}  // namespace

std::wstring TrimBlanks(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::wstring JobWordOf(const std::wstring& value) { return TrimBlanks(value.substr(0, value.find(L';'))); }

bool GetDataFromItemStr(const std::wstring& value, int index, std::wstring& field) {
    if (index < 1) return false;
    size_t separator = std::wstring::npos;
    for (int n = 0; n < index; ++n) {
        separator = value.find(L';', separator == std::wstring::npos ? 0 : separator + 1);
        if (separator == std::wstring::npos) return false;
    }
    const size_t start = separator + 1;
    if (start >= value.size()) return false;
    const size_t end = value.find(L';', start);
    field = TrimBlanks(value.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    return true;
}

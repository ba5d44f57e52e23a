#include "util/text_util.h"

#include <cwctype>

int ParseLeadingInt(const std::wstring& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Accumulate unsigned so an overlong number wraps instead of overflowing.
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - L'0');
    }
    return static_cast<int>(negative ? 0u - value : value);
}

wchar_t FoldCase(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
    return c;
}

std::wstring FoldCaseText(const std::wstring& text) {
    std::wstring folded = text;
    for (wchar_t& c : folded) c = FoldCase(c);
    return folded;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

int IndexOfText(const std::wstring& text, const wchar_t* const* table, int count) {
    for (int i = 0; i < count; ++i) {
        if (text == table[i]) return i;
    }
    return count;
}

std::wstring MainPartOf(const std::wstring& text) {
    std::wstring part = text.substr(0, text.find(L';'));
    size_t first = part.find(L'-');
    if (first == std::wstring::npos) return part;
    size_t second = part.find(L'-', first + 1);
    return part.substr(first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1);
}

uint32_t ParseVersionNumber(const std::wstring& text) {
    // Scanned like "%d.%d.%d.%d": the first field that does not parse ends the scan.
    uint32_t fields[4] = {0, 0, 0, 0};
    size_t pos = 0;
    for (int f = 0; f < 4; ++f) {
        while (pos < text.size() && std::iswspace(text[pos])) ++pos;
        size_t start = pos;
        if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) ++pos;
        size_t digits = pos;
        while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') ++pos;
        if (pos == digits) break;
        fields[f] = static_cast<uint32_t>(ParseLeadingInt(text.substr(start, pos - start))) & 0xFFu;
        if (pos >= text.size() || text[pos] != L'.') break;
        ++pos;
    }
    return (fields[0] << 24) | (fields[1] << 16) | (fields[2] << 8) | fields[3];
}

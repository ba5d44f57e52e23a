// In the native build the ANSI code page is UTF-8 and wchar_t holds UTF-32.
#include "util/code_page.h"

#include "util/utf8.h"

std::string WideToAnsi(const std::wstring& text) { return WideToUtf8(text); }
std::wstring AnsiToWide(const std::string& text) { return Utf8ToWide(text); }

bool Utf8ToAnsi(const char* bytes, size_t length, std::string& out) {
    out.assign(bytes, length);
    return true;
}

bool AnsiToUtf8(const char* bytes, size_t length, std::string& out) {
    out.assign(bytes, length);
    return true;
}

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) AppendUtf8(static_cast<char32_t>(w), out);
    return out;
}

std::wstring Utf8ToWide(const std::string& text) {
    std::u32string u = DecodeUtf8(text);
    return std::wstring(u.begin(), u.end());
}

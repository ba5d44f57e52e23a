#include "util/code_page.h"

#include <windows.h>

namespace {

std::wstring ToWide(UINT codePage, const char* bytes, size_t length) {
    if (length == 0) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), &out[0], n);
    return out;
}

std::string FromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_ACP, text); }
std::wstring AnsiToWide(const std::string& text) { return ToWide(CP_ACP, text.data(), text.size()); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text.data(), text.size()); }

bool Utf8ToAnsi(const char* bytes, size_t length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    std::wstring wide = ToWide(CP_UTF8, bytes, length);
    if (wide.empty()) return false;
    out = FromWide(CP_ACP, wide);
    return !out.empty();
}

bool AnsiToUtf8(const char* bytes, size_t length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    std::wstring wide = ToWide(CP_ACP, bytes, length);
    if (wide.empty()) return false;
    out = FromWide(CP_UTF8, wide);
    return !out.empty();
}

// UTF-16 little-endian coding of wide strings, for files that store it on
// every platform (wchar_t is 16-bit on Windows and 32-bit natively).
#pragma once

#include <string>

// Surrogate pairs become one character where wchar_t is 32-bit; a lone byte at
// the end is ignored.
std::wstring DecodeUtf16Le(const std::string& bytes);
// Characters beyond U+FFFF become surrogate pairs where wchar_t is 32-bit.
std::string EncodeUtf16Le(const std::wstring& text);

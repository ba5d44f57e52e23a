// Portable UTF-8 coding of wide strings, for the native build (wchar_t as
// UTF-32) and for file formats that store UTF-8 on every platform.
#pragma once

#include <string>

// Appends the UTF-8 form of one code point to out.
void AppendUtf8(char32_t codePoint, std::string& out);
// Decodes UTF-8; an invalid sequence gives U+FFFD for its first byte.
std::u32string DecodeUtf8(const std::string& text);

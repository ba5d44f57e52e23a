// Conversions between wide strings and the narrow ANSI code page.
// On Windows the ANSI code page is CP_ACP; in the native build it is UTF-8.
#pragma once

#include <cstddef>
#include <string>

// Returns the text in the ANSI code page; characters it cannot hold become '?'.
std::string WideToAnsi(const std::wstring& text);
// Returns the wide form of ANSI text; invalid bytes become U+FFFD.
std::wstring AnsiToWide(const std::string& text);

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// Converts UTF-8 bytes to the ANSI code page. Returns false (and leaves out
// empty) when the bytes cannot be converted.
bool Utf8ToAnsi(const char* bytes, size_t length, std::string& out);
// Converts ANSI bytes to UTF-8. Returns false (and leaves out empty) on failure.
bool AnsiToUtf8(const char* bytes, size_t length, std::string& out);

// Builds the bytes of INI files in each encoding the reader accepts, the same
// whatever the size of wchar_t.
#pragma once

#include <string>

// A byte-order mark FF FE, then each UTF-16 unit low byte first.
inline std::string Utf16LeFile(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// A byte-order mark EF BB BF, then the UTF-8 text.
inline std::string Utf8File(const std::string& utf8) { return "\xEF\xBB\xBF" + utf8; }

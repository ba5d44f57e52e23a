// Reading a crash dump file back: the minidump and its text trailer.
#pragma once

#include <cstdint>
#include <string>

// The trailer text (without its zero byte) that the last 4 bytes of the dump
// file locate; false when they locate none.
inline bool ReadDumpTrailer(const std::string& file, std::string& text) {
    if (file.size() < 4) return false;
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(file[file.size() - 4 + i]);
    if (length < 5 || length > file.size()) return false;
    const std::string trailer = file.substr(file.size() - length, length - 4);
    if (trailer.back() != '\0') return false;
    text = trailer.substr(0, trailer.size() - 1);
    return true;
}

// The minidump part of the file: everything before the trailer.
inline std::string DumpPart(const std::string& file, const std::string& trailerText) {
    const size_t tail = trailerText.size() + 1 + 4;
    return file.size() < tail ? std::string() : file.substr(0, file.size() - tail);
}

// Test data that is the same on every platform and every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

// size bytes from the Mersenne Twister, whose sequence the C++ standard fixes.
inline std::string PatternBytes(size_t size, uint32_t seed = 1321) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// size bytes of text that compresses well.
inline std::string CompressibleBytes(size_t size) {
    static const char kLine[] = "[MAIN_V3]\r\nJob_1=dlfl;ZOLTAMeeting.exe;1024;0;ZF7Z;;;MD5;0123456789ABCDEF\r\n";
    std::string bytes;
    bytes.reserve(size);
    for (size_t i = 0; bytes.size() < size; ++i) bytes += kLine[i % (sizeof kLine - 1)];
    return bytes;
}

#include "util/base64.h"

#include <cstdint>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kPad = '=';

// Returns the 6-bit value of c, 0 for the padding character, or -1 for any other character.
int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == kPad) return 0;
    return -1;
}

uint32_t ByteAt(const std::string& bytes, size_t index) {
    return index < bytes.size() ? static_cast<uint8_t>(bytes[index]) : 0u;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t group = (ByteAt(bytes, i) << 16) | (ByteAt(bytes, i + 1) << 8) | ByteAt(bytes, i + 2);
        const size_t present = bytes.size() - i;
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += present > 1 ? kAlphabet[(group >> 6) & 63] : kPad;
        text += present > 2 ? kAlphabet[group & 63] : kPad;
    }
    return text;
}

bool Base64Decode(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0) return false;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int sextet = SextetOf(text[i + k]);
            if (sextet < 0) {
                bytes.clear();
                return false;
            }
            group = (group << 6) | static_cast<uint32_t>(sextet);
        }
        bytes += static_cast<char>(group >> 16);
        if (text[i + 2] == kPad) continue;
        bytes += static_cast<char>((group >> 8) & 0xFF);
        if (text[i + 3] == kPad) continue;
        bytes += static_cast<char>(group & 0xFF);
    }
    return true;
}

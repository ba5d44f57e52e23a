#include "util/utf8.h"

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= n) { ok = false; break; }
            unsigned char cb = static_cast<unsigned char>(text[i + k]);
            if ((cb >> 6) != 2) { ok = false; break; }
            c = (c << 6) | (cb & 0x3F);
        }
        // Longer forms than needed (a second spelling of ASCII among them),
        // surrogates and values past U+10FFFF are invalid as well.
        static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

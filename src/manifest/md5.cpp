#include "manifest/md5.h"

#include "util/binary_file.h"

std::wstring Md5DigestText(const Md5Digest& digest) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool FileMd5Text(const std::wstring& path, std::wstring& hex) {
    hex.clear();
    UniqueFileStream file = OpenForBinaryRead(path);
    if (!file) return false;
    CMd5Hasher hasher;
    // The manifest check reads every file it cannot trust by size and time;
    // a small buffer keeps that cheap in memory.
    char buffer[1024];
    for (;;) {
        const size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        if (count > 0 && !hasher.Update(buffer, count)) return false;
        if (count < sizeof buffer) break;
    }
    if (std::ferror(file.get())) return false;
    Md5Digest digest;
    if (!hasher.Finish(digest)) return false;
    hex = Md5DigestText(digest);
    return true;
}

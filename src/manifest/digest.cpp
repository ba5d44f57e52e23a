#include "manifest/digest.h"

#include "util/binary_file.h"

std::wstring DigestText(const DigestBytes& digest) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool BytesDigest(DigestKind kind, const void* data, size_t size, DigestBytes& digest) {
    digest.clear();
    CDigestHasher hasher(kind);
    return hasher.Update(data, size) && hasher.Finish(digest);
}

bool FileDigest(DigestKind kind, const std::wstring& path, DigestBytes& digest) {
    digest.clear();
    UniqueFileStream file = OpenForBinaryRead(path);
    if (!file) return false;
    CDigestHasher hasher(kind);
    // The manifest check reads every file it cannot trust by size and time;
    // a small buffer keeps that cheap in memory.
    char buffer[1024];
    for (;;) {
        const size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        if (count > 0 && !hasher.Update(buffer, count)) return false;
        if (count < sizeof buffer) break;
    }
    if (std::ferror(file.get())) return false;
    return hasher.Finish(digest);
}

bool FileDigestText(DigestKind kind, const std::wstring& path, std::wstring& hex) {
    hex.clear();
    DigestBytes digest;
    if (!FileDigest(kind, path, digest)) return false;
    hex = DigestText(digest);
    return true;
}

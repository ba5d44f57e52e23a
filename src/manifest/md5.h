// MD5 digests (RFC 1321) of files, the check value that manifest entries of
// kind "MD5" carry. The digest itself comes from the system's cryptography:
// CryptoAPI on Windows, OpenSSL's libcrypto in the native build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using Md5Digest = std::array<uint8_t, 16>;

// An MD5 computation fed piece by piece.
// Threading: one object belongs to one thread at a time; separate objects may
// be used on separate threads at once.
class CMd5Hasher {
public:
    CMd5Hasher();
    ~CMd5Hasher();
    CMd5Hasher(const CMd5Hasher&) = delete;
    CMd5Hasher& operator=(const CMd5Hasher&) = delete;

    // Adds size bytes at data. Returns false when the system's hash could not
    // be set up or fails, or after Finish; the hasher then stays failed.
    bool Update(const void* data, size_t size);
    // Writes the digest of everything added. Returns false, digest untouched,
    // when an earlier step failed or Finish was already called.
    bool Finish(Md5Digest& digest);

private:
    struct State;  // the platform's hash handle
    std::unique_ptr<State> state_;
};

// The digest as 32 hexadecimal digits, two per byte in byte order, high
// nibble first, letters upper case.
std::wstring Md5DigestText(const Md5Digest& digest);

// Hashes the file at path, read in 1024-byte pieces, and sets hex to its
// digest text. Returns false, hex empty, when the file cannot be opened or
// read or the hash fails. Any thread may call it.
bool FileMd5Text(const std::wstring& path, std::wstring& hex);

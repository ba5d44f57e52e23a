// Digests of files and bytes: MD5 (RFC 1321) and SHA-256 (FIPS 180-4), the
// check values that manifest entries of kinds "MD5" and "SHA256" carry, and
// SHA-256 also the hash that release signatures sign. The digests come from
// the system's cryptography: CNG on Windows, OpenSSL's libcrypto in the
// native build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum DigestKind {
    DIGEST_MD5,     // 16 bytes
    DIGEST_SHA256,  // 32 bytes
};

using DigestBytes = std::vector<uint8_t>;

// A digest computation fed piece by piece.
// Threading: one object belongs to one thread at a time; separate objects may
// be used on separate threads at once.
class CDigestHasher {
public:
    explicit CDigestHasher(DigestKind kind);
    ~CDigestHasher();
    CDigestHasher(const CDigestHasher&) = delete;
    CDigestHasher& operator=(const CDigestHasher&) = delete;

    // Adds size bytes at data. Returns false when the system's hash could not
    // be set up or fails, or after Finish; the hasher then stays failed.
    bool Update(const void* data, size_t size);
    // Sets digest to the digest of everything added (16 bytes for MD5, 32 for
    // SHA-256). Returns false, digest untouched, when an earlier step failed
    // or Finish was already called.
    bool Finish(DigestBytes& digest);

private:
    struct State;  // the platform's hash handle
    std::unique_ptr<State> state_;
};

// The digest as hexadecimal digits, two per byte in byte order, high nibble
// first, letters upper case.
std::wstring DigestText(const DigestBytes& digest);

// Sets digest to the digest of size bytes at data. Returns false, digest
// empty, when the hash fails. Any thread may call it.
bool BytesDigest(DigestKind kind, const void* data, size_t size, DigestBytes& digest);
// Hashes the file at path, read in 1024-byte pieces, and sets digest to its
// digest. Returns false, digest empty, when the file cannot be opened or read
// or the hash fails. Any thread may call it.
bool FileDigest(DigestKind kind, const std::wstring& path, DigestBytes& digest);
// FileDigest as text (DigestText); hex is empty when it fails.
bool FileDigestText(DigestKind kind, const std::wstring& path, std::wstring& hex);

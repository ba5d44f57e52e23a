#include "manifest/cng_win.h"

#include <cstring>
#include <vector>

namespace {

const ULONG kCoordinateBytes = 32;

}  // namespace

bool UseP256Key(const uint8_t* point, const uint8_t* scalar, const std::function<bool(BCRYPT_KEY_HANDLE)>& use) {
    if (point[0] != 0x04) return false;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!CngSucceeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    // CNG takes X, Y and, for a private key, d behind a small header.
    const bool isPrivate = scalar != nullptr;
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + (isPrivate ? 3 : 2) * kCoordinateBytes);
    const ULONG magic = isPrivate ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    const BCRYPT_ECCKEY_BLOB header = {magic, kCoordinateBytes};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, point + 1, 2 * kCoordinateBytes);
    if (isPrivate) std::memcpy(blob.data() + sizeof header + 2 * kCoordinateBytes, scalar, kCoordinateBytes);
    BCRYPT_KEY_HANDLE key = nullptr;
    bool result = false;
    const wchar_t* const blobType = isPrivate ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB;
    if (CngSucceeded(BCryptImportKeyPair(algorithm, nullptr, blobType, &key, blob.data(),
                                         static_cast<ULONG>(blob.size()), 0))) {
        result = use(key);
        BCryptDestroyKey(key);
    }
    SecureZeroMemory(blob.data(), blob.size());
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return result;
}

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "manifest/ecdsa_p256.h"

namespace {

const ULONG kCoordinateBytes = 32;
const size_t kSha256Bytes = 32;

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

bool VerifyP256Signature(const P256PublicKey& key, const DigestBytes& sha256, const P256Signature& signature) {
    if (sha256.size() != kSha256Bytes || key[0] != 0x04) return false;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    // CNG takes the point as X and Y behind a small header; the system checks
    // that it lies on the curve.
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinateBytes);
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateBytes};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data() + 1, 2 * kCoordinateBytes);
    BCRYPT_KEY_HANDLE publicKey = nullptr;
    bool valid = false;
    if (Succeeded(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &publicKey, blob.data(),
                                      static_cast<ULONG>(blob.size()), 0))) {
        P256Signature rs = signature;
        valid = Succeeded(BCryptVerifySignature(publicKey, nullptr, const_cast<PUCHAR>(sha256.data()),
                                                static_cast<ULONG>(sha256.size()), rs.data(),
                                                static_cast<ULONG>(rs.size()), 0));
        BCryptDestroyKey(publicKey);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return valid;
}

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "manifest/digest.h"
#include "publish/private_key_pem.h"
#include "publish/release_signer.h"

namespace {

const ULONG kCoordinateBytes = 32;

bool Succeeded(NTSTATUS status) { return status >= 0; }

// Signs the SHA-256 digest with the key; false when CNG refuses the key or the signing.
bool SignDigest(const SP256PrivateKey& key, DigestBytes& digest, P256Signature& signature) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    // CNG takes X, Y and d behind a small header.
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kCoordinateBytes);
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PRIVATE_P256_MAGIC, kCoordinateBytes};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.point.data() + 1, 2 * kCoordinateBytes);
    std::memcpy(blob.data() + sizeof header + 2 * kCoordinateBytes, key.scalar.data(), kCoordinateBytes);
    BCRYPT_KEY_HANDLE privateKey = nullptr;
    bool signedDigest = false;
    if (Succeeded(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &privateKey, blob.data(),
                                      static_cast<ULONG>(blob.size()), 0))) {
        ULONG written = 0;
        signedDigest = Succeeded(BCryptSignHash(privateKey, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                                signature.data(), static_cast<ULONG>(signature.size()), &written, 0)) &&
                       written == signature.size();
        BCryptDestroyKey(privateKey);
    }
    SecureZeroMemory(blob.data(), blob.size());
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return signedDigest;
}

}  // namespace

PemSigningResult SignWithPemKey(const std::string& pem, const std::string& bytes, std::string& signature) {
    SP256PrivateKey key;
    if (!ParseP256PrivateKeyPem(pem, key)) return PEM_NO_P256_KEY;
    CDigestHasher hasher(DIGEST_SHA256);
    DigestBytes digest;
    P256Signature rs;
    const bool ok = hasher.Update(bytes.data(), bytes.size()) && hasher.Finish(digest) && SignDigest(key, digest, rs);
    SecureZeroMemory(key.scalar.data(), key.scalar.size());
    if (!ok) return PEM_SIGNING_FAILED;
    signature = DerSignatureOf(rs);
    return PEM_SIGNED;
}

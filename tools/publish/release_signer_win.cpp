#include "manifest/cng_win.h"
#include "manifest/digest.h"
#include "publish/private_key_pem.h"
#include "publish/release_signer.h"

namespace {

// Signs the SHA-256 digest with the key; false when CNG refuses the key or the signing.
bool SignDigest(const SP256PrivateKey& key, DigestBytes& digest, P256Signature& signature) {
    return UseP256Key(key.point.data(), key.scalar.data(), [&](BCRYPT_KEY_HANDLE privateKey) {
        ULONG written = 0;
        return CngSucceeded(BCryptSignHash(privateKey, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                           signature.data(), static_cast<ULONG>(signature.size()), &written, 0)) &&
               written == signature.size();
    });
}

}  // namespace

PemSigningResult SignWithPemKey(const std::string& pem, const std::string& bytes, std::string& signature) {
    SP256PrivateKey key;
    if (!ParseP256PrivateKeyPem(pem, key)) return PEM_NO_P256_KEY;
    DigestBytes digest;
    P256Signature rs;
    const bool ok = BytesDigest(DIGEST_SHA256, bytes.data(), bytes.size(), digest) && SignDigest(key, digest, rs);
    SecureZeroMemory(key.scalar.data(), key.scalar.size());
    if (!ok) return PEM_SIGNING_FAILED;
    signature = DerSignatureOf(rs);
    return PEM_SIGNED;
}

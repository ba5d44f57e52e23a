#include "manifest/cng_win.h"
#include "manifest/ecdsa_p256.h"

namespace {

const size_t kSha256Bytes = 32;

}  // namespace

bool VerifyP256Signature(const P256PublicKey& key, const DigestBytes& sha256, const P256Signature& signature) {
    if (sha256.size() != kSha256Bytes) return false;
    // The system checks that the point lies on the curve.
    return UseP256Key(key.data(), nullptr, [&](BCRYPT_KEY_HANDLE publicKey) {
        P256Signature rs = signature;
        return CngSucceeded(BCryptVerifySignature(publicKey, nullptr, const_cast<PUCHAR>(sha256.data()),
                                                  static_cast<ULONG>(sha256.size()), rs.data(),
                                                  static_cast<ULONG>(rs.size()), 0));
    });
}

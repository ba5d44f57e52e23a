#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "manifest/ecdsa_p256.h"

namespace {

const size_t kSha256Bytes = 32;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};

}  // namespace

bool VerifyP256Signature(const P256PublicKey& key, const DigestBytes& sha256, const P256Signature& signature) {
    if (sha256.size() != kSha256Bytes) return false;
    // libcrypto reads the key in the form a key file holds and checks that
    // its point lies on the curve.
    const std::string keyInfo = PublicKeyInfoDer(key);
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(keyInfo.data());
    std::unique_ptr<EVP_PKEY, KeyFree> publicKey(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(keyInfo.size())));
    if (!publicKey) return false;
    std::unique_ptr<EVP_PKEY_CTX, ContextFree> context(EVP_PKEY_CTX_new(publicKey.get(), nullptr));
    const std::string der = DerSignatureOf(signature);
    return context && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) == 1 &&
           EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                           sha256.data(), sha256.size()) == 1;
}

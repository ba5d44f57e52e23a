#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <memory>

#include "publish/release_signer.h"

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Refuses to ask for a pass phrase: an encrypted key fails to load.
int NoPassphrase(char*, int, int, void*) { return 0; }

bool IsP256Key(EVP_PKEY* key) {
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") && EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

}  // namespace

PemSigningResult SignWithPemKey(const std::string& pem, const std::string& bytes, std::string& signature) {
    std::unique_ptr<BIO, BioFree> input(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    std::unique_ptr<EVP_PKEY, KeyFree> key(
        input ? PEM_read_bio_PrivateKey(input.get(), nullptr, NoPassphrase, nullptr) : nullptr);
    if (!key || !IsP256Key(key.get())) return PEM_NO_P256_KEY;
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, data, bytes.size()) != 1) {
        return PEM_SIGNING_FAILED;
    }
    signature.assign(length, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&signature[0]), &length, data, bytes.size()) !=
        1) {
        return PEM_SIGNING_FAILED;
    }
    signature.resize(length);
    return PEM_SIGNED;
}

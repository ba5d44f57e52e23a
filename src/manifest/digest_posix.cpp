#include <openssl/evp.h>

#include "manifest/digest.h"

struct CDigestHasher::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
    bool finished = false;
};

CDigestHasher::CDigestHasher(DigestKind kind) : state_(new State) {
    const EVP_MD* algorithm = kind == DIGEST_SHA256 ? EVP_sha256() : EVP_md5();
    state_->context = EVP_MD_CTX_new();
    state_->failed = !state_->context || EVP_DigestInit_ex(state_->context, algorithm, nullptr) != 1;
}

CDigestHasher::~CDigestHasher() { EVP_MD_CTX_free(state_->context); }

bool CDigestHasher::Update(const void* data, size_t size) {
    if (state_->failed || state_->finished) return false;
    if (EVP_DigestUpdate(state_->context, data, size) != 1) state_->failed = true;
    return !state_->failed;
}

bool CDigestHasher::Finish(DigestBytes& digest) {
    if (state_->failed || state_->finished) return false;
    state_->finished = true;
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, bytes, &length) != 1) {
        state_->failed = true;
        return false;
    }
    digest.assign(bytes, bytes + length);
    return true;
}

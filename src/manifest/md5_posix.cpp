#include <openssl/evp.h>

#include <algorithm>

#include "manifest/md5.h"

struct CMd5Hasher::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
    bool finished = false;
};

CMd5Hasher::CMd5Hasher() : state_(new State) {
    state_->context = EVP_MD_CTX_new();
    state_->failed = !state_->context || EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) != 1;
}

CMd5Hasher::~CMd5Hasher() { EVP_MD_CTX_free(state_->context); }

bool CMd5Hasher::Update(const void* data, size_t size) {
    if (state_->failed || state_->finished) return false;
    if (EVP_DigestUpdate(state_->context, data, size) != 1) state_->failed = true;
    return !state_->failed;
}

bool CMd5Hasher::Finish(Md5Digest& digest) {
    if (state_->failed || state_->finished) return false;
    state_->finished = true;
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, bytes, &length) != 1 || length != digest.size()) {
        state_->failed = true;
        return false;
    }
    std::copy(bytes, bytes + digest.size(), digest.begin());
    return true;
}

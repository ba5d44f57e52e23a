#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

#include "manifest/md5.h"

struct CMd5Hasher::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool failed = false;
    bool finished = false;
};

CMd5Hasher::CMd5Hasher() : state_(new State) {
    // A verify-only context needs no key container, so it works for any user.
    state_->failed = !CryptAcquireContextW(&state_->provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
                     !CryptCreateHash(state_->provider, CALG_MD5, 0, 0, &state_->hash);
}

CMd5Hasher::~CMd5Hasher() {
    if (state_->hash) CryptDestroyHash(state_->hash);
    if (state_->provider) CryptReleaseContext(state_->provider, 0);
}

bool CMd5Hasher::Update(const void* data, size_t size) {
    if (state_->failed || state_->finished) return false;
    // CryptHashData takes a 32-bit length.
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 0x40000000));
        if (!CryptHashData(state_->hash, bytes, piece, 0)) {
            state_->failed = true;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool CMd5Hasher::Finish(Md5Digest& digest) {
    if (state_->failed || state_->finished) return false;
    state_->finished = true;
    BYTE bytes[16];
    DWORD length = sizeof bytes;
    if (!CryptGetHashParam(state_->hash, HP_HASHVAL, bytes, &length, 0) || length != digest.size()) {
        state_->failed = true;
        return false;
    }
    std::copy(bytes, bytes + digest.size(), digest.begin());
    return true;
}

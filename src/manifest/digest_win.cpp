#include <algorithm>

#include "manifest/cng_win.h"
#include "manifest/digest.h"

// CNG's create, hash and finish calls: the one-call BCryptHash is missing
// on Windows 7.
struct CDigestHasher::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ULONG length = 0;
    bool failed = false;
    bool finished = false;
};

CDigestHasher::CDigestHasher(DigestKind kind) : state_(new State) {
    const wchar_t* name = kind == DIGEST_SHA256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM;
    ULONG got = 0;
    state_->failed =
        !CngSucceeded(BCryptOpenAlgorithmProvider(&state_->algorithm, name, nullptr, 0)) ||
        !CngSucceeded(BCryptGetProperty(state_->algorithm, BCRYPT_HASH_LENGTH,
                                        reinterpret_cast<PUCHAR>(&state_->length), sizeof state_->length, &got, 0)) ||
        !CngSucceeded(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

CDigestHasher::~CDigestHasher() {
    if (state_->hash) BCryptDestroyHash(state_->hash);
    if (state_->algorithm) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

bool CDigestHasher::Update(const void* data, size_t size) {
    if (state_->failed || state_->finished) return false;
    // BCryptHashData takes a 32-bit length.
    const UCHAR* bytes = static_cast<const UCHAR*>(data);
    while (size > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(size, 0x40000000));
        if (!CngSucceeded(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), piece, 0))) {
            state_->failed = true;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool CDigestHasher::Finish(DigestBytes& digest) {
    if (state_->failed || state_->finished) return false;
    state_->finished = true;
    DigestBytes bytes(state_->length);
    if (!CngSucceeded(BCryptFinishHash(state_->hash, bytes.data(), state_->length, 0))) {
        state_->failed = true;
        return false;
    }
    digest.swap(bytes);
    return true;
}

// A signature file as a file server delivers it beside a manifest: read as
// DER and verified, as the updater does, against the release keys built in;
// the same bytes also as a PEM key and as a curve point, which reach the
// system's key checks. Only strict DER is a signature, and a signature
// verifies for the manifest it was made for, never for other bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "launcher/release_keys.h"
#include "manifest/release_signature.h"

namespace {

// The manifest of the seeds, whose signature by the test key is a seed.
const char kManifest[] = "[VER]\r\nVer=2.0.0.1\r\n";

DigestBytes Sha256Of(const std::string& bytes) {
    DigestBytes digest;
    FUZZ_CHECK(BytesDigest(DIGEST_SHA256, bytes.data(), bytes.size(), digest) && digest.size() == 32);
    return digest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<P256PublicKey> keys = ParseReleaseKeys(EmbeddedReleaseKeys());
    static const DigestBytes manifest = Sha256Of(kManifest);
    static const DigestBytes other = Sha256Of(std::string(kManifest) + " ");
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    P256Signature signature;
    const bool parsed = ParseDerSignature(data, size, signature);
    // Strict DER has one encoding per signature.
    if (parsed) FUZZ_CHECK(DerSignatureOf(signature) == bytes);
    std::string reason;
    const bool valid = VerifySignatureBytes(manifest, bytes, keys, reason);
    FUZZ_CHECK(valid || !reason.empty());
    FUZZ_CHECK(!valid || (parsed && size <= kMaxDerSignatureBytes));
    if (parsed) FUZZ_CHECK(!VerifySignatureBytes(other, bytes, keys, reason));

    P256PublicKey key;
    if (ParsePublicKeyPem(bytes, key)) {
        FUZZ_CHECK(key[0] == 0x04 && PublicKeyInfoDer(key).size() == 91);
    }
    // Any 64 bytes as a point: the system refuses points off the curve.
    if (size >= 64) {
        key[0] = 0x04;
        std::memcpy(key.data() + 1, data, 64);
        const bool held = std::find(keys.begin(), keys.end(), key) != keys.end();
        const bool verifies = parsed && VerifyP256Signature(key, manifest, signature);
        FUZZ_CHECK(held || !verifies);
    }
    return 0;
}

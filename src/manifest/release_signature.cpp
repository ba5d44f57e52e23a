#include "manifest/release_signature.h"

#include <cstdio>

#include "util/binary_file.h"
#include "util/file_util.h"

std::wstring SignatureFileName(const std::wstring& manifestName) { return manifestName + L".sig"; }

std::vector<P256PublicKey> ParseReleaseKeys(const std::vector<std::string>& pemKeys) {
    std::vector<P256PublicKey> keys;
    for (const std::string& pem : pemKeys) {
        P256PublicKey key;
        if (ParsePublicKeyPem(pem, key)) keys.push_back(key);
    }
    return keys;
}

bool VerifySignatureBytes(const DigestBytes& sha256, const std::string& signatureFile,
                          const std::vector<P256PublicKey>& keys, std::string& reason) {
    P256Signature signature;
    if (signatureFile.size() > kMaxDerSignatureBytes ||
        !ParseDerSignature(reinterpret_cast<const uint8_t*>(signatureFile.data()), signatureFile.size(),
                           signature)) {
        reason = "malformed signature (" + std::to_string(signatureFile.size()) + " bytes, no DER ECDSA signature)";
        return false;
    }
    for (const P256PublicKey& key : keys) {
        if (VerifyP256Signature(key, sha256, signature)) return true;
    }
    reason = "wrong signature (made by no key this updater holds, or over other bytes)";
    return false;
}

bool VerifyManifestSignature(const std::wstring& manifestPath, const std::wstring& signaturePath,
                             const std::vector<std::string>& pemKeys, std::string& reason) {
    const std::vector<P256PublicKey> keys = ParseReleaseKeys(pemKeys);
    if (keys.empty()) {
        reason = "no usable release key in this updater";
        return false;
    }
    if (!FileExists(signaturePath)) {
        reason = "no signature file";
        return false;
    }
    UniqueFileStream file = OpenForBinaryRead(signaturePath);
    // One byte more than a signature takes tells a longer file from a signature.
    std::string signature(kMaxDerSignatureBytes + 1, '\0');
    const size_t got = file ? std::fread(&signature[0], 1, signature.size(), file.get()) : 0;
    if (!file || std::ferror(file.get())) {
        reason = "the signature file cannot be read";
        return false;
    }
    signature.resize(got);
    DigestBytes digest;
    if (!FileDigest(DIGEST_SHA256, manifestPath, digest)) {
        reason = "the manifest cannot be read";
        return false;
    }
    return VerifySignatureBytes(digest, signature, keys, reason);
}

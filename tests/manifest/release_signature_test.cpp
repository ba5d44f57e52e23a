// Release signatures: a signature that openssl made with the test key
// verifies with the system's cryptography of each build, and nothing else
// does: other bytes, other keys, malformed or missing signature files.
#include "manifest/release_signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_keys.h"

namespace {

const char kManifest[] = "[VER]\r\nVer=2.0.0.1\r\n";
// openssl dgst -sha256 -sign keys/release-test.pem of kManifest; its s takes 33 bytes.
const char kOpensslSignatureHex[] =
    "3045022021f91b6b6c577adcd7393929a656e6b6f9261e2701dc9d7825b47c1df7e38b41022100cd0200c1b0220b191d72dc30dce01c86"
    "df97dc64678db6aed82b192961f8032d";

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

DigestBytes Sha256Of(const std::string& bytes) {
    DigestBytes digest;
    EXPECT_TRUE(BytesDigest(DIGEST_SHA256, bytes.data(), bytes.size(), digest));
    return digest;
}

std::vector<P256PublicKey> TestKeys() {
    const std::vector<P256PublicKey> keys = ParseReleaseKeys({kTestReleasePublicKey});
    EXPECT_EQ(keys.size(), 1u);
    return keys;
}

}  // namespace

TEST(ReleaseSignature, OpensslSignatureOfTheExactBytesVerifies) {
    std::string reason;
    const std::string signature = FromHex(kOpensslSignatureHex);
    EXPECT_TRUE(VerifySignatureBytes(Sha256Of(kManifest), signature, TestKeys(), reason)) << reason;

    std::string changed = kManifest;
    changed[8] ^= 1;
    EXPECT_FALSE(VerifySignatureBytes(Sha256Of(changed), signature, TestKeys(), reason));
    EXPECT_EQ(reason.compare(0, 15, "wrong signature"), 0) << reason;
    std::string flipped = signature;
    flipped[20] ^= 0x40;
    EXPECT_FALSE(VerifySignatureBytes(Sha256Of(kManifest), flipped, TestKeys(), reason));
}

TEST(ReleaseSignature, AnyOfSeveralKeysMayVerify) {
    P256PublicKey unrelated = TestKeys()[0];
    unrelated[64] ^= 1;  // no longer a point of the curve
    std::string reason;
    EXPECT_TRUE(VerifySignatureBytes(Sha256Of(kManifest), FromHex(kOpensslSignatureHex),
                                     {unrelated, TestKeys()[0]}, reason));
    EXPECT_FALSE(VerifySignatureBytes(Sha256Of(kManifest), FromHex(kOpensslSignatureHex), {unrelated}, reason));
}

TEST(ReleaseSignature, OnlyStrictDerIsASignature) {
    const std::string good = FromHex(kOpensslSignatureHex);
    P256Signature parsed;
    ASSERT_TRUE(ParseDerSignature(reinterpret_cast<const uint8_t*>(good.data()), good.size(), parsed));
    EXPECT_EQ(DerSignatureOf(parsed), good);

    std::string longForm = good;
    longForm.replace(0, 2, std::string("\x30\x81\x45", 3));
    std::string padded = good;  // r with a needless leading zero
    padded.replace(2, 2, std::string("\x02\x21\x00", 3));
    padded[1] = 0x46;
    std::string zero = FromHex("3006020100020101");
    std::string negative = FromHex("3006020181020101");
    const std::vector<std::string> bad = {"", good.substr(0, good.size() - 1), good + '\0', longForm, padded,
                                          zero, negative, std::string(80, '\x30'), "-----BEGIN"};
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(bytes.size());
        EXPECT_FALSE(ParseDerSignature(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), parsed));
        std::string reason;
        EXPECT_FALSE(VerifySignatureBytes(Sha256Of(kManifest), bytes, TestKeys(), reason));
        EXPECT_EQ(reason.compare(0, 19, "malformed signature"), 0) << reason;
    }
}

TEST(ReleaseSignature, KeysAreP256PublicKeysInPem) {
    P256PublicKey key;
    EXPECT_TRUE(ParsePublicKeyPem(kTestReleasePublicKey, key));
    EXPECT_EQ(key[0], 0x04);
    EXPECT_FALSE(ParsePublicKeyPem(kTestReleasePrivateKey, key));
    EXPECT_FALSE(ParsePublicKeyPem("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n", key));
    EXPECT_TRUE(ParseReleaseKeys({"", kTestReleasePrivateKey}).empty());
}

TEST(ReleaseSignature, FilesBesideTheManifest) {
    ScopedTempDir dir;
    dir.Write("UpdateInfo.ini", kManifest);
    const std::wstring manifest = dir.WinPath() + L"UpdateInfo.ini";
    const std::wstring signature = SignatureFileName(manifest);
    EXPECT_EQ(signature, dir.WinPath() + L"UpdateInfo.ini.sig");
    std::string reason;
    EXPECT_FALSE(VerifyManifestSignature(manifest, signature, {kTestReleasePublicKey}, reason));
    EXPECT_EQ(reason, "no signature file");

    dir.Write("UpdateInfo.ini.sig", FromHex(kOpensslSignatureHex));
    EXPECT_TRUE(VerifyManifestSignature(manifest, signature, {kTestReleasePublicKey}, reason)) << reason;
    EXPECT_FALSE(VerifyManifestSignature(manifest, signature, {}, reason));
    EXPECT_EQ(reason, "no usable release key in this updater");

    // A long file is read no further than a signature reaches.
    dir.Write("UpdateInfo.ini.sig", FromHex(kOpensslSignatureHex) + std::string(1 << 20, 'x'));
    EXPECT_FALSE(VerifyManifestSignature(manifest, signature, {kTestReleasePublicKey}, reason));
    EXPECT_EQ(reason.compare(0, 23, "malformed signature (73"), 0) << reason;
}

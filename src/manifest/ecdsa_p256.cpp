#include "manifest/ecdsa_p256.h"

#include <algorithm>
#include <cstring>

#include "manifest/der_reader.h"
#include "util/base64.h"

namespace {

const size_t kScalarBytes = 32;

// SubjectPublicKeyInfo of a P-256 key up to its point: SEQUENCE { SEQUENCE {
// id-ecPublicKey, prime256v1 }, BIT STRING with no unused bits }.
const uint8_t kP256KeyInfoPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D,
                                      0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01,
                                      0x07, 0x03, 0x42, 0x00};
const uint8_t kUncompressedPoint = 0x04;

// The INTEGER of a 32-byte big-endian number, in its shortest form.
std::string DerInteger(const uint8_t* number) {
    size_t skip = 0;
    while (skip + 1 < kScalarBytes && number[skip] == 0) ++skip;
    std::string value;
    if (number[skip] & 0x80) value += '\0';
    value.append(reinterpret_cast<const char*>(number + skip), kScalarBytes - skip);
    return std::string{static_cast<char>(kDerInteger), static_cast<char>(value.size())} + value;
}

}  // namespace

bool ParseDerSignature(const uint8_t* der, size_t size, P256Signature& signature) {
    CDerReader whole(der, size);
    CDerReader sequence;
    if (!whole.Read(kDerSequence, sequence) || !whole.AtEnd()) return false;
    P256Signature parsed;
    if (!ReadDerUnsigned(sequence, kScalarBytes, parsed.data()) ||
        !ReadDerUnsigned(sequence, kScalarBytes, parsed.data() + kScalarBytes) || !sequence.AtEnd()) {
        return false;
    }
    signature = parsed;
    return true;
}

std::string DerSignatureOf(const P256Signature& signature) {
    const std::string body = DerInteger(signature.data()) + DerInteger(signature.data() + kScalarBytes);
    return std::string{static_cast<char>(kDerSequence), static_cast<char>(body.size())} + body;
}

bool PemBlockBody(const std::string& pem, const std::string& label, std::string& der) {
    der.clear();
    const std::string begin = "-----BEGIN " + label + "-----";
    const std::string end = "-----END " + label + "-----";
    const size_t first = pem.find(begin);
    if (first == std::string::npos) return false;
    const size_t bodyStart = first + begin.size();
    const size_t last = pem.find(end, bodyStart);
    if (last == std::string::npos) return false;
    std::string body;
    for (size_t i = bodyStart; i < last; ++i) {
        if (pem[i] != '\r' && pem[i] != '\n' && pem[i] != ' ' && pem[i] != '\t') body += pem[i];
    }
    return Base64Decode(body, der);
}

std::string PublicKeyInfoDer(const P256PublicKey& key) {
    std::string der(reinterpret_cast<const char*>(kP256KeyInfoPrefix), sizeof kP256KeyInfoPrefix);
    der.append(reinterpret_cast<const char*>(key.data()), key.size());
    return der;
}

bool ParsePublicKeyPem(const std::string& pem, P256PublicKey& key) {
    std::string der;
    if (!PemBlockBody(pem, "PUBLIC KEY", der)) return false;
    const size_t prefix = sizeof kP256KeyInfoPrefix;
    if (der.size() != prefix + key.size() || std::memcmp(der.data(), kP256KeyInfoPrefix, prefix) != 0 ||
        static_cast<uint8_t>(der[prefix]) != kUncompressedPoint) {
        return false;
    }
    std::copy(der.begin() + prefix, der.end(), key.begin());
    return true;
}

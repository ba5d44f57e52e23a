#include "publish/private_key_pem.h"

#include <algorithm>
#include <cstring>

#include "manifest/der_reader.h"

namespace {

const uint8_t kEcPublicKeyOid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
const uint8_t kPrime256v1Oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

bool Holds(const CDerReader& contents, const uint8_t* bytes, size_t size) {
    return contents.Size() == size && std::memcmp(contents.Data(), bytes, size) == 0;
}

bool ReadVersion(CDerReader& reader, uint8_t version) {
    CDerReader value;
    return reader.Read(kDerInteger, value) && Holds(value, &version, 1);
}

bool ReadCurveOid(CDerReader& reader) {
    CDerReader oid;
    return reader.Read(kDerObjectId, oid) && Holds(oid, kPrime256v1Oid, sizeof kPrime256v1Oid);
}

// SEC 1 ECPrivateKey: version 1, the scalar, [0] the curve (optional), [1]
// the public point.
bool ParseEcPrivateKey(CDerReader whole, SP256PrivateKey& key) {
    CDerReader sequence;
    CDerReader scalar;
    if (!whole.Read(kDerSequence, sequence) || !whole.AtEnd() || !ReadVersion(sequence, 1) ||
        !sequence.Read(kDerOctetString, scalar) || scalar.Size() != key.scalar.size()) {
        return false;
    }
    CDerReader tagged;
    if (sequence.NextIs(kDerContext0) && (!sequence.Read(kDerContext0, tagged) || !ReadCurveOid(tagged))) return false;
    CDerReader bits;
    if (!sequence.Read(kDerContext1, tagged) || !tagged.Read(kDerBitString, bits) ||
        bits.Size() != 1 + key.point.size() || bits.Data()[0] != 0 || bits.Data()[1] != 0x04) {
        return false;
    }
    std::copy(scalar.Data(), scalar.Data() + key.scalar.size(), key.scalar.begin());
    std::copy(bits.Data() + 1, bits.Data() + bits.Size(), key.point.begin());
    return true;
}

// PKCS #8 PrivateKeyInfo: version 0, the algorithm (EC on P-256), and the
// SEC 1 key in an OCTET STRING.
bool ParsePrivateKeyInfo(CDerReader whole, SP256PrivateKey& key) {
    CDerReader sequence;
    CDerReader algorithm;
    CDerReader oid;
    CDerReader inner;
    return whole.Read(kDerSequence, sequence) && whole.AtEnd() && ReadVersion(sequence, 0) &&
           sequence.Read(kDerSequence, algorithm) && algorithm.Read(kDerObjectId, oid) &&
           Holds(oid, kEcPublicKeyOid, sizeof kEcPublicKeyOid) && ReadCurveOid(algorithm) && algorithm.AtEnd() &&
           sequence.Read(kDerOctetString, inner) && ParseEcPrivateKey(inner, key);
}

}  // namespace

bool ParseP256PrivateKeyPem(const std::string& pem, SP256PrivateKey& key) {
    std::string der;
    SP256PrivateKey parsed;
    auto reader = [&der] { return CDerReader(reinterpret_cast<const uint8_t*>(der.data()), der.size()); };
    const bool ok = (PemBlockBody(pem, "PRIVATE KEY", der) && ParsePrivateKeyInfo(reader(), parsed)) ||
                    (PemBlockBody(pem, "EC PRIVATE KEY", der) && ParseEcPrivateKey(reader(), parsed));
    if (ok) key = parsed;
    return ok;
}

// ECDSA over the curve P-256 (secp256r1, prime256v1) with SHA-256: the
// signatures of releases. Keys and signatures come in the forms that openssl
// reads and writes: public keys as PEM "PUBLIC KEY" (SubjectPublicKeyInfo),
// signatures in DER (a SEQUENCE of the INTEGERs r and s), as
// "openssl dgst -sha256 -sign" writes them. The verification itself is the
// system's: CNG on Windows, OpenSSL's libcrypto in the native build. Any
// thread may call these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "manifest/digest.h"

// A public key: the uncompressed point, 0x04 followed by X and Y.
using P256PublicKey = std::array<uint8_t, 65>;
// A signature: r and s, 32 bytes each, big-endian.
using P256Signature = std::array<uint8_t, 64>;

// The longest DER signature: a SEQUENCE of two 33-byte INTEGERs.
constexpr size_t kMaxDerSignatureBytes = 72;

// Reads a DER signature: exactly one SEQUENCE of two INTEGERs, each positive,
// in its shortest form and below 2^256, and nothing after it. Returns false,
// signature unchanged, for anything else.
bool ParseDerSignature(const uint8_t* der, size_t size, P256Signature& signature);
// The DER form of the signature; ParseDerSignature reads it back when
// neither r nor s is zero.
std::string DerSignatureOf(const P256Signature& signature);

// Reads a P-256 public key from PEM text: the first "PUBLIC KEY" block, whose
// Base64 body may be broken into lines. Returns false, key unchanged, when
// there is no such block, its body is no Base64, or it holds no P-256 key in
// uncompressed form.
bool ParsePublicKeyPem(const std::string& pem, P256PublicKey& key);
// The key's SubjectPublicKeyInfo in DER, as "openssl pkey -pubin -outform
// DER" writes it.
std::string PublicKeyInfoDer(const P256PublicKey& key);
// The body of the first PEM block with the label ("PUBLIC KEY", "EC PRIVATE
// KEY"...), decoded. Returns false, der empty, when there is no such block or
// its body is no Base64.
bool PemBlockBody(const std::string& pem, const std::string& label, std::string& der);

// True when signature is key's signature of the SHA-256 digest (32 bytes).
// False for any other digest length, a key that is no point of the curve, or
// a signature that does not verify.
bool VerifyP256Signature(const P256PublicKey& key, const DigestBytes& sha256, const P256Signature& signature);

// Signing a release's manifest (manifest/release_signature.h): the ECDSA
// P-256 signature of SHA-256 over the bytes, in DER, the same as
// "openssl dgst -sha256 -sign KEY -out FILE.sig FILE" writes. The key comes
// from a PEM file; the signing is the system's: OpenSSL's libcrypto in the
// native build, CNG on Windows. Any thread may call these.
#pragma once

#include <string>

// Signs bytes with the P-256 private key of the PEM file at keyPath and sets
// signature to the DER signature. Returns false, with error naming the
// cause, when the file cannot be read, holds no unencrypted P-256 private key
// or the signing fails.
bool SignReleaseBytes(const std::wstring& keyPath, const std::string& bytes, std::string& signature,
                      std::wstring& error);

// The system's half of SignReleaseBytes, on the key file's text.
enum PemSigningResult { PEM_SIGNED, PEM_NO_P256_KEY, PEM_SIGNING_FAILED };
PemSigningResult SignWithPemKey(const std::string& pem, const std::string& bytes, std::string& signature);

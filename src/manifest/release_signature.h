// The signature of a release: beside every manifest "UpdateInfo.ini.<version>"
// on the file servers lies "UpdateInfo.ini.<version>.sig", the ECDSA P-256
// signature (ecdsa_p256.h) of SHA-256 over the manifest's exact bytes in DER,
// as "openssl dgst -sha256 -sign KEY -out FILE.sig FILE" writes it. The
// updater holds the release keys' public halves and takes a manifest only
// when one of them verifies its signature. Any thread may call these; they
// keep no state.
#pragma once

#include <string>
#include <vector>

#include "manifest/digest.h"
#include "manifest/ecdsa_p256.h"

// The name of the signature file of a manifest file.
std::wstring SignatureFileName(const std::wstring& manifestName);

// The keys of PEM texts that hold a P-256 public key; texts that hold none
// are left out.
std::vector<P256PublicKey> ParseReleaseKeys(const std::vector<std::string>& pemKeys);

// Checks signatureFile, the bytes of a signature file, as the signature of
// the SHA-256 digest by one of keys. Returns true; or false and sets reason
// to a short text for the log: the file is too long or no DER signature, or
// no key verifies it.
bool VerifySignatureBytes(const DigestBytes& sha256, const std::string& signatureFile,
                          const std::vector<P256PublicKey>& keys, std::string& reason);

// Checks the signature file at signaturePath against the manifest at
// manifestPath and the keys (PEM texts). Reads at most one byte more of the
// signature file than a signature takes. Returns true; or false and sets
// reason to a short text for the log: no usable key, the signature file
// missing or unreadable, the manifest unreadable, or VerifySignatureBytes'
// reason.
bool VerifyManifestSignature(const std::wstring& manifestPath, const std::wstring& signaturePath,
                             const std::vector<std::string>& pemKeys, std::string& reason);

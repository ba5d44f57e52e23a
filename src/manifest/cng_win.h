// What the digests, the signature check and the publisher's signing share
// of CNG (bcrypt): the status test and a P-256 key imported for one use.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <functional>

inline bool CngSucceeded(NTSTATUS status) { return status >= 0; }

// Imports the P-256 key with the point (0x04, X, Y) and, when scalar is not
// null, the private number d (32 bytes, big-endian), and calls use with it.
// Returns what use returns; false when CNG refuses the key, which it does
// for a point off the curve. A private key's bytes are wiped afterwards.
bool UseP256Key(const uint8_t* point, const uint8_t* scalar, const std::function<bool(BCRYPT_KEY_HANDLE)>& use);

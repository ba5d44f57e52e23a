// Reading a P-256 private key from its PEM file, for signing with the
// system's cryptography where that cannot read key files itself (CNG). Takes
// the two forms openssl writes: "PRIVATE KEY" (PKCS #8, from genpkey) and
// "EC PRIVATE KEY" (SEC 1, from ecparam -genkey), unencrypted, with the
// public point included as openssl always writes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "manifest/ecdsa_p256.h"

struct SP256PrivateKey {
    std::array<uint8_t, 32> scalar{};  // d, big-endian
    P256PublicKey point{};             // 0x04, X, Y
};

// Reads the first key block of the PEM text. Returns false, key unchanged,
// when there is none, it is encrypted or of another curve or algorithm, or
// it lacks the public point.
bool ParseP256PrivateKeyPem(const std::string& pem, SP256PrivateKey& key);

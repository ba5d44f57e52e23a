#include "launcher/release_keys.h"

#include <gtest/gtest.h>

#include "manifest/release_signature.h"

// A key of another kind would be skipped when the updater checks a
// signature, and with it every release signed by its private half.
TEST(ReleaseKeys, EveryBuiltInKeyIsAP256PublicKey) {
    const std::vector<std::string>& keys = EmbeddedReleaseKeys();
    EXPECT_EQ(ParseReleaseKeys(keys).size(), keys.size());
}

#include "manifest/zf7z_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "manifest/zf7z_decoder.h"
#include "pattern_bytes.h"

namespace {

uint32_t Read32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string RoundTrip(const std::string& data) {
    std::string container;
    EXPECT_TRUE(EncodeZf7z(data, container));
    std::unique_ptr<uint8_t[]> decoded;
    size_t length = 0;
    EXPECT_TRUE(DecodeZf7z(reinterpret_cast<const uint8_t*>(container.data()), container.size(), decoded, length));
    return decoded ? std::string(reinterpret_cast<const char*>(decoded.get()), length) : std::string();
}

}  // namespace

TEST(Zf7zEncoder, HeaderHoldsMagicZeroReservedSizeAndProperties) {
    const std::string data = CompressibleBytes(100000);
    std::string container;
    ASSERT_TRUE(EncodeZf7z(data, container));
    EXPECT_LT(container.size(), data.size() / 10);
    EXPECT_EQ(container.substr(0, 4), "ZF7Z");
    EXPECT_EQ(Read32(container, 4), 0u);
    EXPECT_EQ(Read32(container, 8), data.size());
    // lc 3, lp 0, pb 2, and a dictionary shrunk to fit the data.
    EXPECT_EQ(static_cast<uint8_t>(container[12]), 0x5D);
    EXPECT_GE(Read32(container, 13), data.size());
    EXPECT_LT(Read32(container, 13), 1u << 24);
}

TEST(Zf7zEncoder, SameInputGivesSameBytes) {
    const std::string data = PatternBytes(50000) + CompressibleBytes(50000);
    std::string first;
    std::string second;
    ASSERT_TRUE(EncodeZf7z(data, first));
    ASSERT_TRUE(EncodeZf7z(data, second));
    EXPECT_EQ(first, second);
}

TEST(Zf7zEncoder, RoundTripsRandomCompressibleAndEmptyData) {
    EXPECT_EQ(RoundTrip(PatternBytes(200000, 99)), PatternBytes(200000, 99));
    EXPECT_EQ(RoundTrip(CompressibleBytes(300000)), CompressibleBytes(300000));
    EXPECT_EQ(RoundTrip(""), "");
}

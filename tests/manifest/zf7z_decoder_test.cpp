#include "manifest/zf7z_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "manifest/zf7z_encoder.h"
#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

std::string Packed(const std::string& data) {
    std::string container;
    EXPECT_TRUE(EncodeZf7z(data, container));
    return container;
}

void SetStatedSize(std::string& container, uint32_t size) {
    for (int i = 0; i < 4; ++i) container[8 + i] = static_cast<char>(size >> (8 * i));
}

class Zf7zDecoderTest : public ::testing::Test {
protected:
    // Writes the packed file and decodes it to "out.bin".
    int64_t Decompress(const std::string& packed) {
        dir_.Write("in.zf7z", packed);
        return DecompressZf7zFile(dir_.WinPath() + L"in.zf7z", dir_.WinPath() + L"out.bin");
    }
    std::string Output() const { return ReadFileBytes(dir_.path() / "out.bin"); }
    bool OutputExists() const { return std::filesystem::exists(dir_.path() / "out.bin"); }

    ScopedTempDir dir_;
};

}  // namespace

TEST_F(Zf7zDecoderTest, DecodesIntoANewFile) {
    dir_.Write("out.bin", "an old file is replaced");
    const std::string data = PatternBytes(150000, 5);
    EXPECT_EQ(Decompress(Packed(data)), static_cast<int64_t>(data.size()));
    EXPECT_EQ(Output(), data);
}

TEST_F(Zf7zDecoderTest, EmptyDataDecodesToZeroBytesAndAnEmptyFile) {
    EXPECT_EQ(Decompress(Packed("")), 0);
    EXPECT_TRUE(OutputExists());
    EXPECT_EQ(Output(), "");
}

// Made by xz's LZMA1 encoder, which ends its stream with an end mark.
TEST_F(Zf7zDecoderTest, DecodesAStreamOfAnotherEncoder) {
    const uint8_t stream[] = {0x00, 0x38, 0x18, 0x48, 0x99, 0xCD, 0x5C, 0x1C, 0x25, 0x05, 0xE4, 0x3C, 0x88, 0x64,
                              0x97, 0xED, 0x2D, 0x4C, 0xC4, 0xEC, 0x63, 0xEC, 0x12, 0x2A, 0xB5, 0xB7, 0x24, 0x0C,
                              0x57, 0x23, 0xED, 0xDA, 0xC8, 0x45, 0xFB, 0x1A, 0xFF, 0xFF, 0xFC, 0xDA, 0x40, 0x00};
    const std::string text = "packed by another encoder, packed by another encoder, packed!\n";
    std::string packed("ZF7Z\0\0\0\0\0\0\0\0\x5D\x00\x00\x01\x00", 17);
    SetStatedSize(packed, static_cast<uint32_t>(text.size()));
    packed.append(reinterpret_cast<const char*>(stream), sizeof stream);
    EXPECT_EQ(Decompress(packed), static_cast<int64_t>(text.size()));
    EXPECT_EQ(Output(), text);
}

TEST_F(Zf7zDecoderTest, WrongMagicFailsWithoutOutput) {
    std::string packed = Packed(CompressibleBytes(1000));
    packed[3] = 'X';
    EXPECT_EQ(Decompress(packed), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
}

TEST_F(Zf7zDecoderTest, TruncatedFileFailsWithoutOutput) {
    const std::string packed = Packed(PatternBytes(20000));
    EXPECT_EQ(Decompress(packed.substr(0, packed.size() / 2)), ZF7Z_ERROR_DECODE);
    EXPECT_EQ(Decompress(packed.substr(0, 16)), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
}

TEST_F(Zf7zDecoderTest, AbsurdStatedSizeFailsWithoutOutput) {
    std::string packed = Packed(CompressibleBytes(4000));
    SetStatedSize(packed, 0xFFFFFFFFu);
    EXPECT_EQ(Decompress(packed), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
}

TEST_F(Zf7zDecoderTest, MissingSourceOrDestinationFolderFails) {
    EXPECT_EQ(DecompressZf7zFile(dir_.WinPath() + L"missing.zf7z", dir_.WinPath() + L"out.bin"),
              ZF7Z_ERROR_OPEN_SOURCE);
    dir_.Write("in.zf7z", Packed("data"));
    EXPECT_EQ(DecompressZf7zFile(dir_.WinPath() + L"in.zf7z", dir_.WinPath() + L"no\\such\\out.bin"),
              ZF7Z_ERROR_CREATE_DESTINATION);
}

#include "manifest/zf7z_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "manifest/zf7z_encoder.h"
#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

std::string Packed(const std::string& data, int level = kZf7zDefaultLevel) {
    std::string container;
    EXPECT_TRUE(EncodeZf7z(data, container, level));
    return container;
}

void Set32(std::string& container, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) container[at + i] = static_cast<char>(value >> (8 * i));
}

void SetStatedSize(std::string& container, uint32_t size) { Set32(container, 8, size); }
void SetDictionarySize(std::string& container, uint32_t size) { Set32(container, 13, size); }

// Blocks of random bytes, each repeated at once with a few changes: matches
// reach back a block's length across every piece the decoder works in.
std::string RepeatedBlocks(size_t blockSize, int blocks) {
    std::string data;
    for (int b = 0; b < blocks; ++b) {
        const std::string block = PatternBytes(blockSize, static_cast<uint32_t>(b));
        std::string changed = block;
        for (size_t at = b; at < changed.size(); at += 997) changed[at] = static_cast<char>(changed[at] ^ 0x5A);
        data += block + changed;
    }
    return data;
}

std::string Decoded(const std::string& container) {
    std::unique_ptr<uint8_t[]> decoded;
    size_t length = 0;
    if (!DecodeZf7z(reinterpret_cast<const uint8_t*>(container.data()), container.size(), decoded, length)) {
        return "(fails)";
    }
    return std::string(reinterpret_cast<const char*>(decoded.get()), length);
}

const std::string kXzText = "packed by another encoder, packed by another encoder, packed!\n";

// kXzText as xz's LZMA1 encoder packs it, with an end mark, in a container
// that states statedSize.
std::string XzStreamContainer(size_t statedSize) {
    const uint8_t stream[] = {0x00, 0x38, 0x18, 0x48, 0x99, 0xCD, 0x5C, 0x1C, 0x25, 0x05, 0xE4, 0x3C, 0x88, 0x64,
                              0x97, 0xED, 0x2D, 0x4C, 0xC4, 0xEC, 0x63, 0xEC, 0x12, 0x2A, 0xB5, 0xB7, 0x24, 0x0C,
                              0x57, 0x23, 0xED, 0xDA, 0xC8, 0x45, 0xFB, 0x1A, 0xFF, 0xFF, 0xFC, 0xDA, 0x40, 0x00};
    std::string packed("ZF7Z\0\0\0\0\0\0\0\0\x5D\x00\x00\x01\x00", 17);
    SetStatedSize(packed, static_cast<uint32_t>(statedSize));
    packed.append(reinterpret_cast<const char*>(stream), sizeof stream);
    return packed;
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

TEST_F(Zf7zDecoderTest, DecodesDataOfManyPiecesWithMatchesAcrossThem) {
    // 300 KiB blocks reach past the pieces in which the file is read and
    // written; with level 0 the 16 KiB dictionary wraps many times in each.
    for (const auto& [data, level] : {std::make_pair(RepeatedBlocks(300 * 1024, 2), kZf7zDefaultLevel),
                                      std::make_pair(RepeatedBlocks(8 * 1024, 80), 0)}) {
        const std::string packed = Packed(data, level);
        EXPECT_EQ(Decompress(packed), static_cast<int64_t>(data.size())) << level;
        EXPECT_TRUE(Output() == data) << level;
        EXPECT_TRUE(Decoded(packed) == data) << level;
    }
}

TEST_F(Zf7zDecoderTest, EmptyDataDecodesToZeroBytesAndAnEmptyFile) {
    EXPECT_EQ(Decompress(Packed("")), 0);
    EXPECT_TRUE(OutputExists());
    EXPECT_EQ(Output(), "");
}

TEST_F(Zf7zDecoderTest, DecodesAStreamOfAnotherEncoder) {
    EXPECT_EQ(Decompress(XzStreamContainer(kXzText.size())), static_cast<int64_t>(kXzText.size()));
    EXPECT_EQ(Output(), kXzText);
}

// The one-call decoder's rules: the output ends at the end mark or at the
// stated size, whichever comes first.
TEST_F(Zf7zDecoderTest, OutputEndsAtTheEndMarkOrAtTheStatedSize) {
    const std::string marked = XzStreamContainer(kXzText.size() + 1000);
    EXPECT_EQ(Decompress(marked), static_cast<int64_t>(kXzText.size()));
    EXPECT_EQ(Output(), kXzText);
    EXPECT_EQ(Decoded(marked), kXzText);

    std::string cut = Packed(PatternBytes(400 * 1024));
    SetStatedSize(cut, 300 * 1024 + 7);
    EXPECT_EQ(Decompress(cut), 300 * 1024 + 7);
    EXPECT_EQ(Output(), PatternBytes(300 * 1024 + 7));
    EXPECT_EQ(Decoded(cut), PatternBytes(300 * 1024 + 7));
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

// The header's sizes come from the file server. Sizes that cannot be held
// (more than the tests' allocation limit) fail the file like a damaged stream,
// not the process.
TEST_F(Zf7zDecoderTest, AbsurdStatedSizeFailsWithoutOutput) {
    std::string packed = Packed(CompressibleBytes(4000));
    SetStatedSize(packed, 0xFFFFFFFFu);
    EXPECT_EQ(Decompress(packed), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
    SetDictionarySize(packed, 0xFFFFFFFFu);
    EXPECT_EQ(Decompress(packed), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
    EXPECT_EQ(Decoded(packed), "(fails)");
}

// The decoder's dictionary is no larger than the output needs.
TEST_F(Zf7zDecoderTest, StatedDictionaryLargerThanTheDataCostsNoMemory) {
    const std::string data = PatternBytes(5000);
    std::string packed = Packed(data);
    SetDictionarySize(packed, 0xFFFFFFFFu);
    EXPECT_EQ(Decompress(packed), static_cast<int64_t>(data.size()));
    EXPECT_EQ(Output(), data);
    EXPECT_EQ(Decoded(packed), data);
}

TEST_F(Zf7zDecoderTest, UnsupportedPropertiesFail) {
    std::string packed = Packed(CompressibleBytes(1000));
    packed[12] = static_cast<char>(9 * 5 * 5);
    EXPECT_EQ(Decompress(packed), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
}

// Decoding writes as it goes; a stream that fails late takes its partial
// output with it, and a file that was there before is gone too.
TEST_F(Zf7zDecoderTest, StreamThatFailsLateLeavesNoOutput) {
    const std::string packed = Packed(RepeatedBlocks(300 * 1024, 2));
    dir_.Write("out.bin", "an old file");
    EXPECT_EQ(Decompress(packed.substr(0, packed.size() - 1000)), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(OutputExists());
}

TEST_F(Zf7zDecoderTest, MissingSourceOrDestinationFolderFails) {
    EXPECT_EQ(DecompressZf7zFile(dir_.WinPath() + L"missing.zf7z", dir_.WinPath() + L"out.bin"),
              ZF7Z_ERROR_OPEN_SOURCE);
    dir_.Write("in.zf7z", Packed("data"));
    EXPECT_EQ(DecompressZf7zFile(dir_.WinPath() + L"in.zf7z", dir_.WinPath() + L"no\\such\\out.bin"),
              ZF7Z_ERROR_CREATE_DESTINATION);
}

// As if the whole source were decoded before the destination is made.
TEST_F(Zf7zDecoderTest, UndecodableSourceFailsAsSuchWhateverTheDestination) {
    const std::string packed = Packed(PatternBytes(20000));
    dir_.Write("in.zf7z", packed.substr(0, packed.size() / 2));
    EXPECT_EQ(DecompressZf7zFile(dir_.WinPath() + L"in.zf7z", dir_.WinPath() + L"no\\such\\out.bin"),
              ZF7Z_ERROR_DECODE);
}

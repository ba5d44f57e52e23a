// Failures of the files themselves, which only the native build can bring
// about: a source that opens but cannot be read, a destination that cannot
// be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "manifest/zf7z_decoder.h"
#include "manifest/zf7z_encoder.h"
#include "pattern_bytes.h"
#include "temp_dir.h"

namespace {

std::string Packed(const std::string& data) {
    std::string container;
    EXPECT_TRUE(EncodeZf7z(data, container));
    return container;
}

}  // namespace

// A directory opens as a stream here but gives a read error.
TEST(Zf7zDecoderPosix, UnreadableSourceFailsWithTheReadCodeAndNoOutput) {
    ScopedTempDir dir;
    std::filesystem::create_directory(dir.path() / "in.zf7z");
    EXPECT_EQ(DecompressZf7zFile(dir.WinPath() + L"in.zf7z", dir.WinPath() + L"out.bin"), ZF7Z_ERROR_READ_SOURCE);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.bin"));
}

// A link to /dev/full takes the file but refuses every write. A failed
// decode removes the destination: the link, never the device.
TEST(Zf7zDecoderPosix, UnwritableDestinationFailsWithTheWriteCodeUnlessTheSourceFailsFirst) {
    ScopedTempDir dir;
    const std::string packed = Packed(PatternBytes(600 * 1024));
    dir.Write("in.zf7z", packed);
    dir.Write("cut.zf7z", packed.substr(0, packed.size() - 100));
    const std::filesystem::path full = dir.path() / "full.bin";
    std::filesystem::create_symlink("/dev/full", full);
    EXPECT_EQ(DecompressZf7zFile(dir.WinPath() + L"in.zf7z", dir.WinPath() + L"full.bin"),
              ZF7Z_ERROR_WRITE_DESTINATION);
    EXPECT_EQ(DecompressZf7zFile(dir.WinPath() + L"cut.zf7z", dir.WinPath() + L"full.bin"), ZF7Z_ERROR_DECODE);
    EXPECT_FALSE(std::filesystem::is_symlink(full));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// A packed file as a file server delivers it: the in-memory decoder and the
// file-to-file decoder of the decode thread must agree on every container,
// a container that does not decode leaves no destination file, and one that
// states another size than its manifest entry is refused before a file is
// made.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "manifest/zf7z_decoder.h"
#include "manifest/zf7z_format.h"
#include "util/file_util.h"

namespace {

uint64_t StatedSize(const uint8_t* data) {
    const uint8_t* stated = data + kZf7zSizeOffset;
    return static_cast<uint64_t>(stated[0]) | static_cast<uint64_t>(stated[1]) << 8 |
           static_cast<uint64_t>(stated[2]) << 16 | static_cast<uint64_t>(stated[3]) << 24;
}

// The in-memory decoder needs a buffer of the stated size, which fails above
// the fuzz allocation limit; the file decoder streams and needs none.
bool StatesMoreThanAllocatable(const uint8_t* data, size_t size) {
    return size >= kZf7zHeaderSize && StatedSize(data) > kFuzzAllocationLimit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> decoded;
    size_t decodedLength = 0;
    const bool decodes = DecodeZf7z(data, size, decoded, decodedLength);
    FUZZ_CHECK(decodes == (decoded != nullptr));

    ClearFuzzScratchDir();
    const std::wstring source = FuzzScratchDir() + L"packed.zf7z";
    const std::wstring destination = FuzzScratchDir() + L"unpacked.dll";
    FUZZ_CHECK(WriteWholeFile(source, std::string(reinterpret_cast<const char*>(data), size)));
    const bool hasMagic = size >= kZf7zHeaderSize && std::memcmp(data, kZf7zMagic, sizeof kZf7zMagic) == 0;
    if (hasMagic) {
        const int64_t otherSize = static_cast<int64_t>(StatedSize(data)) + 1;
        FUZZ_CHECK(DecompressZf7zFile(source, destination, otherSize) == ZF7Z_ERROR_OTHER_SIZE);
        FUZZ_CHECK(!FileExists(destination));
        std::unique_ptr<uint8_t[]> refused;
        size_t refusedLength = 0;
        FUZZ_CHECK(!DecodeZf7z(data, size, refused, refusedLength, otherSize) && refused == nullptr);
    }
    const int64_t result = DecompressZf7zFile(source, destination, hasMagic ? StatedSize(data) : kAnyZf7zSize);
    if (!decodes && StatesMoreThanAllocatable(data, size)) return 0;
    if (!decodes) {
        FUZZ_CHECK(result == ZF7Z_ERROR_DECODE);
        FUZZ_CHECK(!FileExists(destination));
        return 0;
    }
    FUZZ_CHECK(result == static_cast<int64_t>(decodedLength));
    std::string unpacked;
    FUZZ_CHECK(ReadWholeFile(destination, unpacked));
    FUZZ_CHECK(unpacked.size() == decodedLength);
    FUZZ_CHECK(decodedLength == 0 || std::memcmp(unpacked.data(), decoded.get(), decodedLength) == 0);
    return 0;
}

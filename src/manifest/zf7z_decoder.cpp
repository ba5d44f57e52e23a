#include "manifest/zf7z_decoder.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "manifest/lzma_codec.h"
#include "manifest/zf7z_format.h"
#include "util/binary_file.h"
#include "util/file_util.h"

namespace {

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Reads the whole open file, whose size the directory entry gives. Returns
// false when the size is unknown, cannot be held in memory or not all bytes come.
bool ReadWholeStream(const std::wstring& path, std::FILE* file, std::unique_ptr<uint8_t[]>& bytes, size_t& size) {
    FileFindData entry;
    if (!FindFile(path, entry) || entry.isDirectory || entry.size > SIZE_MAX) return false;
    size = static_cast<size_t>(entry.size);
    bytes.reset(new (std::nothrow) uint8_t[size]);
    if (!bytes) return false;
    return std::fread(bytes.get(), 1, size, file) == size;
}

}  // namespace

bool DecodeZf7z(const uint8_t* container, size_t size, std::unique_ptr<uint8_t[]>& decoded, size_t& decodedLength) {
    decoded.reset();
    decodedLength = 0;
    if (size < kZf7zHeaderSize || std::memcmp(container, kZf7zMagic, sizeof kZf7zMagic) != 0) return false;
    const uint32_t statedSize = ReadLittleEndian32(container + kZf7zSizeOffset);
    // The size comes from the file server; one that cannot be held fails the
    // file, like a damaged stream, rather than the process.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[statedSize]);
    if (!buffer) return false;
    size_t length = statedSize;
    size_t streamLength = size - kZf7zHeaderSize;
    if (LzmaUncompress(buffer.get(), &length, container + kZf7zHeaderSize, &streamLength,
                       container + kZf7zPropsOffset, kLzmaPropsSize) != LZMA_RESULT_OK) {
        return false;
    }
    decoded = std::move(buffer);
    decodedLength = length;
    return true;
}

int64_t DecompressZf7zFile(const std::wstring& source, const std::wstring& destination) {
    std::unique_ptr<uint8_t[]> packed;
    size_t packedSize = 0;
    {
        UniqueFileStream input = OpenForBinaryRead(source);
        if (!input) return ZF7Z_ERROR_OPEN_SOURCE;
        if (!ReadWholeStream(source, input.get(), packed, packedSize)) return ZF7Z_ERROR_READ_SOURCE;
    }
    std::unique_ptr<uint8_t[]> decoded;
    size_t decodedLength = 0;
    const bool ok = DecodeZf7z(packed.get(), packedSize, decoded, decodedLength);
    packed.reset();  // only the decoded data is written
    if (!ok) return ZF7Z_ERROR_DECODE;

    UniqueFileStream output = OpenForBinaryWrite(destination);
    if (!output) return ZF7Z_ERROR_CREATE_DESTINATION;
    if (std::fwrite(decoded.get(), 1, decodedLength, output.get()) != decodedLength ||
        std::fflush(output.get()) != 0) {
        return ZF7Z_ERROR_WRITE_DESTINATION;
    }
    // Closing can still report a failed write.
    if (std::fclose(output.release()) != 0) return ZF7Z_ERROR_WRITE_DESTINATION;
    return static_cast<int64_t>(decodedLength);
}

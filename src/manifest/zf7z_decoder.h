// Unpacking of ZF7Z files (zf7z_format.h). The stream is decoded a piece at a
// time through the decoder's own dictionary, so a file is unpacked without
// holding either the packed or the decoded data whole. Any thread may call
// these; they keep no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Negative results of DecompressZf7zFile.
enum Zf7zFileError {
    ZF7Z_ERROR_OPEN_SOURCE = -1,
    ZF7Z_ERROR_READ_SOURCE = -3,
    ZF7Z_ERROR_DECODE = -4,
    ZF7Z_ERROR_OTHER_SIZE = -5,
    ZF7Z_ERROR_CREATE_DESTINATION = -7,
    ZF7Z_ERROR_WRITE_DESTINATION = -8,
};

// The expected size that takes any stated size.
constexpr int64_t kAnyZf7zSize = -1;

// Decodes the container (size bytes) held in memory into a new buffer of the
// decoded size that its header states, and sets decodedLength to the bytes
// the decoder produced, which the stream may leave shorter: the end mark may
// come first; bytes after the stated size are not read. Returns false,
// decoded null, when the container is shorter than its header, its magic is
// wrong, it states another size than expectedSize (unless that is negative),
// the stated size cannot be allocated or the stream does not decode.
bool DecodeZf7z(const uint8_t* container, size_t size, std::unique_ptr<uint8_t[]>& decoded, size_t& decodedLength,
                int64_t expectedSize = kAnyZf7zSize);

// Decodes the ZF7Z file source into destination, which is created anew (an
// old file is replaced), with the same rules as DecodeZf7z. Returns the
// decoded length, or a Zf7zFileError: ZF7Z_ERROR_OPEN_SOURCE or
// ZF7Z_ERROR_READ_SOURCE when the source cannot be opened or read,
// ZF7Z_ERROR_OTHER_SIZE when it states another size than expectedSize (not
// negative), ZF7Z_ERROR_DECODE when it does not decode,
// ZF7Z_ERROR_CREATE_DESTINATION or ZF7Z_ERROR_WRITE_DESTINATION when the
// destination cannot be created or written. A source that states another
// size leaves the destination untouched. One that cannot be read or decoded
// gives its own code even when the destination fails too, as if the whole
// source were decoded before the destination is touched; no file is then
// left at the destination, not even an old one.
int64_t DecompressZf7zFile(const std::wstring& source, const std::wstring& destination,
                           int64_t expectedSize = kAnyZf7zSize);

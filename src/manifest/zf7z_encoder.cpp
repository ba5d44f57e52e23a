#include "manifest/zf7z_encoder.h"

#include <cstdint>
#include <cstring>

#include "manifest/lzma_codec.h"
#include "manifest/zf7z_format.h"

namespace {

void WriteLittleEndian32(uint32_t value, char* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool EncodeZf7z(const std::string& data, std::string& container, int level) {
    container.clear();
    if (static_cast<uint64_t>(data.size()) > 0xFFFFFFFFu) return false;
    // The SDK's own bound for the stream of data that does not compress.
    size_t streamLength = data.size() + data.size() / 3 + 128;
    std::string packed(kZf7zHeaderSize + streamLength, '\0');
    uint8_t* header = reinterpret_cast<uint8_t*>(&packed[0]);
    if (LzmaCompress(header + kZf7zHeaderSize, &streamLength, reinterpret_cast<const uint8_t*>(data.data()),
                     data.size(), header + kZf7zPropsOffset, level) != LZMA_RESULT_OK) {
        return false;
    }
    std::memcpy(&packed[0], kZf7zMagic, sizeof kZf7zMagic);
    WriteLittleEndian32(0, &packed[kZf7zReservedOffset]);
    WriteLittleEndian32(static_cast<uint32_t>(data.size()), &packed[kZf7zSizeOffset]);
    packed.resize(kZf7zHeaderSize + streamLength);
    container.swap(packed);
    return true;
}

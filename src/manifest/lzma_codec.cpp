// The SDK's Types.h includes <windows.h> in the Windows build; this file is
// the only one that sees it.
#include "manifest/lzma_codec.h"

#include <cstdlib>
#include <cstring>

#include "LzmaDec.h"
#include "LzmaEnc.h"

namespace {

void* SdkAlloc(void*, size_t size) { return std::malloc(size); }
void SdkFree(void*, void* address) { std::free(address); }

ISzAlloc g_sdkAlloc = {SdkAlloc, SdkFree};

constexpr size_t kDictionarySizeOffset = 1;

static_assert(LZMA_PROPS_SIZE == kLzmaPropsSize, "property size differs from the SDK's");
static_assert(LZMA_RESULT_DATA_ERROR == SZ_ERROR_DATA && LZMA_RESULT_MEM_ERROR == SZ_ERROR_MEM &&
                  LZMA_RESULT_UNSUPPORTED == SZ_ERROR_UNSUPPORTED && LZMA_RESULT_PARAM_ERROR == SZ_ERROR_PARAM &&
                  LZMA_RESULT_INPUT_EOF == SZ_ERROR_INPUT_EOF && LZMA_RESULT_OUTPUT_EOF == SZ_ERROR_OUTPUT_EOF,
              "result codes differ from the SDK's");
static_assert(LZMA_STREAM_ENDED_WITH_MARK == static_cast<int>(LZMA_STATUS_FINISHED_WITH_MARK) &&
                  LZMA_STREAM_NOT_FINISHED == static_cast<int>(LZMA_STATUS_NOT_FINISHED) &&
                  LZMA_STREAM_NEEDS_MORE_INPUT == static_cast<int>(LZMA_STATUS_NEEDS_MORE_INPUT) &&
                  LZMA_STREAM_MAYBE_FINISHED_WITHOUT_MARK ==
                      static_cast<int>(LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK),
              "stream states differ from the SDK's");

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(uint32_t value, uint8_t* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

struct LzmaStreamDecoder::State {
    State() { LzmaDec_Construct(&decoder); }
    ~State() { LzmaDec_Free(&decoder, &g_sdkAlloc); }

    CLzmaDec decoder;
};

LzmaStreamDecoder::LzmaStreamDecoder() : state_(new State) {}

LzmaStreamDecoder::~LzmaStreamDecoder() = default;

int LzmaStreamDecoder::Start(const uint8_t* props, size_t propsSize, uint64_t outputLimit) {
    if (propsSize < kLzmaPropsSize) return LZMA_RESULT_UNSUPPORTED;
    // No match reaches further back than the output goes, so the dictionary
    // need not be larger than the output: a stream that states a larger one
    // (the file server's data) costs no more memory than its output would.
    uint8_t usedProps[kLzmaPropsSize];
    std::memcpy(usedProps, props, kLzmaPropsSize);
    if (outputLimit < ReadLittleEndian32(props + kDictionarySizeOffset)) {
        WriteLittleEndian32(static_cast<uint32_t>(outputLimit), usedProps + kDictionarySizeOffset);
    }
    const int result = LzmaDec_Allocate(&state_->decoder, usedProps, kLzmaPropsSize, &g_sdkAlloc);
    if (result != SZ_OK) return result;
    LzmaDec_Init(&state_->decoder);
    return LZMA_RESULT_OK;
}

int LzmaStreamDecoder::Decode(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t* srcLen,
                              LzmaStreamStatus* status) {
    ELzmaStatus sdkStatus = LZMA_STATUS_NOT_SPECIFIED;
    const int result = LzmaDec_DecodeToBuf(&state_->decoder, dest, destLen, src, srcLen, LZMA_FINISH_ANY, &sdkStatus);
    *status = static_cast<LzmaStreamStatus>(sdkStatus);
    return result;
}

int LzmaCompress(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t srcLen, uint8_t* props, int level) {
    if (level < 0 || level > 9) return LZMA_RESULT_PARAM_ERROR;
    CLzmaEncProps encoderProps;
    LzmaEncProps_Init(&encoderProps);
    encoderProps.level = level;
    encoderProps.numThreads = 1;
    // A dictionary no larger than the input saves the encoder's memory.
    if (srcLen < 0xFFFFFFFFu) encoderProps.reduceSize = static_cast<UInt32>(srcLen);
    SizeT propsSize = kLzmaPropsSize;
    return LzmaEncode(dest, destLen, src, srcLen, &encoderProps, props, &propsSize, 0, nullptr, &g_sdkAlloc,
                      &g_sdkAlloc);
}

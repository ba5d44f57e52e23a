// The SDK's Types.h includes <windows.h> in the Windows build; this file is
// the only one that sees it.
#include "manifest/lzma_codec.h"

#include <cstdlib>

#include "LzmaDec.h"
#include "LzmaEnc.h"

namespace {

void* SdkAlloc(void*, size_t size) { return std::malloc(size); }
void SdkFree(void*, void* address) { std::free(address); }

ISzAlloc g_sdkAlloc = {SdkAlloc, SdkFree};

static_assert(LZMA_PROPS_SIZE == kLzmaPropsSize, "property size differs from the SDK's");
static_assert(LZMA_RESULT_DATA_ERROR == SZ_ERROR_DATA && LZMA_RESULT_MEM_ERROR == SZ_ERROR_MEM &&
                  LZMA_RESULT_UNSUPPORTED == SZ_ERROR_UNSUPPORTED && LZMA_RESULT_PARAM_ERROR == SZ_ERROR_PARAM &&
                  LZMA_RESULT_INPUT_EOF == SZ_ERROR_INPUT_EOF && LZMA_RESULT_OUTPUT_EOF == SZ_ERROR_OUTPUT_EOF,
              "result codes differ from the SDK's");

}  // namespace

int LzmaUncompress(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t* srcLen, const uint8_t* props,
                   size_t propsSize) {
    ELzmaStatus status;
    return LzmaDecode(dest, destLen, src, srcLen, props, static_cast<unsigned>(propsSize), LZMA_FINISH_ANY, &status,
                      &g_sdkAlloc);
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

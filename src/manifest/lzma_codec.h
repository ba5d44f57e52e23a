// One-call LZMA coding with the LZMA SDK, behind plain types so that callers
// do not see the SDK's headers. Any thread may call these; they keep no state.
#pragma once

#include <cstddef>
#include <cstdint>

// The raw stream's properties: one byte of lc/lp/pb, then the 32-bit
// dictionary size, little-endian.
constexpr size_t kLzmaPropsSize = 5;

// Result codes, the SDK's own values.
enum LzmaResult {
    LZMA_RESULT_OK = 0,
    LZMA_RESULT_DATA_ERROR = 1,
    LZMA_RESULT_MEM_ERROR = 2,
    LZMA_RESULT_UNSUPPORTED = 4,
    LZMA_RESULT_PARAM_ERROR = 5,
    LZMA_RESULT_INPUT_EOF = 6,
    LZMA_RESULT_OUTPUT_EOF = 7,
};

// Decodes the raw stream src (*srcLen bytes) with the given properties into
// dest, which holds *destLen bytes and also serves as the dictionary. Stops
// when dest is full or the stream's end mark comes; sets *destLen to the bytes
// produced and *srcLen to the bytes used. Returns LZMA_RESULT_OK, or
// LZMA_RESULT_DATA_ERROR for a damaged stream, LZMA_RESULT_UNSUPPORTED for bad
// properties, LZMA_RESULT_MEM_ERROR when the decoder's tables cannot be
// allocated, LZMA_RESULT_INPUT_EOF when the stream ends before dest is full.
int LzmaUncompress(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t* srcLen, const uint8_t* props,
                   size_t propsSize);

// Encodes src (srcLen bytes) as a raw stream without end mark into dest, which
// holds *destLen bytes, at a level from 0 (fast) to 9 (small), with one
// thread, so the same input always gives the same output; writes the
// kLzmaPropsSize property bytes to props. Sets *destLen to the stream's
// length. Returns LZMA_RESULT_OK, or LZMA_RESULT_OUTPUT_EOF when dest is too
// small, LZMA_RESULT_MEM_ERROR when the encoder's tables cannot be allocated,
// LZMA_RESULT_PARAM_ERROR for a bad level.
int LzmaCompress(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t srcLen, uint8_t* props, int level);

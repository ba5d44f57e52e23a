// LZMA coding with the LZMA SDK, behind plain types so that callers do not
// see the SDK's headers: a decoder that works in pieces, and one-call
// encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

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

// Where a decoding step left the stream, the SDK's own values.
enum LzmaStreamStatus {
    LZMA_STREAM_UNKNOWN = 0,                // after a failure
    LZMA_STREAM_ENDED_WITH_MARK = 1,        // the end mark came; nothing follows
    LZMA_STREAM_NOT_FINISHED = 2,           // the output piece is full
    LZMA_STREAM_NEEDS_MORE_INPUT = 3,       // every input byte is used
    LZMA_STREAM_MAYBE_FINISHED_WITHOUT_MARK = 4,  // the piece is full where a stream may end
};

// Decodes one raw stream in pieces through a dictionary of its own, so that
// neither the stream nor its output need be held whole.
//
// Threading: one thread at a time.
class LzmaStreamDecoder {
public:
    LzmaStreamDecoder();
    ~LzmaStreamDecoder();
    LzmaStreamDecoder(const LzmaStreamDecoder&) = delete;
    LzmaStreamDecoder& operator=(const LzmaStreamDecoder&) = delete;

    // Prepares the decoding of a stream with the given properties whose
    // output will be cut at outputLimit bytes; the dictionary is no larger
    // than that needs. Returns LZMA_RESULT_OK, LZMA_RESULT_UNSUPPORTED for bad
    // properties, or LZMA_RESULT_MEM_ERROR when the decoder's tables or its
    // dictionary cannot be allocated.
    int Start(const uint8_t* props, size_t propsSize, uint64_t outputLimit);

    // Decodes from src (*srcLen bytes) into dest (*destLen bytes, at most what
    // is left of the output limit); sets *destLen to the bytes produced,
    // *srcLen to the bytes used and *status to where the stream stands. The
    // input is used up before LZMA_STREAM_NEEDS_MORE_INPUT is reported.
    // Returns LZMA_RESULT_OK, or LZMA_RESULT_DATA_ERROR for a damaged stream.
    // Call only after Start succeeded.
    int Decode(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t* srcLen, LzmaStreamStatus* status);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Encodes src (srcLen bytes) as a raw stream without end mark into dest, which
// holds *destLen bytes, at a level from 0 (fast) to 9 (small), with one
// thread, so the same input always gives the same output; writes the
// kLzmaPropsSize property bytes to props. Sets *destLen to the stream's
// length. Returns LZMA_RESULT_OK, or LZMA_RESULT_OUTPUT_EOF when dest is too
// small, LZMA_RESULT_MEM_ERROR when the encoder's tables cannot be allocated,
// LZMA_RESULT_PARAM_ERROR for a bad level.
int LzmaCompress(uint8_t* dest, size_t* destLen, const uint8_t* src, size_t srcLen, uint8_t* props, int level);

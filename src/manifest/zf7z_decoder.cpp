#include "manifest/zf7z_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "manifest/lzma_codec.h"
#include "manifest/zf7z_format.h"
#include "util/binary_file.h"
#include "util/file_util.h"

namespace {

// Pieces small enough to stay in the processor's cache between the decoder's
// dictionary, this buffer and the file, large enough to keep calls few.
constexpr size_t kInputPieceBytes = 256 * 1024;
constexpr size_t kOutputPieceBytes = 256 * 1024;

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The packed bytes, a piece at a time.
class Zf7zSource {
public:
    virtual ~Zf7zSource() = default;
    // Fills buffer with up to capacity bytes and sets got to their number,
    // 0 at the end. Returns false when reading fails.
    virtual bool Read(uint8_t* buffer, size_t capacity, size_t& got) = 0;
};

// Takes the decoded bytes, a piece at a time.
class Zf7zSink {
public:
    virtual ~Zf7zSink() = default;
    // Called once the header is read, before any Write. Returns false when
    // the stated size cannot be taken; the container then fails.
    virtual bool Begin(uint32_t statedSize) = 0;
    // Never more bytes in all than the stated size.
    virtual void Write(const uint8_t* bytes, size_t count) = 0;
};

enum class StreamOutcome { kDecoded, kReadFailed, kUndecodable, kOtherSize };

// Reads until buffer holds count bytes or the source ends.
bool ReadUpTo(Zf7zSource& source, uint8_t* buffer, size_t count, size_t& got) {
    got = 0;
    while (got < count) {
        size_t piece = 0;
        if (!source.Read(buffer + got, count - got, piece)) return false;
        if (piece == 0) break;
        got += piece;
    }
    return true;
}

// Decodes as the SDK's one-call decoder does into a buffer of the stated
// size: output ends at that size or at the end mark; a stream that ends before
// either fails. A stated size other than expectedSize (when that is not
// negative) fails before the sink is touched.
StreamOutcome DecodeStream(Zf7zSource& source, Zf7zSink& sink, int64_t expectedSize, uint64_t& decodedLength) {
    decodedLength = 0;
    uint8_t header[kZf7zHeaderSize];
    size_t headerLength = 0;
    if (!ReadUpTo(source, header, sizeof header, headerLength)) return StreamOutcome::kReadFailed;
    if (headerLength < kZf7zHeaderSize || std::memcmp(header, kZf7zMagic, sizeof kZf7zMagic) != 0) {
        return StreamOutcome::kUndecodable;
    }
    const uint32_t statedSize = ReadLittleEndian32(header + kZf7zSizeOffset);
    if (expectedSize >= 0 && statedSize != static_cast<uint64_t>(expectedSize)) return StreamOutcome::kOtherSize;
    LzmaStreamDecoder decoder;
    // The size and the dictionary come from the file server; one that cannot
    // be held fails the file, like a damaged stream, rather than the process.
    if (decoder.Start(header + kZf7zPropsOffset, kLzmaPropsSize, statedSize) != LZMA_RESULT_OK ||
        !sink.Begin(statedSize)) {
        return StreamOutcome::kUndecodable;
    }

    std::vector<uint8_t> input(kInputPieceBytes);
    std::vector<uint8_t> output(kOutputPieceBytes);
    size_t inputUsed = 0;
    size_t inputLength = 0;
    bool inputEnded = false;
    uint64_t produced = 0;
    for (;;) {
        if (inputUsed == inputLength && !inputEnded) {
            if (!source.Read(input.data(), input.size(), inputLength)) return StreamOutcome::kReadFailed;
            inputUsed = 0;
            inputEnded = inputLength == 0;
        }
        size_t outputLength = static_cast<size_t>(std::min<uint64_t>(output.size(), statedSize - produced));
        size_t used = inputLength - inputUsed;
        LzmaStreamStatus status = LZMA_STREAM_UNKNOWN;
        const int result = decoder.Decode(output.data(), &outputLength, input.data() + inputUsed, &used, &status);
        inputUsed += used;
        produced += outputLength;
        if (result != LZMA_RESULT_OK) return StreamOutcome::kUndecodable;
        sink.Write(output.data(), outputLength);
        if (status == LZMA_STREAM_ENDED_WITH_MARK) break;
        if (status == LZMA_STREAM_NEEDS_MORE_INPUT) {
            if (inputEnded) return StreamOutcome::kUndecodable;
            continue;
        }
        if (produced == statedSize) break;
    }
    decodedLength = produced;
    return StreamOutcome::kDecoded;
}

class MemorySource : public Zf7zSource {
public:
    MemorySource(const uint8_t* bytes, size_t size) : bytes_(bytes), left_(size) {}

    bool Read(uint8_t* buffer, size_t capacity, size_t& got) override {
        got = std::min(capacity, left_);
        std::memcpy(buffer, bytes_, got);
        bytes_ += got;
        left_ -= got;
        return true;
    }

private:
    const uint8_t* bytes_;
    size_t left_;
};

class FileSource : public Zf7zSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}

    bool Read(uint8_t* buffer, size_t capacity, size_t& got) override {
        got = std::fread(buffer, 1, capacity, file_);
        return got > 0 || !std::ferror(file_);
    }

private:
    std::FILE* file_;
};

// A buffer of the stated size, allocated once the header is read.
class MemorySink : public Zf7zSink {
public:
    bool Begin(uint32_t statedSize) override {
        buffer_.reset(new (std::nothrow) uint8_t[statedSize]);
        return buffer_ != nullptr;
    }
    void Write(const uint8_t* bytes, size_t count) override {
        std::memcpy(buffer_.get() + length_, bytes, count);
        length_ += count;
    }

    std::unique_ptr<uint8_t[]> Take() { return std::move(buffer_); }

private:
    std::unique_ptr<uint8_t[]> buffer_;
    size_t length_ = 0;
};

// The destination file. A failure to create or write it does not stop the
// decoding, so that a source that does not decode still counts as that.
class FileSink : public Zf7zSink {
public:
    explicit FileSink(std::wstring path) : path_(std::move(path)) {}

    bool Begin(uint32_t) override {
        file_ = OpenForBinaryWrite(path_);
        created_ = file_ != nullptr;
        return true;
    }
    void Write(const uint8_t* bytes, size_t count) override {
        if (file_ && std::fwrite(bytes, 1, count, file_.get()) != count) writeFailed_ = true;
    }

    // Removes what was written of a source that failed.
    void Discard() {
        if (!created_) return;
        file_.reset();
        DeleteFileRetry(path_, false);
    }
    // Closes the file. Returns length, or the code of the first failure.
    int64_t Finish(uint64_t length) {
        if (!created_) return ZF7Z_ERROR_CREATE_DESTINATION;
        if (writeFailed_ || std::fflush(file_.get()) != 0) return ZF7Z_ERROR_WRITE_DESTINATION;
        // Closing can still report a failed write.
        if (std::fclose(file_.release()) != 0) return ZF7Z_ERROR_WRITE_DESTINATION;
        return static_cast<int64_t>(length);
    }

private:
    const std::wstring path_;
    UniqueFileStream file_;
    bool created_ = false;
    bool writeFailed_ = false;
};

}  // namespace

bool DecodeZf7z(const uint8_t* container, size_t size, std::unique_ptr<uint8_t[]>& decoded, size_t& decodedLength,
                int64_t expectedSize) {
    decoded.reset();
    decodedLength = 0;
    MemorySource source(container, size);
    MemorySink sink;
    uint64_t length = 0;
    if (DecodeStream(source, sink, expectedSize, length) != StreamOutcome::kDecoded) return false;
    decoded = sink.Take();
    decodedLength = static_cast<size_t>(length);
    return true;
}

int64_t DecompressZf7zFile(const std::wstring& source, const std::wstring& destination, int64_t expectedSize) {
    UniqueFileStream input = OpenForBinaryRead(source);
    if (!input) return ZF7Z_ERROR_OPEN_SOURCE;
    FileSource packed(input.get());
    FileSink sink(destination);
    uint64_t length = 0;
    const StreamOutcome outcome = DecodeStream(packed, sink, expectedSize, length);
    input.reset();
    switch (outcome) {
    case StreamOutcome::kDecoded:
        break;
    case StreamOutcome::kOtherSize:
        return ZF7Z_ERROR_OTHER_SIZE;
    case StreamOutcome::kReadFailed:
        sink.Discard();
        return ZF7Z_ERROR_READ_SOURCE;
    case StreamOutcome::kUndecodable:
        sink.Discard();
        return ZF7Z_ERROR_DECODE;
    }
    return sink.Finish(length);
}

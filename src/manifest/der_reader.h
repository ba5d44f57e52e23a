// Reading DER (ITU-T X.690, the distinguished encoding), element by element,
// for the few small structures of release signatures and keys. Only the
// encoding that DER allows is read: single-byte tags, lengths in their
// shortest form, no indefinite lengths. A reader over bytes it does not own;
// any thread may use its own reader.
#pragma once

#include <cstddef>
#include <cstdint>

// Tags of the elements read here.
constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kDerBitString = 0x03;
constexpr uint8_t kDerOctetString = 0x04;
constexpr uint8_t kDerObjectId = 0x06;
constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerContext0 = 0xA0;
constexpr uint8_t kDerContext1 = 0xA1;

class CDerReader {
public:
    CDerReader() = default;
    CDerReader(const uint8_t* data, size_t size) : data_(data), left_(size) {}

    // Reads the next element when its tag is tag: sets contents to a reader
    // over its value and moves past it. Returns false, the reader unmoved,
    // when no element is left, the tag differs, or the length is not in DER
    // form or runs past the end.
    bool Read(uint8_t tag, CDerReader& contents);
    // True when the next element has the tag.
    bool NextIs(uint8_t tag) const { return left_ > 0 && data_[0] == tag; }
    // True when every byte was read.
    bool AtEnd() const { return left_ == 0; }

    // The bytes not yet read.
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return left_; }

private:
    const uint8_t* data_ = nullptr;
    size_t left_ = 0;
};

// Reads an INTEGER that must be positive and fit width bytes, into out
// (width bytes, big-endian, zeros in front). Returns false for a negative or
// zero value, a value wider than width, or a value not in its shortest form.
bool ReadDerUnsigned(CDerReader& reader, size_t width, uint8_t* out);

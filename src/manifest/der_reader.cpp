#include "manifest/der_reader.h"

#include <cstring>

namespace {

// Lengths of up to two bytes cover every structure read here.
const size_t kMaxLengthBytes = 2;

}  // namespace

bool CDerReader::Read(uint8_t tag, CDerReader& contents) {
    if (left_ < 2 || data_[0] != tag) return false;
    size_t header = 2;
    size_t length = data_[1];
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        if (count == 0 || count > kMaxLengthBytes || left_ < 2 + count) return false;
        length = 0;
        for (size_t i = 0; i < count; ++i) length = length << 8 | data_[2 + i];
        // The shortest form: no leading zero byte, and the long form only from 128 on.
        if (data_[2] == 0 || length < 0x80) return false;
        header += count;
    }
    if (length > left_ - header) return false;
    contents = CDerReader(data_ + header, length);
    data_ += header + length;
    left_ -= header + length;
    return true;
}

bool ReadDerUnsigned(CDerReader& reader, size_t width, uint8_t* out) {
    CDerReader value;
    if (!reader.Read(kDerInteger, value) || value.Size() == 0) return false;
    const uint8_t* bytes = value.Data();
    size_t size = value.Size();
    if (bytes[0] & 0x80) return false;  // negative
    if (bytes[0] == 0 && size > 1) {
        // A leading zero only in front of a byte whose top bit is set.
        if (!(bytes[1] & 0x80)) return false;
        ++bytes;
        --size;
    }
    if (size > width) return false;
    std::memset(out, 0, width - size);
    std::memcpy(out + width - size, bytes, size);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return true;
    }
    return false;
}

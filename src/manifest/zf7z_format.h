// The layout of "ZF7Z", the packed form in which the file servers hold
// files of compression kind 2. All integers are little-endian:
//   offset 0   4 bytes  magic "ZF7Z"
//   offset 4   4 bytes  reserved, written as zero, never read
//   offset 8   4 bytes  unsigned size of the decoded data
//   offset 12  5 bytes  LZMA properties (lc/lp/pb byte, dictionary size)
//   offset 17  rest     raw LZMA stream without end mark
#pragma once

#include <cstddef>

constexpr char kZf7zMagic[4] = {'Z', 'F', '7', 'Z'};
constexpr size_t kZf7zReservedOffset = 4;
constexpr size_t kZf7zSizeOffset = 8;
constexpr size_t kZf7zPropsOffset = 12;
constexpr size_t kZf7zHeaderSize = 17;

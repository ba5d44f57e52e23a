// Packing data into the ZF7Z form (zf7z_format.h) for the file servers, with
// the LZMA SDK's encoder. Any thread may call it; it keeps no state.
#pragma once

#include <string>

constexpr int kZf7zDefaultLevel = 5;

// Sets container to the header and the raw LZMA stream of data, encoded at
// level 0 (fast) to 9 (small). The same data and level always give the same
// bytes. Returns false, container empty, when data is 4 GiB or more (the
// header holds a 32-bit size), the level is out of range or the encoder runs
// out of memory.
bool EncodeZf7z(const std::string& data, std::string& container, int level = kZf7zDefaultLevel);

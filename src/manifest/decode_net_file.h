// Turning one downloaded file into the installed form that its manifest entry
// describes: copy or unpack it, give it the entry's time, and check it
// against the entry. The decode thread (decode_net_file_thread.h) runs this
// for every finished download. Any thread may call these; they keep no state.
#pragma once

#include <string>

#include "manifest/finger_item.h"

// The system's code for an invalid parameter: the error of compression kinds
// that cannot be unpacked ("ZLIB" included).
constexpr int kErrorUnsupportedZipType = 87;

// The path of the decoded file: the downloaded path less its last four
// characters (the ".tmp" the download manager appends).
std::wstring DecodedPathOf(const std::wstring& downloadedPath);

// Creates destination from source by the entry's compression kind: stored
// files are copied over it (with retries), ZF7Z files unpacked into it when
// they state the entry's size (any size for an entry without one). Returns
// true; or false and error: the system's error of the failed copy, the
// DecompressZf7zFile result (0 for data that unpacks to nothing), or
// kErrorUnsupportedZipType for other kinds, which write no file.
bool CreateLocalFile(const SFileItem& entry, const std::wstring& source, const std::wstring& destination, int& error);

// The whole decode of one download: CreateLocalFile, then deletes the source,
// compares the destination's size and check value with the entry and, once
// they agree, sets the destination's times to the entry's time when it has
// one. Returns 1 when the destination exists and passed its check, 0 when any
// step failed, after one log line naming that step. A failed create leaves
// the source for inspection; a failed check removes the destination.
int DecodeNetFile(int fileId, const std::wstring& source, const std::wstring& destination, const SFileItem& entry);

// Base64 with the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", '+', '/')
// and '=' padding, over byte strings.
#pragma once

#include <string>

// Returns 4 characters for every 3 bytes; a final group of 1 or 2 bytes is
// padded with '=' to 4 characters.
std::string Base64Encode(const std::string& bytes);

// Decodes text group by group, each group of 4 characters on its own: '=' as
// a group's third character leaves one byte, as its fourth two, so padding
// may also close a group in the middle. Returns false, with bytes empty, when
// the length is not a multiple of 4 or a character is neither in the alphabet
// nor '='.
bool Base64Decode(const std::string& text, std::string& bytes);

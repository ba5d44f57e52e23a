// Small text helpers shared by the launcher and the updater.
#pragma once

#include <cstdint>
#include <string>

// Reads a decimal integer the way StrToIntW does: an optional leading sign,
// then digits up to the first non-digit. Returns 0 for empty or non-numeric text.
int ParseLeadingInt(const std::wstring& text);

// Returns the index of the first exact match of text in table, or count if none.
int IndexOfText(const std::wstring& text, const wchar_t* const* table, int count);

// Returns the text before the first ';'; when that part contains '-', the
// part between its first and second '-'.
std::wstring MainPartOf(const std::wstring& text);

// Parses "%d.%d.%d.%d" (missing fields 0) into one number, major field in the
// highest 8 bits, so versions compare as unsigned integers.
uint32_t ParseVersionNumber(const std::wstring& text);

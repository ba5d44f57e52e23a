// Small text helpers shared by the launcher and the updater.
#pragma once

#include <cstdint>
#include <string>

// Reads a decimal integer the way StrToIntW does: an optional leading sign,
// then digits up to the first non-digit. Returns 0 for empty or non-numeric text.
int ParseLeadingInt(const std::wstring& text);

// Upper case for the letters that have one in ASCII, Latin-1 and Cyrillic:
// enough for the file, section and key names the system compares, without
// depending on the C library's locale.
wchar_t FoldCase(wchar_t c);
std::wstring FoldCaseText(const std::wstring& text);
// True when both texts are equal after FoldCase.
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);

// Returns the index of the first exact match of text in table, or count if none.
int IndexOfText(const std::wstring& text, const wchar_t* const* table, int count);

// Returns the text before the first ';'; when that part contains '-', the
// part between its first and second '-'.
std::wstring MainPartOf(const std::wstring& text);

// Parses "%d.%d.%d.%d" (missing fields 0) into one number, major field in the
// highest 8 bits, so versions compare as unsigned integers.
uint32_t ParseVersionNumber(const std::wstring& text);

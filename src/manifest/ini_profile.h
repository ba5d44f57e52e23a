// Reading and writing INI files with the semantics of the system's
// private-profile functions (GetPrivateProfileStringW, GetPrivateProfileIntW,
// GetPrivateProfileSectionW, WritePrivateProfileStringW), on every target by
// the same portable code; see CIniDocument for the file format.
//
// Paths are Windows paths. Files may be UTF-16LE or UTF-8 with a byte-order
// mark, or in the ANSI code page. UTF-8 is our addition: Windows reads such a
// file as ANSI, mark and all, and so loses its first line.
//
// Every call reads the file anew and keeps no handle open; any thread may call
// them. A write reads, changes and rewrites the whole file, so two processes
// writing the same file at once may lose one of the writes.
#pragma once

#include <string>
#include <vector>

class CIniDocument;

// Reads and parses the whole file; false, document unchanged, when it
// cannot be read.
bool ReadIniDocument(const std::wstring& path, CIniDocument& document);

// Returns the key's value with one pair of quotes (" or ') around it removed,
// or, when the file, section or key is missing, the default (null gives the
// empty text) without its trailing spaces; either is cut to maxChars - 1
// characters, and maxChars <= 0 gives the empty text.
std::wstring ReadProfileString(const std::wstring& section, const std::wstring& key,
                               const wchar_t* defaultValue, int maxChars, const std::wstring& path);

// As above, on the parsed contents of a file that was read already.
std::wstring ReadProfileString(const CIniDocument& document, const std::wstring& section, const std::wstring& key,
                               const wchar_t* defaultValue, int maxChars);

// Returns the key's value read as a decimal integer (leading white space, an
// optional sign, then digits up to the first non-digit; no digits give 0), or
// the default when the file, section or key is missing or the value is empty.
int ReadProfileInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                   int defaultValue);

// Fills entries with the section's lines as GetPrivateProfileSectionW lists
// them: "key=value" (quotes kept) or a line without '=' as it stands. Returns
// false, entries empty, when the file cannot be read; a missing section gives
// true and no entries.
bool ReadProfileSection(const std::wstring& section, const std::wstring& path,
                        std::vector<std::wstring>& entries);
// As above, on the parsed contents of a file that was read already.
void ReadProfileSection(const CIniDocument& document, const std::wstring& section,
                        std::vector<std::wstring>& entries);

// Sets the key to value, or deletes the key when value is null. Every other
// byte of the file stays as it was, in its encoding; a missing file is created
// in the ANSI code page (but not for a delete). Returns false when the file
// exists but cannot be read, or cannot be written.
bool WriteProfileValue(const std::wstring& section, const std::wstring& key, const wchar_t* value,
                       const std::wstring& path);

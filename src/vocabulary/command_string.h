// Command strings: a scheme word "qkmt" (or a longer word starting with it),
// ':' and the Base64 form of a parameter text in the ANSI code page, one
// "-KEY=value" entry per line. Web pages start the client with them and the
// updater writes them for the processes it starts.
#pragma once

#include <string>

// Returns true when the line, ignoring letter case and white space at either
// end, starts with "qkmt" and its first ':' stands at position 1 to 32.
// DecodeCmdLine takes the line as it is, so surrounding white space still
// makes the decoding fail.
bool IsCommandString(const std::wstring& commandLine);

// Splits commandString at its first ':' into prefix (up to and including the
// ':', letter case kept) and Base64 body, and decodes the body into the
// parameter text, which ends at the first zero byte. Returns false, after one
// ERR line, when the string does not begin with "qkmt" in any letter case or
// has no ':' ("unknow cmd prefix!"), or when the body is not Base64 or its
// text is empty or does not begin with '-' ("unknow decode cmdstr!"); text is
// then empty and prefix unchanged.
bool DecodeCmdLine(const std::wstring& commandString, std::wstring& prefix, std::wstring& text);

// Returns prefix followed by the Base64 form of text in the ANSI code page;
// an empty text gives the prefix alone.
std::wstring EncodeCmdLine(const std::wstring& prefix, const std::wstring& text);

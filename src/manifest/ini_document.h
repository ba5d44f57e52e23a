// One INI file in memory, in the Windows INI format. Every line keeps the
// bytes it came from, so a change rewrites only the line it touches and every
// other byte of the file, its line breaks and its encoding stay as they were.
//
// Format, as the system's profile functions read it: lines end with "\r\n",
// "\n" or "\r" and lose blanks (space, tab, vertical tab) on both sides; a
// line beginning with '[' opens a section named by the text up to the first
// ']' or the end of the line, trimmed; a line beginning with ';' is a comment;
// in "key=value" the first '=' splits the key from the value, both trimmed;
// any other line is kept but names no key. Lines before the first section
// belong to no section. Sections and keys match ignoring case, names asked for
// lose their spaces; only the first section of a name and, in it, the first
// line of a key count.
//
// Not thread-safe; a document is built, used and dropped by one caller.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CIniDocument {
public:
    enum Encoding {
        INI_ENCODING_ANSI,     // the ANSI code page, no byte-order mark
        INI_ENCODING_UTF8,     // after the bytes EF BB BF
        INI_ENCODING_UTF16LE,  // after the bytes FF FE
    };

    // An empty file: ANSI, new lines end with "\r\n".
    CIniDocument();
    // Parses the bytes of a file. Never fails: any bytes give a document (an
    // odd last byte of a UTF-16 file is kept but not read).
    explicit CIniDocument(const std::string& bytes);

    Encoding GetEncoding() const { return encoding_; }

    // True and the key's trimmed value, quotes included; false when the
    // section or the key is missing.
    bool FindValue(const std::wstring& section, const std::wstring& key, std::wstring& value) const;
    // True and the section's lines in file order, comments and blank lines left
    // out: "key=value" for a key, any other line as it stands; false when the
    // section is missing.
    bool GetSectionEntries(const std::wstring& section, std::vector<std::wstring>& entries) const;
    // Replaces the key's value, or adds the key after the last line of its
    // section, or adds the section with the key at the end of the file.
    void SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    // Removes the key's line; false when there was no such key.
    bool DeleteKey(const std::wstring& section, const std::wstring& key);
    // The file's bytes, as parsed plus the changes made since.
    std::string ToBytes() const;

private:
    enum LineKind { LINE_BLANK, LINE_SECTION, LINE_COMMENT, LINE_KEY, LINE_OTHER };

    struct Line {
        std::wstring text;      // decoded, without its line break
        std::string bytes;      // what text was decoded from, written back unchanged
        std::string lineBreak;  // the break's bytes; empty on a last line without one
        LineKind kind = LINE_BLANK;
        std::wstring name;      // section name or key, trimmed
        size_t valueBegin = 0;  // the trimmed value in text, for keys
        size_t valueEnd = 0;
    };

    static Line MakeLine(std::wstring text, std::string bytes, std::string lineBreak);
    // Index of the first header of that name, or lines_.size().
    size_t FindSection(const std::wstring& section) const;
    // Index past the last line of the section whose header is at index header.
    size_t SectionEnd(size_t header) const;
    // Index of the key's line in the first section of that name, or lines_.size().
    size_t FindKey(const std::wstring& section, const std::wstring& key) const;
    // Inserts a new line of that text before index, with the file's line break.
    void AddLine(size_t index, const std::wstring& text);

    std::wstring Decode(const std::string& bytes) const;
    std::string Encode(const std::wstring& text) const;

    Encoding encoding_ = INI_ENCODING_ANSI;
    std::string byteOrderMark_;
    std::vector<Line> lines_;
    std::string tail_;          // bytes after the last whole character
    std::string newLineBreak_;  // break for added lines: the file's first, else "\r\n"
};

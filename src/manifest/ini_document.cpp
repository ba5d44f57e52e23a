#include "manifest/ini_document.h"

#include <algorithm>
#include <cstdint>

#include "util/code_page.h"
#include "util/text_util.h"
#include "util/utf16.h"

namespace {

const char kUtf16LeMark[] = "\xFF\xFE";
const char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v'; }

// Text in the file loses blanks on both sides.
std::wstring Trim(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// A section or key name asked for loses only spaces, so a name asked for with
// a tab never matches, as with the system's functions.
std::wstring TrimSpaces(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

}  // namespace

CIniDocument::CIniDocument() : newLineBreak_("\r\n") {}

CIniDocument::CIniDocument(const std::string& bytes) {
    if (bytes.compare(0, 2, kUtf16LeMark) == 0) {
        encoding_ = INI_ENCODING_UTF16LE;
        byteOrderMark_ = kUtf16LeMark;
    } else if (bytes.compare(0, 3, kUtf8Mark) == 0) {
        encoding_ = INI_ENCODING_UTF8;
        byteOrderMark_ = kUtf8Mark;
    }
    const size_t unit = encoding_ == INI_ENCODING_UTF16LE ? 2 : 1;
    size_t pos = byteOrderMark_.size();
    const size_t end = pos + (bytes.size() - pos) / unit * unit;
    tail_ = bytes.substr(end);

    // '\r' and '\n' are never part of a multi-byte character in the ANSI code
    // pages or UTF-8, so lines can be split on the bytes themselves.
    auto unitAt = [&bytes, unit](size_t i) {
        uint32_t value = static_cast<unsigned char>(bytes[i]);
        if (unit == 2) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        return value;
    };
    while (pos < end) {
        size_t lineEnd = pos;
        while (lineEnd < end && unitAt(lineEnd) != '\r' && unitAt(lineEnd) != '\n') lineEnd += unit;
        size_t next = lineEnd;
        if (next < end) {
            const bool carriageReturn = unitAt(next) == '\r';
            next += unit;
            if (carriageReturn && next < end && unitAt(next) == '\n') next += unit;
        }
        std::string content = bytes.substr(pos, lineEnd - pos);
        std::wstring text = Decode(content);
        std::string lineBreak = bytes.substr(lineEnd, next - lineEnd);
        if (newLineBreak_.empty()) newLineBreak_ = lineBreak;
        lines_.push_back(MakeLine(std::move(text), std::move(content), std::move(lineBreak)));
        pos = next;
    }
    if (newLineBreak_.empty()) newLineBreak_ = Encode(L"\r\n");
}

CIniDocument::Line CIniDocument::MakeLine(std::wstring text, std::string bytes, std::string lineBreak) {
    Line line;
    line.bytes = std::move(bytes);
    line.lineBreak = std::move(lineBreak);
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    if (first == last) {
        line.kind = LINE_BLANK;
    } else if (text[first] == L'[') {
        // The name ends at the first ']', or at the end of the line when there
        // is none; anything after the ']' is ignored.
        const size_t close = text.find(L']', first);
        line.kind = LINE_SECTION;
        line.name = Trim(text.substr(first + 1, std::min(close, last) - first - 1));
    } else if (text[first] == L';') {
        line.kind = LINE_COMMENT;
    } else {
        const size_t equals = text.find(L'=', first);
        if (equals < last) {
            line.kind = LINE_KEY;
            line.name = Trim(text.substr(first, equals - first));
            size_t valueBegin = equals + 1;
            while (valueBegin < last && IsBlank(text[valueBegin])) ++valueBegin;
            line.valueBegin = valueBegin;
            line.valueEnd = last;
        } else {
            line.kind = LINE_OTHER;
        }
    }
    line.text = std::move(text);
    return line;
}

size_t CIniDocument::FindSection(const std::wstring& section) const {
    const std::wstring name = TrimSpaces(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LINE_SECTION && EqualsIgnoringCase(lines_[i].name, name)) return i;
    }
    return lines_.size();
}

size_t CIniDocument::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != LINE_SECTION) ++i;
    return i;
}

size_t CIniDocument::FindKey(const std::wstring& section, const std::wstring& key) const {
    const size_t header = FindSection(section);
    if (header == lines_.size()) return lines_.size();
    const std::wstring name = TrimSpaces(key);
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == LINE_KEY && EqualsIgnoringCase(lines_[i].name, name)) return i;
    }
    return lines_.size();
}

bool CIniDocument::FindValue(const std::wstring& section, const std::wstring& key,
                             std::wstring& value) const {
    const size_t index = FindKey(section, key);
    if (index == lines_.size()) return false;
    const Line& line = lines_[index];
    value = line.text.substr(line.valueBegin, line.valueEnd - line.valueBegin);
    return true;
}

bool CIniDocument::GetSectionEntries(const std::wstring& section,
                                     std::vector<std::wstring>& entries) const {
    entries.clear();
    const size_t header = FindSection(section);
    if (header == lines_.size()) return false;
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        const Line& line = lines_[i];
        if (line.kind == LINE_KEY) {
            entries.push_back(line.name + L'=' +
                              line.text.substr(line.valueBegin, line.valueEnd - line.valueBegin));
        } else if (line.kind == LINE_OTHER) {
            entries.push_back(Trim(line.text));
        }
    }
    return true;
}

void CIniDocument::SetValue(const std::wstring& section, const std::wstring& key,
                            const std::wstring& value) {
    const std::wstring keyLine = TrimSpaces(key) + L'=' + value;
    const size_t header = FindSection(section);
    if (header == lines_.size()) {
        if (!lines_.empty() && lines_.back().lineBreak.empty()) lines_.back().lineBreak = newLineBreak_;
        AddLine(lines_.size(), L'[' + TrimSpaces(section) + L']');
        AddLine(lines_.size(), keyLine);
        return;
    }
    const size_t index = FindKey(section, key);
    if (index != lines_.size()) {
        Line& line = lines_[index];
        std::wstring text = line.text;
        text.replace(line.valueBegin, line.valueEnd - line.valueBegin, value);
        std::string bytes = Encode(text);
        line = MakeLine(std::move(text), std::move(bytes), std::move(line.lineBreak));
        return;
    }
    // After the section's last line that is not blank, so blank lines that set
    // it apart from the next section stay where they are.
    size_t last = header;
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind != LINE_BLANK) last = i;
    }
    if (lines_[last].lineBreak.empty()) lines_[last].lineBreak = newLineBreak_;
    AddLine(last + 1, keyLine);
}

bool CIniDocument::DeleteKey(const std::wstring& section, const std::wstring& key) {
    const size_t index = FindKey(section, key);
    if (index == lines_.size()) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

std::string CIniDocument::ToBytes() const {
    std::string bytes = byteOrderMark_;
    for (const Line& line : lines_) {
        bytes += line.bytes;
        bytes += line.lineBreak;
    }
    bytes += tail_;
    return bytes;
}

void CIniDocument::AddLine(size_t index, const std::wstring& text) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                  MakeLine(text, Encode(text), newLineBreak_));
}

std::wstring CIniDocument::Decode(const std::string& bytes) const {
    switch (encoding_) {
    case INI_ENCODING_UTF8:
        return Utf8ToWide(bytes);
    case INI_ENCODING_UTF16LE:
        return DecodeUtf16Le(bytes);
    case INI_ENCODING_ANSI:
        break;
    }
    return AnsiToWide(bytes);
}

std::string CIniDocument::Encode(const std::wstring& text) const {
    switch (encoding_) {
    case INI_ENCODING_UTF8:
        return WideToUtf8(text);
    case INI_ENCODING_UTF16LE:
        return EncodeUtf16Le(text);
    case INI_ENCODING_ANSI:
        break;
    }
    return WideToAnsi(text);
}

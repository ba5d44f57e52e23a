// The web server's replies as the update worker reads them: the bytes of a
// reply file, saved in the scratch directory, read back and converted to wide
// text, then taken as a meeting information reply (the error form, or a
// command string naming the domain) and as a client version reply. The parts
// each parser returns must be what the reply says, and no reply is both an
// error and a domain.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "update/server_reply.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/text_util.h"
#include "vocabulary/cmd_param_deal.h"
#include "vocabulary/command_string.h"

namespace {

const size_t kErrorPrefixLength = 5;  // "erro:"

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool HasErrorPrefix(const std::wstring& reply) {
    static const wchar_t kPrefix[] = L"erro:";
    if (reply.size() < kErrorPrefixLength) return false;
    for (size_t i = 0; i < kErrorPrefixLength; ++i) {
        if (LowerAscii(reply[i]) != kPrefix[i]) return false;
    }
    return true;
}

// The pieces a parameter text is read in: split at every '\n', the empty
// piece after the last one left out; an empty text is one empty piece.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            if (start < text.size() || start == 0) lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Each line's key (up to its first '=') with its value; a later line wins.
std::map<std::wstring, std::wstring> Entries(const std::wstring& text) {
    std::map<std::wstring, std::wstring> entries;
    for (const std::wstring& line : Lines(text)) {
        const size_t equals = line.find(L'=');
        entries[line.substr(0, equals)] = equals == std::wstring::npos ? std::wstring() : line.substr(equals + 1);
    }
    return entries;
}

std::wstring ValueOf(const std::map<std::wstring, std::wstring>& entries, const std::wstring& key) {
    const auto found = entries.find(key);
    return found == entries.end() ? std::wstring() : found->second;
}

// What FetchReply does with the file: read it whole, delete it, convert it.
std::wstring ReadReplyFile(const std::string& bytes) {
    ClearFuzzScratchDir();
    const std::wstring path = FuzzScratchDir() + L"meetinfo";
    FUZZ_CHECK(WriteWholeFile(path, bytes));
    std::string read;
    FUZZ_CHECK(ReadWholeFile(path, read));
    FUZZ_CHECK(read == bytes);
    FUZZ_CHECK(DeleteFileRetry(path, true));
    return AnsiToWide(read);
}

// UTF-8, this build's ANSI code page, spells an ASCII character only with its
// own byte, so the prefixes and separators the parsers look for are exactly
// those of the file; every other byte becomes a Unicode character.
void CheckConversion(const std::string& bytes, const std::wstring& reply) {
    std::string asciiBytes;
    for (char byte : bytes) {
        if (static_cast<unsigned char>(byte) < 0x80) asciiBytes += byte;
    }
    std::string asciiCharacters;
    for (wchar_t c : reply) {
        FUZZ_CHECK(static_cast<uint32_t>(c) <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF));
        if (static_cast<uint32_t>(c) < 0x80) asciiCharacters += static_cast<char>(c);
    }
    FUZZ_CHECK(asciiCharacters == asciiBytes);
    // The reply as the log lines hold it converts back to the same reply.
    FUZZ_CHECK(AnsiToWide(WideToAnsi(reply)) == reply);
}

// Returns whether the reply has the error form.
bool CheckMeetingError(const std::wstring& reply) {
    int number = -7;
    std::wstring message = L"untouched";
    const bool isError = ParseMeetingError(reply, number, message);
    FUZZ_CHECK(isError == HasErrorPrefix(reply));
    if (!isError) {
        FUZZ_CHECK(number == -7 && message == L"untouched");
        return false;
    }
    // The message ends the reply; between the prefix and it stands nothing,
    // or a number: a digit first, then no space up to the one before the message.
    const std::wstring rest = reply.substr(kErrorPrefixLength);
    FUZZ_CHECK(message.size() <= rest.size());
    FUZZ_CHECK(rest.compare(rest.size() - message.size(), message.size(), message) == 0);
    const std::wstring numberText = rest.substr(0, rest.size() - message.size());
    const size_t space = rest.find(L' ');
    if (numberText.empty()) {
        FUZZ_CHECK(number == 0);
        FUZZ_CHECK(rest.empty() || !IsDigit(rest[0]) || space == std::wstring::npos);
        return true;
    }
    FUZZ_CHECK(IsDigit(numberText[0]) && space == numberText.size() - 1);
    // Up to nine digits the number is their value; more may wrap.
    size_t digits = 0;
    int value = 0;
    for (; digits < numberText.size() && IsDigit(numberText[digits]); ++digits) {
        if (digits < 9) value = value * 10 + (numberText[digits] - L'0');
    }
    if (digits <= 9) FUZZ_CHECK(number == value);
    return true;
}

void CheckMeetingDomain(const std::wstring& reply, bool isError) {
    const std::wstring domain = MeetingReplyDomain(reply);
    std::wstring prefix;
    std::wstring text;
    if (!DecodeCmdLine(reply, prefix, text)) {
        FUZZ_CHECK(domain.empty());
        return;
    }
    FUZZ_CHECK(!isError);
    // The decoded text ends at the first zero byte; the domain is the value
    // of its last "-DOMAIN" line.
    FUZZ_CHECK(text.find(L'\0') == std::wstring::npos);
    FUZZ_CHECK(domain == ValueOf(Entries(text), L"-DOMAIN"));
    FUZZ_CHECK(domain.find(L'\n') == std::wstring::npos);
    // The worker passes the domain on in the parameters it encodes again.
    FUZZ_CHECK(MeetingReplyDomain(EncodeCmdLine(prefix, text)) == domain);
}

void CheckVersionReply(const std::wstring& reply) {
    CmdParamDeal values;
    ParseVersionReply(reply, values);
    // The table holds exactly the reply's lines, each split at its first '='.
    const std::map<std::wstring, std::wstring> entries = Entries(reply);
    std::wstring expected;
    for (const auto& entry : entries) expected += entry.first + L"=" + entry.second + L"\n";
    FUZZ_CHECK(values.Serialize(L'\n', L'=') == expected);

    for (const wchar_t* key : {L"-ERR", L"-SPVER", L"-UPURL"}) {
        std::wstring value = L"absent";
        const bool present = values.Get(key, value);
        FUZZ_CHECK(present == (entries.count(key) != 0));
        if (!present) continue;
        FUZZ_CHECK(value == entries.at(key));
        FUZZ_CHECK(value.empty() || reply.find(key + (L"=" + value)) != std::wstring::npos);
    }
    // The dest version is a piece of "-SPVER" without ';' or '-'.
    std::wstring spver;
    values.Get(L"-SPVER", spver);
    const std::wstring dest = MainPartOf(spver);
    FUZZ_CHECK(spver.find(dest) != std::wstring::npos);
    FUZZ_CHECK(dest.find_first_of(L";-") == std::wstring::npos);
    ParseVersionNumber(dest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OpenFuzzTraceLog();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring reply = ReadReplyFile(bytes);
    CheckConversion(bytes, reply);
    CheckMeetingDomain(reply, CheckMeetingError(reply));
    CheckVersionReply(reply);
    return 0;
}

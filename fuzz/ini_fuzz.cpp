// The INI reader and writer on any bytes a configuration or update-info file
// may hold: UTF-16LE or UTF-8 with their byte-order marks, or ANSI. Reads the
// first sections and keys the file names and the product's own keys, then
// writes a key and reads it back.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "manifest/cfg_file_lists.h"
#include "manifest/ini_document.h"
#include "manifest/ini_file.h"
#include "manifest/ini_profile.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/utf16.h"

namespace {

const size_t kNamesPerKind = 4;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\v'; }

std::wstring Trim(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// The file's text in its own encoding, roughly as the reader decodes it: it
// only has to offer names worth asking for.
std::wstring TextOf(const std::string& bytes) {
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) return DecodeUtf16Le(bytes.substr(2));
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return Utf8ToWide(bytes.substr(3));
    return AnsiToWide(bytes);
}

// The first few section names and keys that the file's lines name.
void NamesIn(const std::wstring& text, std::vector<std::wstring>& sections, std::vector<std::wstring>& keys) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        if (line[0] == L'[') {
            if (sections.size() < kNamesPerKind) sections.push_back(Trim(line.substr(1, line.find(L']') - 1)));
        } else if (line.find(L'=') != std::wstring::npos && keys.size() < kNamesPerKind) {
            keys.push_back(Trim(line.substr(0, line.find(L'='))));
        }
    }
}

// A name that a written line gives back as it was asked for: one line, no
// blanks at either end, nothing that ends a section name or a key, and no
// start that makes a line a comment or a section.
bool IsPlainName(const std::wstring& name, bool isSection) {
    if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) return false;
    if (name.find_first_of(isSection ? L"\r\n]" : L"\r\n=") != std::wstring::npos) return false;
    if (name.find(L'\0') != std::wstring::npos) return false;
    return isSection || (name[0] != L'[' && name[0] != L';');
}

// Reads each pair as the product reads its keys; every call reads the file anew.
void ReadKey(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
    for (int maxChars : {2, 256}) {
        const std::wstring value = ReadProfileString(section, key, L"default  ", maxChars, path);
        FUZZ_CHECK(value.size() < static_cast<size_t>(maxChars));
    }
    ReadProfileInt(path, section, key, -7);
}

void ReadEverything(const std::wstring& path, const std::vector<std::wstring>& sections,
                    const std::vector<std::wstring>& keys) {
    CIniFile ini;
    ini.SetFile(path);
    std::vector<std::wstring> allSections = sections;
    allSections.insert(allSections.end(), {L"VER", L"CFG", L""});
    for (const std::wstring& section : allSections) {
        std::vector<std::wstring> entries;
        FUZZ_CHECK(ReadProfileSection(section, path, entries));
        SIniSection jobs;
        const bool whole = ini.GetSection(section, jobs);
        FUZZ_CHECK(whole ? ini.GetLastErrorCode() == INI_ERROR_NONE
                         : ini.GetLastErrorCode() == INI_ERROR_BAD_FORMAT);
        FUZZ_CHECK(jobs.entries.size() <= entries.size());
    }
    for (const std::wstring& section : sections) {
        for (const std::wstring& key : keys) ReadKey(path, section, key);
    }
    const wchar_t* const productKeys[][2] = {
        {L"VER", L"Ver"}, {L"VER", L"INIVer"}, {L"CFG", L"cfgProxy"}, {L"CFG", L"TVVersion"}, {L"ZOLTA", L"Job_APPEXE"}};
    for (const auto& pair : productKeys) ReadKey(path, pair[0], pair[1]);
    ReadNoUpdateFiles(path);
    ListNamesFile(ReadNoDownFiles(path), L"a.dll");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const CIniDocument document(bytes);
    // Whatever it holds, the file is written back byte for byte.
    FUZZ_CHECK(document.ToBytes() == bytes);

    std::vector<std::wstring> sections;
    std::vector<std::wstring> keys;
    NamesIn(TextOf(bytes), sections, keys);

    ClearFuzzScratchDir();
    const std::wstring path = FuzzScratchDir() + L"fuzz.ini";
    FUZZ_CHECK(WriteWholeFile(path, bytes));
    ReadEverything(path, sections, keys);

    // A write changes one key, in the file's own encoding, and reads back.
    const std::wstring section = !sections.empty() && IsPlainName(sections[0], true) ? sections[0] : L"Fuzz";
    const std::wstring key = !keys.empty() && IsPlainName(keys[0], false) ? keys[0] : L"Key";
    const std::wstring value = L"new value";
    FUZZ_CHECK(WriteProfileValue(section, key, value.c_str(), path));
    std::string written;
    FUZZ_CHECK(ReadWholeFile(path, written));
    FUZZ_CHECK(CIniDocument(written).GetEncoding() == document.GetEncoding());
    FUZZ_CHECK(ReadProfileString(section, key, nullptr, 256, path) == value);
    FUZZ_CHECK(WriteProfileValue(section, key, nullptr, path));
    return 0;
}

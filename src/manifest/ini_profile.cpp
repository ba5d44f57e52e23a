#include "manifest/ini_profile.h"

#include "manifest/ini_document.h"
#include "util/file_util.h"
#include "util/text_util.h"

namespace {

// The value as the profile functions hand it out: one pair of matching quotes
// around the whole value is removed. False when section or key is missing.
bool FindProfileValue(const CIniDocument& document, const std::wstring& section, const std::wstring& key,
                      std::wstring& value) {
    if (!document.FindValue(section, key, value)) return false;
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return true;
}

// ReadProfileString on a parsed file, or on none when it could not be read.
std::wstring ProfileString(const CIniDocument* document, const std::wstring& section, const std::wstring& key,
                           const wchar_t* defaultValue, int maxChars) {
    if (maxChars <= 0) return std::wstring();
    std::wstring value;
    if (document == nullptr || !FindProfileValue(*document, section, key, value)) {
        // Trailing blanks of a default are dropped, as the system documents.
        value = defaultValue ? defaultValue : L"";
        value.erase(value.find_last_not_of(L' ') + 1);
    }
    if (value.size() >= static_cast<size_t>(maxChars)) value.resize(static_cast<size_t>(maxChars) - 1);
    return value;
}

}  // namespace

bool ReadIniDocument(const std::wstring& path, CIniDocument& document) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    document = CIniDocument(bytes);
    return true;
}

std::wstring ReadProfileString(const std::wstring& section, const std::wstring& key,
                               const wchar_t* defaultValue, int maxChars, const std::wstring& path) {
    if (maxChars <= 0) return std::wstring();
    CIniDocument document;
    return ProfileString(ReadIniDocument(path, document) ? &document : nullptr, section, key, defaultValue, maxChars);
}

std::wstring ReadProfileString(const CIniDocument& document, const std::wstring& section, const std::wstring& key,
                               const wchar_t* defaultValue, int maxChars) {
    return ProfileString(&document, section, key, defaultValue, maxChars);
}

int ReadProfileInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                   int defaultValue) {
    CIniDocument document;
    std::wstring value;
    if (!ReadIniDocument(path, document) || !FindProfileValue(document, section, key, value) || value.empty()) {
        return defaultValue;
    }
    size_t first = 0;
    while (first < value.size() && (value[first] == L' ' || value[first] == L'\t')) ++first;
    return ParseLeadingInt(value.substr(first));
}

bool ReadProfileSection(const std::wstring& section, const std::wstring& path,
                        std::vector<std::wstring>& entries) {
    entries.clear();
    CIniDocument document;
    if (!ReadIniDocument(path, document)) return false;
    document.GetSectionEntries(section, entries);
    return true;
}

void ReadProfileSection(const CIniDocument& document, const std::wstring& section,
                        std::vector<std::wstring>& entries) {
    document.GetSectionEntries(section, entries);
}

bool WriteProfileValue(const std::wstring& section, const std::wstring& key, const wchar_t* value,
                       const std::wstring& path) {
    CIniDocument document;
    // A file that exists but cannot be read is left alone rather than replaced.
    if (!ReadIniDocument(path, document) && FileExists(path)) return false;
    if (!value) return !document.DeleteKey(section, key) || WriteWholeFile(path, document.ToBytes());
    document.SetValue(section, key, value);
    return WriteWholeFile(path, document.ToBytes());
}

#include "manifest/ini_file.h"

#include <utility>

#include "manifest/ini_document.h"
#include "manifest/ini_profile.h"
#include "util/file_util.h"
#include "util/text_util.h"

void CIniFile::SetFile(const std::wstring& path) {
    path_ = path;
    kept_.reset();
}

void CIniFile::ExpandValue(std::wstring&) const {}

std::wstring CIniFile::GetString(const std::wstring& section, const std::wstring& key,
                                 const wchar_t* defaultValue, int maxChars) const {
    std::wstring value = kept_ ? ReadProfileString(*kept_, section, key, defaultValue, maxChars)
                               : ReadProfileString(section, key, defaultValue, maxChars, path_);
    ExpandValue(value);
    return value;
}

int CIniFile::GetInt(const std::wstring& section, const std::wstring& key) const {
    return ParseLeadingInt(GetString(section, key, nullptr, 32));
}

bool CIniFile::GetSection(const std::wstring& name, SIniSection& section) {
    section.name = name;
    section.entries.clear();
    // The system call this mirrors gets a buffer of as many characters as the
    // file has bytes. That always holds the whole section: no entry is longer
    // than its line, each line break pays for an entry's terminating NUL and
    // the section header for the final one. So the section is taken uncut.
    std::vector<std::wstring> lines;
    if (kept_) {
        ReadProfileSection(*kept_, name, lines);
    } else if (!ReadProfileSection(name, path_, lines)) {
        lastError_ = FileExists(path_) ? INI_ERROR_ACCESS_DENIED : INI_ERROR_FILE_NOT_FOUND;
        return false;
    }
    for (const std::wstring& line : lines) {
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) {
            lastError_ = INI_ERROR_BAD_FORMAT;
            return false;
        }
        SIniEntry entry{line.substr(0, equals), line.substr(equals + 1)};
        ExpandValue(entry.value);
        section.entries.push_back(std::move(entry));
    }
    lastError_ = INI_ERROR_NONE;
    return true;
}

bool CIniFile::KeepContents() {
    auto document = std::make_shared<CIniDocument>();
    if (!ReadIniDocument(path_, *document)) {
        kept_.reset();
        return false;
    }
    kept_ = std::move(document);
    return true;
}

// Access to one INI file by path, the base of the update-info file's class.
// It holds no open handle: every call reads the file anew (ini_profile.h),
// unless a caller that reads many sections in one go keeps its contents.
// No lock: an instance is used only by the thread that owns it.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CIniDocument;

struct SIniEntry {
    std::wstring key;
    std::wstring value;
};

struct SIniSection {
    std::wstring name;
    std::vector<SIniEntry> entries;  // in file order
};

// The system's error codes that GetSection records for its failures.
enum IniError {
    INI_ERROR_NONE = 0,
    INI_ERROR_FILE_NOT_FOUND = 2,
    INI_ERROR_ACCESS_DENIED = 5,  // the file exists but cannot be read
    INI_ERROR_BAD_FORMAT = 11,    // a section line without '='
};

class CIniFile {
public:
    CIniFile() = default;

    // Stores the path of the file that the other calls read; kept contents
    // are forgotten.
    virtual void SetFile(const std::wstring& path);
    // Rewrites every value that GetString and GetSection return, in place,
    // before the caller sees it. Here it leaves the value as it is.
    virtual void ExpandValue(std::wstring& value) const;
    virtual ~CIniFile() = default;

    const std::wstring& GetFile() const { return path_; }

    // Returns the value as ReadProfileString does (the default, null meaning
    // empty, for a missing file, section or key; cut to maxChars - 1), then expanded.
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const wchar_t* defaultValue, int maxChars) const;
    // Returns GetString(section, key, null, 32) read as a decimal integer
    // (optional sign, digits up to the first non-digit); 0 for a missing key
    // or non-numeric text.
    int GetInt(const std::wstring& section, const std::wstring& key) const;
    // Sets section's name, then fills its entries with the section's key/value
    // pairs in file order, each value expanded. A section missing from the file
    // gives true and no entries. Returns false when the file cannot be read
    // (INI_ERROR_FILE_NOT_FOUND or INI_ERROR_ACCESS_DENIED) or at the first line
    // without '=' (INI_ERROR_BAD_FORMAT; the entries before it stay).
    bool GetSection(const std::wstring& name, SIniSection& section);
    // The IniError of the last GetSection; INI_ERROR_NONE after a success.
    int GetLastErrorCode() const { return lastError_; }

    // Reads the file once; the reads above then answer from that copy until
    // ForgetContents or SetFile, so a caller that reads many sections while
    // the file stays as it is parses it once. Returns false, keeping nothing,
    // when the file cannot be read.
    bool KeepContents();
    void ForgetContents() { kept_.reset(); }
    bool KeepsContents() const { return kept_ != nullptr; }

private:
    std::wstring path_;
    int lastError_ = INI_ERROR_NONE;
    std::shared_ptr<const CIniDocument> kept_;
};

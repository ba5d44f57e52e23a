// The update-info file (UpdateInfo.ini) of a client version, read with macro
// expansion: every value read through it has the names of its macro table
// ("%APPDIR%" and the others below) replaced by their values.
//
// No lock: the update worker owns one per update-info file and is its only
// user.
#pragma once

#include <map>
#include <string>

#include "manifest/ini_file.h"

// The update-info file's name, in the application directory and in "UpdateVer\".
extern const wchar_t kUpdateInfoFileName[];  // "UpdateInfo.ini"
// "[VER]" key by which a signed manifest allows an older version to replace a newer one.
extern const wchar_t kAllowDowngradeKey[];  // "AllowDowngrade"

// The macros of an update-info file.
extern const wchar_t kMacroQkMeetDir[];  // "%QKMEETDIR%": the application directory
extern const wchar_t kMacroAppDir[];     // "%APPDIR%": the application directory
extern const wchar_t kMacroOemId[];      // "%OEMID%": the OEM identifier
extern const wchar_t kMacroAppExe[];     // "%APPEXE%": name of the client's main program
extern const wchar_t kMacroOrgParam[];   // "%ORGPARAM%": the updater's start parameters

class CQKUpdateIni : public CIniFile {
public:
    // appDir is the application directory ending in '\' (the executable
    // passes GetAppDir()); oemId the OEM identifier (string resource 1003).
    CQKUpdateIni(const std::wstring& appDir, const std::wstring& oemId);

    // Stores the path, then rebuilds the macro table: "%QKMEETDIR%",
    // "%APPDIR%", "%OEMID%", and "%APPEXE%" as the name of the file entry in
    // key "Job_APPEXE" of the OEM section (read with the three before
    // expanded); without that key, or when it does not parse, "%APPEXE%" is
    // not defined. Macros set before are dropped.
    void SetFile(const std::wstring& path) override;
    // Replaces, for each macro in the order of their names (case-sensitive),
    // every occurrence of its name, left to right; other text between '%'
    // signs stays as it is.
    void ExpandValue(std::wstring& value) const override;

    // Adds or replaces one macro; name includes both '%' signs.
    void SetMacro(const std::wstring& name, const std::wstring& value);
    // The macro's value; empty when the table does not hold the name.
    std::wstring GetMacro(const std::wstring& name) const;

    // The main section: "MAIN" when "INIVer" of section "VER" is 1 or less or
    // missing, else "MAIN_V" followed by that number.
    std::wstring GetMainSection() const;

private:
    std::wstring appDir_;
    std::wstring oemId_;
    std::map<std::wstring, std::wstring> macros_;
};

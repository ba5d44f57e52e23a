// Writing an update-info file (UpdateInfo.ini): its sections and keys in the
// order given, job values in the grammar the finger model reads
// (manifest/finger_file.h, ParseFileEntry and ParseDeleteEntry), and the file
// as UTF-16LE with a byte-order mark, which every client reads alike
// whatever its ANSI code page, so names outside ASCII survive.
//
// Not thread-safe; one writer belongs to one caller.
#pragma once

#include <string>
#include <vector>

#include "manifest/finger_item.h"

// Keys of the update-info file.
extern const wchar_t kVersionSection[];  // "VER"
extern const wchar_t kVersionKey[];      // "Ver"
extern const wchar_t kIniVersionKey[];   // "INIVer"
extern const wchar_t kUpdateExeKey[];    // "UpdateExe"
extern const wchar_t kJobStringKey[];    // "JobString"
extern const wchar_t kStopCmdKey[];      // "StopCmd"
extern const wchar_t kCheckCmdKey[];     // "CheckCmd"
extern const wchar_t kSetupCmdKey[];     // "SetupCmd"
extern const wchar_t kStartCmdKey[];     // "StartCmd"
extern const wchar_t kSectionTypeKey[];  // "SectionType"
extern const wchar_t kSectionTypeModule[];  // "module": a "sub" job makes a child section
extern const wchar_t kAppExeKey[];       // "Job_APPEXE", in the OEM section

// The main section for a layout version: "MAIN" up to 1, else "MAIN_V<n>".
std::wstring MainSectionName(int iniVer);

// True when the text is read back unchanged as one field of a job value:
// without ';', line breaks and NUL, without blanks at either end (the reader
// trims them) and without the name of a macro ("%APPDIR%" and the others),
// which the reader would replace.
bool CanWriteJobField(const std::wstring& text);

// Sets value to the "dlfl" job of the entry: name, size, time, compression,
// source path, transfer size, check kind and check value. An empty check
// value is followed by one more ';', because the reader cannot take an empty
// last field. Returns false, value unchanged, when the name or the source
// path is empty, a field fails CanWriteJobField, the compression kind is one
// the updater cannot unpack (neither kZipStored nor kZipZf7z) or the check
// kind has no text (CHECK_KIND_OTHER).
bool FileJobValue(const SFileItem& item, std::wstring& value);
// Sets value to the "rmfl" job of the entry, with the field "err" when a
// failed delete is to fail the update. Returns false, value unchanged, when
// the name is empty or fails CanWriteJobField.
bool DeleteJobValue(const SFingerDelItem& item, std::wstring& value);
// The "sub" job that processes the section.
std::wstring SubJobValue(const std::wstring& section);

class CUpdateInfoWriter {
public:
    // Starts a new section; the keys added next belong to it. Section names
    // are written as given: the caller keeps them free of ']' and line breaks.
    void BeginSection(const std::wstring& name);
    // Adds key=value for a value read as a string: a value enclosed in one
    // pair of quotes gets a second pair, since the reader drops one. Ignored
    // before the first BeginSection, as is AddJob.
    void AddString(const std::wstring& key, const std::wstring& value);
    // Adds the next job of the section, keys "Job_1", "Job_2" and so on.
    void AddJob(const std::wstring& value);

    // The file's text: one "[section]" line, then its "key=value" lines, a
    // blank line between sections, every line ending in "\r\n".
    std::wstring GetText() const;
    // GetText as UTF-16LE after the byte-order mark FF FE.
    std::string GetBytes() const;

private:
    struct Section {
        std::wstring name;
        std::vector<std::wstring> lines;
        int jobs = 0;
    };
    std::vector<Section> sections_;
};

// Turning a folder of client files into a release that the file servers
// serve as it is:
//   <out>\UpdateInfo.ini.<version>       the manifest that updaters download
//   <out>\UpdateInfo.ini.<version>.sig   its signature, when a key is given
//   <out>\UpdateInfo.ini                 the same bytes, the copy an installation keeps
//   <out>\<version>\<name>               every file, stored as it is or packed as ZF7Z
// The manifest lists the files sorted by name (ignoring case), so the same
// input always gives the same bytes; it holds no time but the files' own.
//
// Not thread-safe; one builder belongs to one caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "manifest/check_value.h"
#include "manifest/finger_item.h"
#include "manifest/zf7z_encoder.h"

// Which files are packed as ZF7Z.
enum PackMode {
    PACK_NONE,      // every file stored as it is
    PACK_ALL,       // every file packed
    PACK_MATCHING,  // files that match one of the patterns (MatchesNamePattern)
};

struct SRemoval {
    std::wstring name;         // relative to the installation, '\' separators
    bool failOnError = false;  // a failed delete fails the update ("err")
};

struct SReleaseOptions {
    std::wstring sourceDir;  // the client's files as they are to be installed
    std::wstring outputDir;
    std::wstring version;    // dotted decimal, 1 to 4 fields of 0 to 255, not all 0
    int iniVer = 1;          // "INIVer"; selects the main section's name
    int jobString = 0;       // "JobString": the status text shown while updating
    PackMode pack = PACK_NONE;
    std::vector<std::wstring> packPatterns;  // for PACK_MATCHING
    int packLevel = kZf7zDefaultLevel;       // 0 (fast) to 9 (small)
    int checkKind = CHECK_KIND_MD5;          // any FileCheckKind but CHECK_KIND_OTHER
    std::vector<SRemoval> removals;
    std::wstring oemId = L"ZOLTA";  // names the OEM section and the default updater name
    std::wstring updateExe;         // "UpdateExe", a bare file name; empty: oemId followed by "Meeting.exe"
    std::wstring appExe;            // file of "Job_APPEXE" ("%APPEXE%"); empty: no OEM section
    std::wstring stopCmd;
    std::wstring checkCmd;
    std::wstring setupCmd;
    std::wstring startCmd;
    // Files of each top-level folder go to a section of their own (a child
    // section, "SectionType=module", with its own commands), named after the
    // folder with the prefix "DIR_".
    bool sectionPerFolder = false;
    // Replace an existing <out>\<version> folder instead of refusing to run.
    bool overwrite = false;
    // "AllowDowngrade=1": updaters take this release even where a later one
    // is installed (to roll a bad release back).
    bool allowDowngrade = false;
    // PEM file of the release key's private half; empty: the release is not
    // signed (release_signer.h).
    std::wstring signKey;
};

// What a successful build wrote.
struct SReleaseSummary {
    std::wstring manifestPath;   // <out>\UpdateInfo.ini.<version>
    std::wstring signaturePath;  // its signature file; empty when not signed
    int files = 0;
    int packed = 0;
    int removals = 0;
    uint64_t sourceBytes = 0;    // sizes of the files as installed
    uint64_t transferBytes = 0;  // sizes of the files on the servers
    std::vector<std::wstring> warnings;  // things that work but are likely mistakes
};

class CReleaseBuilder {
public:
    // Checks the options, reads the source folder, writes every file, then
    // the signature and the manifest (last, so a failed build leaves no
    // manifest; an unsigned one removes an older signature file). Returns
    // true and fills summary; false, with GetError telling why, when an option
    // is invalid, the source folder is missing or holds a file the manifest
    // cannot describe, the output cannot be written, or <out>\<version>
    // exists without overwrite. A failure after <out>\<version> was made
    // removes that folder again.
    bool Build(const SReleaseOptions& options, SReleaseSummary& summary);
    // The reason of the last failed Build, one line naming the culprit.
    const std::wstring& GetError() const { return error_; }

private:
    struct SourceFile {
        std::wstring name;  // relative, '\' separators
        std::wstring folded;
        uint64_t size = 0;
        int64_t writeTime = 0;
    };

    bool CheckOptions();
    bool ScanFolder(const std::wstring& relative);
    bool CheckNames();
    bool PrepareOutput();
    bool PublishFile(const SourceFile& file, SFileItem& entry);
    bool ShouldPack(const SourceFile& file) const;
    bool WriteManifest(const std::vector<SFileItem>& entries);
    bool Fail(const std::wstring& message);

    SReleaseOptions options_;
    std::wstring sourceDir_;   // ends in '\'
    std::wstring outputDir_;   // ends in '\'
    std::wstring versionDir_;  // <out>\<version>\, ending in '\' as the others
    std::vector<SourceFile> files_;
    SReleaseSummary* summary_ = nullptr;
    std::wstring error_;
};

// Entries of the finger model (the manifest of a client version): files to
// install, files to remove, and the sections that group them, as the jobs of
// an update-info file list them. The model (finger_file.h) owns them; lists
// handed around hold borrowed pointers.
//
// An entry is built on one thread and afterwards only read (the decode
// thread reads file entries while the model stays unchanged), so it has no
// lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "manifest/check_value.h"

// Kinds of entries.
const int kFingerFile = 0;     // SFileItem / SFileTransItem
const int kFingerDelete = 1;   // SFingerDelItem
const int kFingerSection = 3;  // SFingerSection

// Status word of an entry: 0 when built; the local update sets 1 on every
// entry it is to apply in the installation.
const int kFingerStatusNone = 0;
const int kFingerStatusApply = 1;
// The update has applied the entry (set by the update worker).
const int kFingerStatusApplied = 2;

// Compression kinds, from the entry's fourth field ("", "ZLIB", "ZF7Z", other).
const int kZipStored = 0;
const int kZipZlib = 1;
const int kZipZf7z = 2;
const int kZipUnknown = 3;

// CompareWithEntry results.
const int kCheckMatch = 0;
const int kCheckSizeMismatch = -1;
const int kCheckValueMismatch = -2;

struct SFingerItem {
    explicit SFingerItem(int kindOfItem) : kind(kindOfItem) {}
    virtual ~SFingerItem() = default;

    int kind;
    std::wstring name;  // path relative to the installation directory
    int status = kFingerStatusNone;
};

using FingerItemList = std::vector<SFingerItem*>;

struct SFileItem : SFingerItem {
    SFileItem() : SFingerItem(kFingerFile) {}

    int32_t size = -1;      // bytes; negative: not given
    int32_t time = 0;       // seconds since 1970-01-01 UTC; 0: not given
    std::wstring srcPath;   // path of the file on the file server
    int zipType = kZipStored;
    int32_t transSize = -1;  // bytes on the wire; -1: not given
    int checkKind = CHECK_KIND_NONE;  // FileCheckKind, from the seventh field
    std::wstring checkValue;  // expected value, upper case

    // Computes the value of this entry's check kind for the file at path
    // (ComputeFileCheckValue). Returns false only for a version or MD5 value
    // that cannot be computed (no version resource, unreadable file); the
    // other kinds always give true, an unreadable INI file an empty value.
    bool ComputeCheckValue(const std::wstring& path, std::wstring& value) const;
    // Returns kCheckSizeMismatch when this entry gives a size and fileSize
    // differs from it; else kCheckValueMismatch when the entry has a check
    // kind, value is given and differs from the expected value (exact
    // comparison); else kCheckMatch.
    int CompareWithEntry(int64_t fileSize, const std::wstring* value) const;
};

// A file entry that may also describe a request (the error report's upload).
struct SFileTransItem : SFileItem {
    std::string requestBody;  // empty for manifest entries
};

struct SFingerDelItem : SFingerItem {
    SFingerDelItem() : SFingerItem(kFingerDelete) {}

    int ignoreFailure = 1;  // 0: a failed delete fails the update
};

struct SFingerSection : SFingerItem {
    SFingerSection(const std::wstring& sectionName, SFingerSection* parentSection)
        : SFingerItem(kFingerSection), parent(parentSection) {
        name = sectionName;
    }

    FingerItemList items;     // in job order; not owned
    SFingerSection* parent;   // null for the root
};

// Builds the entry of a "dlfl" job value: fields 1 to 8 are name, size, time,
// compression, source path, transfer size, check kind and check value.
// Returns null, after one log line, when a field is missing, the name would
// leave the installation directory (IsInstallRelativeName), or the size or
// transfer size is past the largest 32-bit number (a file of 2 GiB or more).
std::unique_ptr<SFileTransItem> ParseFileEntry(const std::wstring& value);

// Builds the entry of a "rmfl" job value: field 1 the name; field 2 "err"
// (after any leading ':') makes a failed delete an error. Returns null, after
// one log line, when field 1 is missing or the name would leave the
// installation directory.
std::unique_ptr<SFingerDelItem> ParseDeleteEntry(const std::wstring& value);

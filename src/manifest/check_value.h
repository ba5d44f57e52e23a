// The check values that manifest entries carry for their files, computed from
// a local file. The same computation tells whether an installed file is
// current and whether a downloaded file is sound. Any thread may call these.
#pragma once

#include <string>

// Check kinds, from the entry's check kind text by exact, case-sensitive match.
enum FileCheckKind {
    CHECK_KIND_NONE = 0,         // ""
    CHECK_KIND_VERSION = 1,      // "VER": the file's version resource
    CHECK_KIND_MD5 = 2,          // "MD5": digest of the file's bytes
    CHECK_KIND_INI_VERSION = 3,  // "IVER": the "Ver" key of section "VER"
    CHECK_KIND_OTHER = 4,        // any other text
    CHECK_KIND_SHA256 = 5,       // "SHA256": digest of the file's bytes
};

// Returns the kind that the text names; CHECK_KIND_OTHER for unknown text,
// lower case included.
int CheckKindFromText(const std::wstring& text);
// Sets text to the entry text of the kind. Returns false, text unchanged, for
// CHECK_KIND_OTHER and numbers that are no kind.
bool CheckKindText(int kind, std::wstring& text);

// Returns the "Ver" key of section "VER" with the file read as an INI file,
// as read (not case-converted, at most 31 characters); empty when the file,
// section or key is missing.
std::wstring IniVersionText(const std::wstring& path);

// Computes the value of the kind for the file at path: the version text, the
// MD5 or SHA-256 text (32 or 64 upper-case hexadecimal digits) or the INI
// version; kinds without a value give the empty text. Returns false, value
// empty, only for kinds CHECK_KIND_VERSION, CHECK_KIND_MD5 and
// CHECK_KIND_SHA256 when the file has no version resource or cannot be read.
bool ComputeFileCheckValue(int kind, const std::wstring& path, std::wstring& value);

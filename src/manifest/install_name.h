// Names of files inside the installation, as manifest entries give them:
// paths relative to the application directory, with '\' (or '/') between
// their components, compared ignoring case as the file system does.
#pragma once

#include <string>

// The folder of the installation where an update keeps the files it
// replaces or deletes, and its journal, until it is complete
// (update/apply_transaction.h). No release names anything inside it.
extern const wchar_t kUndoFolderName[];  // "~UpdateUndo"

// True when the name stays inside the directory it is appended to and
// reaches the file it reads as: not empty, not starting with a separator,
// without ':' (no drive, no stream), without a component that names a
// device ("CON", "NUL", "COM1", "LPT1"... also with an extension) and
// without a component ending in a dot or a space, which the system drops
// (so "..", ". ." and "..." never reach the parent); and when it lies
// outside the undo folder.
bool IsInstallRelativeName(const std::wstring& name);
// True when the name is a single component that IsInstallRelativeName takes:
// a file of the directory itself.
bool IsBareFileName(const std::wstring& name);

// The name with its letters in one case, for comparing names ignoring case:
// the letters of ASCII, Latin-1 and Cyrillic, without depending on the C
// library's locale.
std::wstring FoldFileName(const std::wstring& name);

// True when the two names are equal ignoring case (FoldFileName).
bool SameFileName(const std::wstring& a, const std::wstring& b);

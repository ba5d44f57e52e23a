// Wildcard patterns that pick files of a release by name ("*.dll",
// "bin\*.exe"), compared ignoring case as the installation's file system
// compares names.
#pragma once

#include <string>

// True when name (a relative path with '\' separators) matches pattern: '*'
// stands for any run of characters, separators included, '?' for one
// character, letters match ignoring case (FoldFileName), '/' in the pattern
// counts as '\'. A pattern without a separator is matched against the last
// component of name only, one with a separator against the whole name.
bool MatchesNamePattern(const std::wstring& pattern, const std::wstring& name);

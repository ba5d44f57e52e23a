// The text of a job value in an update-info file: fields separated by ';',
// field 0 being the job word ("dlfl;name;size;..."). Every field is taken
// without the white space around it.
#pragma once

#include <string>

// The text without spaces, tabs and line breaks at either end.
std::wstring TrimBlanks(const std::wstring& text);

// Field 0: the text before the first ';' (the whole text without one),
// trimmed; empty for a value without a word.
std::wstring JobWordOf(const std::wstring& value);

// Field index (1 or more): the text after the index-th ';' up to the next ';'
// or the end, trimmed; empty fields between separators are fields too.
// Returns false, field unchanged, when the value has fewer than index
// separators or its index-th ';' is its last character (an empty last field
// does not count).
bool GetDataFromItemStr(const std::wstring& value, int index, std::wstring& field);

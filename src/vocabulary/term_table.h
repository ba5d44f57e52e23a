// Product words (the caption "MEETING" and the like) looked up by key in the
// language of the user interface. The table text has entries separated by
// '|', each a key, '=' and a language list; the list has entries separated by
// ';', each a language name, ':' and the text, the name "@" marking the
// default text: "MEETING=@:Meeting;zh_CN:会议|HOST=...".
//
// The updater application selects the language once on its main thread
// before the dialog and the update worker start; after that the table is
// only read, from any thread.
#pragma once

#include <string>

#include "vocabulary/cmd_param_deal.h"

// One parsed term table and the language its lookups ask for.
class CTermTable {
public:
    // Stores the language name as given and replaces the table by the
    // entries of tableText.
    void Select(const std::wstring& language, const std::wstring& tableText);
    // Returns the key's text in the stored language, else its "@" text, else
    // empty text (also for a key the table lacks).
    std::wstring Get(const std::wstring& key) const;

private:
    std::wstring language_;
    CmdParamDeal terms_;
};

// Selects the language and the process's term table from tableText.
void SelectTermLanguage(const std::wstring& name, const std::wstring& tableText);
// Windows build: as above with the executable's term table resource. A
// resource that cannot be loaded leaves an empty table, so every term is
// empty text.
void SelectTermLanguage(const std::wstring& name);
// Returns the process table's CTermTable::Get(key).
std::wstring GetTerm(const std::wstring& key);

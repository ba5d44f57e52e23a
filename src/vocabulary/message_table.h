// The updater's fixed message texts, one per message number and language.
// The updater application selects the language once on its main thread
// before the dialog and the update worker start; after that any thread may
// read texts.
#pragma once

#include <string>

// Number of messages; numbers run from 0 to kMessageCount - 1.
const int kMessageCount = 23;
// The message shown for an unknown error, and in place of any unknown number.
const int kUnknownErrorMessage = 2;

// Selects the language of later texts: "en_US" or "zh_CN", matched exactly.
// Any other name selects English after the ERR line "Err language type: %ws!".
void SelectMessageLanguage(const std::wstring& name);

// Returns the text of a message in the selected language. Numbers outside
// 0 to kMessageCount - 1 give message kUnknownErrorMessage. Texts with "%s"
// expect one product or component name. The text is static; never null.
const wchar_t* GetMessageText(int number);
// Returns the text of a message with its "%s" replaced by argument.
std::wstring GetMessageTextWith(int number, const std::wstring& argument);

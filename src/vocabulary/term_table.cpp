#include "vocabulary/term_table.h"

namespace {

CTermTable& TheTermTable() {
    static CTermTable table;
    return table;
}

}  // namespace

void CTermTable::Select(const std::wstring& language, const std::wstring& tableText) {
    language_ = language;
    terms_ = CmdParamDeal();
    terms_.Parse(tableText, L'|', L'=');
}

std::wstring CTermTable::Get(const std::wstring& key) const {
    std::wstring languages;
    if (!terms_.Get(key, languages)) return std::wstring();
    CmdParamDeal texts;
    texts.Parse(languages, L';', L':');
    std::wstring text;
    if (!texts.Get(language_, text)) texts.Get(L"@", text);
    return text;
}

void SelectTermLanguage(const std::wstring& name, const std::wstring& tableText) {
    TheTermTable().Select(name, tableText);
}

std::wstring GetTerm(const std::wstring& key) { return TheTermTable().Get(key); }

#include "vocabulary/cmd_param_deal.h"

#include "util/text_util.h"

void CmdParamDeal::Parse(const std::wstring& text, wchar_t entrySeparator, wchar_t keySeparator) {
    // Runs once even for an empty text; stops without the empty piece a
    // trailing separator would leave.
    size_t start = 0;
    do {
        size_t end = text.find(entrySeparator, start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring piece = text.substr(start, end - start);
        size_t split = piece.find(keySeparator);
        if (split == std::wstring::npos) {
            params_[piece].clear();
        } else {
            params_[piece.substr(0, split)] = piece.substr(split + 1);
        }
        start = end + 1;
    } while (start < text.size());
}

bool CmdParamDeal::Has(const std::wstring& key) const { return params_.count(key) != 0; }

bool CmdParamDeal::Get(const std::wstring& key, std::wstring& value) const {
    auto it = params_.find(key);
    if (it == params_.end()) return false;
    value = it->second;
    return true;
}

int CmdParamDeal::GetInt(const std::wstring& key) const {
    auto it = params_.find(key);
    return it == params_.end() ? 0 : ParseLeadingInt(it->second);
}

void CmdParamDeal::Set(const std::wstring& key, const std::wstring& value) { params_[key] = value; }

void CmdParamDeal::SetInt(const std::wstring& key, int value) { params_[key] = std::to_wstring(value); }

std::wstring CmdParamDeal::Serialize(wchar_t entrySeparator, wchar_t keySeparator) const {
    std::wstring text;
    for (const auto& entry : params_) {
        text += entry.first;
        text += keySeparator;
        text += entry.second;
        text += entrySeparator;
    }
    return text;
}

void CCmdLineAnalyse::SetPrefix(const std::wstring& prefix) { prefix_ = prefix; }

const std::wstring& CCmdLineAnalyse::GetPrefix() const { return prefix_; }

CCmdLineAnalyse& CmdLineParams() {
    static CCmdLineAnalyse params;
    return params;
}

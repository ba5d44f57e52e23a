#include "ui/html_markup.h"

#include <algorithm>

namespace {

struct STagName {
    const wchar_t* name;
    EHtmlTag tag;
};

const STagName kTags[] = {
    {L"b", EHtmlTag::Bold},        {L"i", EHtmlTag::Italic},   {L"u", EHtmlTag::Underline},
    {L"s", EHtmlTag::StrikeOut},   {L"font", EHtmlTag::Font},  {L"br", EHtmlTag::Break},
    {L"lhi", EHtmlTag::LineHeight}, {L"align", EHtmlTag::Align}, {L"spacer", EHtmlTag::Spacer},
};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool LookUpTag(const std::wstring& name, EHtmlTag& tag) {
    for (const STagName& known : kTags) {
        if (name == known.name) {
            tag = known.tag;
            return true;
        }
    }
    return false;
}

// Reads the attributes of a tag's inside, from pos to its end.
std::vector<SHtmlAttribute> ParseAttributes(const std::wstring& inside, size_t pos) {
    std::vector<SHtmlAttribute> attributes;
    const size_t end = inside.size();
    while (pos < end) {
        while (pos < end && IsSpace(inside[pos])) ++pos;
        if (pos == end) break;
        SHtmlAttribute attribute;
        while (pos < end && !IsSpace(inside[pos]) && inside[pos] != L'=') attribute.name += inside[pos++];
        if (pos < end && inside[pos] == L'=') {
            ++pos;
            if (pos < end && (inside[pos] == L'"' || inside[pos] == L'\'')) {
                const wchar_t quote = inside[pos++];
                const size_t close = inside.find(quote, pos);
                const size_t stop = close == std::wstring::npos ? end : close;
                attribute.value = inside.substr(pos, stop - pos);
                pos = close == std::wstring::npos ? end : close + 1;
            } else {
                while (pos < end && !IsSpace(inside[pos])) attribute.value += inside[pos++];
            }
        }
        if (!attribute.name.empty() && attribute.name.size() <= kMaxHtmlNameLength) {
            attributes.push_back(std::move(attribute));
        }
    }
    return attributes;
}

}  // namespace

std::vector<SHtmlToken> ParseHtmlMarkup(const std::wstring& markup) {
    std::vector<SHtmlToken> tokens;
    size_t pos = 0;
    while (pos < markup.size()) {
        const size_t open = markup.find(L'<', pos);
        const size_t textEnd = open == std::wstring::npos ? markup.size() : open;
        if (textEnd > pos) {
            SHtmlToken text;
            text.text = markup.substr(pos, textEnd - pos);
            tokens.push_back(std::move(text));
        }
        if (open == std::wstring::npos) break;
        const size_t close = markup.find(L'>', open);
        if (close == std::wstring::npos) break;
        pos = close + 1;

        const std::wstring inside = markup.substr(open + 1, close - open - 1);
        SHtmlToken tag;
        tag.isTag = true;
        size_t at = 0;
        if (at < inside.size() && inside[at] == L'/') {
            tag.closing = true;
            ++at;
        }
        const size_t nameEnd = std::min(inside.find(L' ', at), inside.size());
        const std::wstring name = inside.substr(at, nameEnd - at);
        if (name.size() > kMaxHtmlNameLength || !LookUpTag(name, tag.tag)) continue;
        tag.attributes = ParseAttributes(inside, nameEnd);
        tokens.push_back(std::move(tag));
    }
    return tokens;
}

const std::wstring* FindHtmlAttribute(const SHtmlToken& token, const std::wstring& name) {
    for (const SHtmlAttribute& attribute : token.attributes) {
        if (attribute.name == name) return &attribute.value;
    }
    return nullptr;
}

// The mark-up text of the progress dialog's text layers. Input: the text, in
// the ANSI code page. It is split into tokens, which must come from the text
// in order and read the same when written out again, and laid out in the
// caption's rectangle and in rectangles too small for any text. Every layout
// keeps each character but spaces and tabs, in order, sizes each run as
// measured, and keeps the text inside the rectangle, but for a character
// wider than a whole line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "ui/html_layout.h"
#include "ui/html_markup.h"
#include "util/code_page.h"

namespace {

const wchar_t* const kTagNames[] = {L"b", L"i", L"u", L"s", L"font", L"br", L"lhi", L"align", L"spacer"};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool IsCjk(wchar_t c) { return c >= 0x2E80 && c <= 0x9FFF; }

// Widths as a screen's vary: with the character and the weight, wide for
// CJK, none for control characters and combining marks.
class CFuzzMeasure : public CHtmlTextMeasure {
public:
    void Measure(const SHtmlFont& font, const std::wstring& text, int& width, int& height) override {
        width = 0;
        for (wchar_t c : text) width += CharWidth(font, c);
        height = font.height == 0 ? 16 : std::abs(font.height);
    }

    static int CharWidth(const SHtmlFont& font, wchar_t c) {
        if (c < 0x20 || (c >= 0x300 && c < 0x370)) return 0;
        const int bold = font.weight >= 700 ? 1 : 0;
        if (IsCjk(c)) return 14 + bold;
        return 4 + static_cast<int>(static_cast<uint32_t>(c) % 5) + bold;
    }
};

// The characters of a run that take room, spaces and tabs aside.
size_t VisibleCharacters(const SHtmlRun& run) {
    size_t count = 0;
    for (wchar_t c : run.text) {
        if (c != L' ' && c != L'\t' && CFuzzMeasure::CharWidth(run.font, c) > 0) ++count;
    }
    return count;
}

std::wstring WithoutSpacesAndTabs(const std::wstring& text) {
    std::wstring kept;
    for (wchar_t c : text) {
        if (c != L' ' && c != L'\t') kept += c;
    }
    return kept;
}

// An attribute value as the parser reads it back: bare when it holds no
// space and opens with no quote, otherwise in a quote it does not hold (a
// value parsed from mark-up never holds both).
std::wstring Quoted(const std::wstring& value) {
    bool bare = value.empty() || (value[0] != L'"' && value[0] != L'\'');
    for (wchar_t c : value) bare = bare && !IsSpace(c);
    if (bare) return value;
    const wchar_t quote = value.find(L'\'') == std::wstring::npos ? L'\'' : L'"';
    FUZZ_CHECK(value.find(quote) == std::wstring::npos);
    return quote + value + quote;
}

std::wstring WriteOut(const std::vector<SHtmlToken>& tokens) {
    std::wstring markup;
    for (const SHtmlToken& token : tokens) {
        if (!token.isTag) {
            markup += token.text;
            continue;
        }
        markup += token.closing ? L"</" : L"<";
        markup += kTagNames[static_cast<int>(token.tag)];
        for (const SHtmlAttribute& attribute : token.attributes) {
            markup += L" " + attribute.name + L"=" + Quoted(attribute.value);
        }
        markup += L">";
    }
    return markup;
}

// Texts that follow each other without a tag between read back as one.
std::vector<SHtmlToken> Merged(const std::vector<SHtmlToken>& tokens) {
    std::vector<SHtmlToken> merged;
    for (const SHtmlToken& token : tokens) {
        if (!token.isTag && !merged.empty() && !merged.back().isTag) {
            merged.back().text += token.text;
        } else {
            merged.push_back(token);
        }
    }
    return merged;
}

bool SameTokens(const std::vector<SHtmlToken>& a, const std::vector<SHtmlToken>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].isTag != b[i].isTag || a[i].text != b[i].text) return false;
        if (!a[i].isTag) continue;
        if (a[i].tag != b[i].tag || a[i].closing != b[i].closing) return false;
        if (a[i].attributes.size() != b[i].attributes.size()) return false;
        for (size_t k = 0; k < a[i].attributes.size(); ++k) {
            if (a[i].attributes[k].name != b[i].attributes[k].name) return false;
            if (a[i].attributes[k].value != b[i].attributes[k].value) return false;
        }
    }
    return true;
}

void CheckTokens(const std::wstring& markup, const std::vector<SHtmlToken>& tokens) {
    // Each token stands in the mark-up after the one before it.
    size_t at = 0;
    for (const SHtmlToken& token : tokens) {
        if (!token.isTag) {
            FUZZ_CHECK(!token.text.empty() && token.text.find(L'<') == std::wstring::npos);
            const size_t found = markup.find(token.text, at);
            FUZZ_CHECK(found != std::wstring::npos);
            at = found + token.text.size();
            continue;
        }
        FUZZ_CHECK(token.text.empty());
        const std::wstring open = (token.closing ? L"</" : L"<") + std::wstring(kTagNames[static_cast<int>(token.tag)]);
        const size_t found = markup.find(open, at);
        FUZZ_CHECK(found != std::wstring::npos);
        const size_t close = markup.find(L'>', found);
        FUZZ_CHECK(close != std::wstring::npos);
        at = close + 1;
        for (const SHtmlAttribute& attribute : token.attributes) {
            FUZZ_CHECK(!attribute.name.empty() && attribute.name.size() <= kMaxHtmlNameLength);
            FUZZ_CHECK(attribute.name.find(L'=') == std::wstring::npos);
            FUZZ_CHECK(markup.find(attribute.name, found) != std::wstring::npos);
            FUZZ_CHECK(markup.find(attribute.value, found) != std::wstring::npos);
            // Lookup finds the first attribute of a name.
            const std::wstring* value = FindHtmlAttribute(token, attribute.name);
            FUZZ_CHECK(value != nullptr);
            for (const SHtmlAttribute& earlier : token.attributes) {
                if (earlier.name != attribute.name) continue;
                FUZZ_CHECK(value == &earlier.value);
                break;
            }
        }
        FUZZ_CHECK(FindHtmlAttribute(token, L"") == nullptr);
        FUZZ_CHECK(FindHtmlAttribute(token, L"overlongname") == nullptr);
    }
    // Written out again, the tokens read the same.
    FUZZ_CHECK(SameTokens(ParseHtmlMarkup(WriteOut(tokens)), Merged(tokens)));
}

void CheckLayout(const std::wstring& markup, const std::vector<SHtmlToken>& tokens, const SLayerRect& rect) {
    SHtmlFont base;
    base.height = -12;
    base.face = L"Tahoma";
    CFuzzMeasure measure;
    const std::vector<SHtmlRun> runs = LayoutHtmlMarkup(markup, base, 0x00FFFFFF, rect, measure);

    std::wstring written;
    for (const SHtmlToken& token : tokens) {
        if (!token.isTag) written += WithoutSpacesAndTabs(token.text);
    }
    std::wstring shown;
    for (const SHtmlRun& run : runs) {
        FUZZ_CHECK(!run.text.empty());
        FUZZ_CHECK(run.font.face.size() <= kMaxHtmlFaceLength);
        shown += WithoutSpacesAndTabs(run.text);
        int width;
        int height;
        measure.Measure(run.font, run.text, width, height);
        FUZZ_CHECK(run.rect.Width() == width && run.rect.Height() == height);
        // Whatever the alignment, only a character wider than the whole
        // line sticks out of the rectangle.
        if (!rect.IsEmpty() && VisibleCharacters(run) > 1) {
            FUZZ_CHECK(run.rect.left >= rect.left && run.rect.right <= rect.right);
        }
    }
    FUZZ_CHECK(shown == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring markup = AnsiToWide(std::string(reinterpret_cast<const char*>(data), size));
    const std::vector<SHtmlToken> tokens = ParseHtmlMarkup(markup);
    CheckTokens(markup, tokens);
    // The caption's rectangle in a 400-pixel dialog, one a pixel wide, an
    // empty one, and the caption's in a dialog too narrow for its margins.
    for (const SLayerRect& rect : {SLayerRect{44, 12, 300, 40}, SLayerRect{0, 0, 1, 1}, SLayerRect{0, 0, 0, 0},
                                   SLayerRect{44, 12, -100, 40}}) {
        CheckLayout(markup, tokens, rect);
    }
    return 0;
}

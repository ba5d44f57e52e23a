#include "ui/html_layout.h"

#include <algorithm>
#include <climits>

#include "ui/html_markup.h"

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

// Characters between which a line may break without a space.
bool IsCjk(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Reads an optional sign and at least one digit; with allowPercent a
// trailing '%' may follow. Returns false for anything else.
bool ParseInteger(const std::wstring& text, bool allowPercent, int& value, bool& percent) {
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
    const size_t digits = pos;
    long long number = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        number = std::min(number * 10 + (text[pos] - L'0'), 1000000LL);
    }
    if (pos == digits) return false;
    percent = false;
    if (allowPercent && pos + 1 == text.size() && text[pos] == L'%') {
        percent = true;
        ++pos;
    }
    if (pos != text.size()) return false;
    value = static_cast<int>(negative ? -number : number);
    return true;
}

bool ParseColor(const std::wstring& text, uint32_t& color) {
    if (text.size() != 6) return false;
    int channels[3] = {0, 0, 0};
    for (size_t i = 0; i < 6; ++i) {
        const wchar_t c = text[i];
        int digit;
        if (c >= L'0' && c <= L'9') {
            digit = c - L'0';
        } else if (c >= L'a' && c <= L'f') {
            digit = c - L'a' + 10;
        } else if (c >= L'A' && c <= L'F') {
            digit = c - L'A' + 10;
        } else {
            return false;
        }
        channels[i / 2] = channels[i / 2] * 16 + digit;
    }
    color = LayerRgb(channels[0], channels[1], channels[2]);
    return true;
}

int HorizontalAlign(const std::wstring& value) {
    if (!value.empty() && value[0] == L'l') return kAlignNear;
    if (!value.empty() && value[0] == L'c') return kAlignCentre;
    return kAlignFar;
}

int VerticalAlign(const std::wstring& value) {
    if (!value.empty() && value[0] == L't') return kAlignNear;
    if (!value.empty() && value[0] == L'm') return kAlignCentre;
    return kAlignFar;
}

// Offset of an item of size within space for an alignment.
long long AlignOffset(int alignment, long long space, long long size) {
    if (alignment == kAlignNear) return 0;
    if (alignment == kAlignCentre) return (space - size) / 2;
    return space - size;
}

// The start of an item of size at a place that long text or many tall lines
// may carry past what an int holds: such an item lies far outside any
// rectangle, and stops at the limit with its size kept.
int PlaceWithin(long long start, int size) {
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(start, INT_MAX - size)));
}

// Splits text into pieces after which a line may break: a word with the
// spaces after it, or one CJK character with the spaces after it.
std::vector<std::wstring> SplitPieces(const std::wstring& text) {
    std::vector<std::wstring> pieces;
    std::wstring piece;
    bool inSpaces = false;
    for (wchar_t c : text) {
        const bool space = IsSpace(c);
        const bool cjkBreak = !space && !piece.empty() && (IsCjk(c) || IsCjk(piece.back()));
        if ((inSpaces && !space) || cjkBreak) {
            pieces.push_back(piece);
            piece.clear();
        }
        piece += c;
        inSpaces = space;
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

std::wstring WithoutTrailingSpaces(const std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && IsSpace(text[end - 1])) --end;
    return text.substr(0, end);
}

struct SLine {
    std::vector<SHtmlRun> runs;  // left and right relative to the line; top 0, bottom the run's height
    int width = 0;
    int height = 0;
    int alignH = kAlignNear;
    int alignL = kAlignFar;
};

class CLayout {
public:
    CLayout(const SHtmlFont& baseFont, uint32_t baseColor, const SLayerRect& rect, CHtmlTextMeasure& measure)
        : base_(baseFont), font_(baseFont), color_(baseColor), rect_(rect), measure_(measure) {
        base_.face = base_.face.substr(0, kMaxHtmlFaceLength);
        font_ = base_;
    }

    void Apply(const SHtmlToken& token) {
        if (!token.isTag) {
            for (const std::wstring& piece : SplitPieces(token.text)) PlacePiece(piece);
            return;
        }
        switch (token.tag) {
            case EHtmlTag::Bold:
                font_.weight = token.closing ? base_.weight : 700;
                break;
            case EHtmlTag::Italic:
                font_.italic = token.closing ? base_.italic : true;
                break;
            case EHtmlTag::Underline:
                font_.underline = token.closing ? base_.underline : true;
                break;
            case EHtmlTag::StrikeOut:
                font_.strikeOut = token.closing ? base_.strikeOut : true;
                break;
            case EHtmlTag::Font:
                ApplyFont(token);
                break;
            case EHtmlTag::Break:
                if (!token.closing) EndLine(true);
                break;
            case EHtmlTag::LineHeight:
                if (!token.closing) ApplyLineHeight(token);
                break;
            case EHtmlTag::Align:
                if (!token.closing) ApplyAlign(token);
                break;
            case EHtmlTag::Spacer:
                if (!token.closing) ApplySpacer(token);
                break;
        }
    }

    std::vector<SHtmlRun> Finish() {
        EndLine(false);
        long long total = 0;
        for (const SLine& line : lines_) total += line.height;
        long long y = rect_.top + AlignOffset(alignV_, rect_.Height(), total);
        std::vector<SHtmlRun> runs;
        for (SLine& line : lines_) {
            const long long x = rect_.left + AlignOffset(line.alignH, rect_.Width(), line.width);
            for (SHtmlRun& run : line.runs) {
                const int width = run.rect.Width();
                const int height = run.rect.Height();
                const int left = PlaceWithin(x + run.rect.left, width);
                const int top = PlaceWithin(y + AlignOffset(line.alignL, line.height, height), height);
                run.rect = SLayerRect{left, top, left + width, top + height};
                runs.push_back(std::move(run));
            }
            y += line.height;
        }
        return runs;
    }

private:
    void ApplyFont(const SHtmlToken& token) {
        if (token.closing) {
            font_ = base_;
            return;
        }
        if (const std::wstring* face = FindHtmlAttribute(token, L"face")) {
            font_.face = face->substr(0, kMaxHtmlFaceLength);
        }
        int value;
        bool percent;
        if (const std::wstring* size = FindHtmlAttribute(token, L"size")) {
            if (ParseInteger(*size, false, value, percent)) font_.height = value;
        }
        if (const std::wstring* color = FindHtmlAttribute(token, L"color")) ParseColor(*color, color_);
    }

    void ApplyLineHeight(const SHtmlToken& token) {
        int value;
        bool percent;
        const std::wstring* size = FindHtmlAttribute(token, L"size");
        if (size && ParseInteger(*size, false, value, percent)) lineHeight_ = std::max(value, 0);
    }

    void ApplyAlign(const SHtmlToken& token) {
        EndLine(false);
        if (const std::wstring* value = FindHtmlAttribute(token, L"typeh")) alignH_ = HorizontalAlign(*value);
        if (const std::wstring* value = FindHtmlAttribute(token, L"typel")) alignL_ = VerticalAlign(*value);
        if (const std::wstring* value = FindHtmlAttribute(token, L"typev")) alignV_ = VerticalAlign(*value);
    }

    void ApplySpacer(const SHtmlToken& token) {
        int value;
        bool percent;
        const std::wstring* size = FindHtmlAttribute(token, L"size");
        if (!size || !ParseInteger(*size, true, value, percent)) return;
        const long long advance = percent ? static_cast<long long>(rect_.Width()) * value / 100 : value;
        // A spacer moves at most to the end of the line, or stays where text
        // already went past it.
        const long long end = std::max(rect_.Width(), x_);
        x_ = static_cast<int>(std::max(0LL, std::min(x_ + advance, end)));
        joinable_ = false;
    }

    void PlacePiece(const std::wstring& piece) {
        const std::wstring word = WithoutTrailingSpaces(piece);
        // Spaces that would open a line are dropped.
        if (word.empty() && x_ == 0) return;
        int wordWidth, height;
        measure_.Measure(font_, word, wordWidth, height);
        if (x_ > 0 && x_ + wordWidth > rect_.Width()) EndLine(false);
        if (x_ == 0 && wordWidth > rect_.Width()) {
            PlaceSplitWord(piece);
            return;
        }
        int width;
        measure_.Measure(font_, piece, width, height);
        Append(piece, width, height);
    }

    // A word wider than a whole line: as many characters on each line as fit
    // (at least one), the rest with the word's spaces placed as usual.
    void PlaceSplitWord(const std::wstring& piece) {
        std::wstring rest = piece;
        for (;;) {
            const std::wstring word = WithoutTrailingSpaces(rest);
            int width, height;
            measure_.Measure(font_, word, width, height);
            // A rectangle narrower than nothing (right left of left) fits no
            // width at all: stop when no character is left to place.
            if (word.empty() || width <= rect_.Width()) break;
            size_t count = 1;
            int fitWidth, fitHeight;
            measure_.Measure(font_, word.substr(0, 1), fitWidth, fitHeight);
            while (count < word.size()) {
                int w, h;
                measure_.Measure(font_, word.substr(0, count + 1), w, h);
                if (w > rect_.Width()) break;
                ++count;
                fitWidth = w;
                fitHeight = h;
            }
            Append(word.substr(0, count), fitWidth, fitHeight);
            EndLine(false);
            rest = rest.substr(count);
        }
        if (WithoutTrailingSpaces(rest).empty()) return;
        int width, height;
        measure_.Measure(font_, rest, width, height);
        Append(rest, width, height);
    }

    void Append(const std::wstring& text, int width, int height) {
        if (joinable_ && !line_.runs.empty() && line_.runs.back().font == font_ &&
            line_.runs.back().color == color_) {
            SHtmlRun& run = line_.runs.back();
            run.text += text;
            run.rect.right += width;
            run.rect.bottom = std::max(run.rect.bottom, height);
        } else {
            SHtmlRun run;
            run.rect = SLayerRect{x_, 0, x_ + width, height};
            run.text = text;
            run.font = font_;
            run.color = color_;
            line_.runs.push_back(std::move(run));
        }
        x_ += width;
        joinable_ = true;
    }

    // Ends the current line; an empty one is kept only when keepEmpty.
    void EndLine(bool keepEmpty) {
        if (line_.runs.empty() && !keepEmpty) {
            x_ = 0;
            joinable_ = false;
            return;
        }
        // Spaces at the end of a line take no room.
        while (!line_.runs.empty()) {
            SHtmlRun& last = line_.runs.back();
            const std::wstring trimmed = WithoutTrailingSpaces(last.text);
            if (trimmed.size() == last.text.size()) break;
            if (trimmed.empty()) {
                x_ = last.rect.left;
                line_.runs.pop_back();
                continue;
            }
            int width, height;
            measure_.Measure(last.font, trimmed, width, height);
            x_ = last.rect.left + width;
            last.text = trimmed;
            last.rect.right = x_;
            break;
        }
        int tallest = 0;
        if (line_.runs.empty()) {
            int width;
            measure_.Measure(font_, std::wstring(), width, tallest);
        }
        // A spacer that moved back may leave text further right than the end.
        line_.width = x_;
        for (const SHtmlRun& run : line_.runs) {
            tallest = std::max(tallest, run.rect.Height());
            line_.width = std::max(line_.width, run.rect.right);
        }
        line_.height = lineHeight_ > 0 ? lineHeight_ : tallest;
        line_.alignH = alignH_;
        line_.alignL = alignL_;
        lines_.push_back(std::move(line_));
        line_ = SLine();
        x_ = 0;
        joinable_ = false;
    }

    SHtmlFont base_;
    SHtmlFont font_;
    uint32_t color_;
    SLayerRect rect_;
    CHtmlTextMeasure& measure_;
    int lineHeight_ = 0;
    int alignH_ = kAlignNear;
    int alignL_ = kAlignFar;
    int alignV_ = kAlignNear;
    SLine line_;
    int x_ = 0;
    bool joinable_ = false;  // the next text may extend the line's last run
    std::vector<SLine> lines_;
};

}  // namespace

std::vector<SHtmlRun> LayoutHtmlMarkup(const std::wstring& markup, const SHtmlFont& baseFont, uint32_t baseColor,
                                       const SLayerRect& rect, CHtmlTextMeasure& measure) {
    CLayout layout(baseFont, baseColor, rect, measure);
    for (const SHtmlToken& token : ParseHtmlMarkup(markup)) layout.Apply(token);
    return layout.Finish();
}

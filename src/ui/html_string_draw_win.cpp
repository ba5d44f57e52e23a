#include "ui/html_string_draw.h"

#include <algorithm>
#include <iterator>
#include <tuple>

namespace {

LOGFONTW SystemMessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return metrics.lfMessageFont;
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    return font;
}

SHtmlFont DescriptionOf(const LOGFONTW& font) {
    SHtmlFont description;
    description.height = font.lfHeight;
    description.weight = font.lfWeight;
    description.italic = font.lfItalic != 0;
    description.underline = font.lfUnderline != 0;
    description.strikeOut = font.lfStrikeOut != 0;
    description.face = std::wstring(font.lfFaceName).substr(0, kMaxHtmlFaceLength);
    return description;
}

RECT ToRect(const SLayerRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// Measures with the fonts of one CHtmlStringDraw in a screen device context.
class CScreenMeasure : public CHtmlTextMeasure {
public:
    explicit CScreenMeasure(CHtmlStringDraw& owner) : owner_(owner), dc_(GetDC(nullptr)) {}
    ~CScreenMeasure() override {
        if (dc_) ReleaseDC(nullptr, dc_);
    }

    void Measure(const SHtmlFont& font, const std::wstring& text, int& width, int& height) override {
        width = 0;
        height = 0;
        HFONT handle = owner_.FontOf(font);
        if (!dc_ || !handle) return;
        HGDIOBJ old = SelectObject(dc_, handle);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        SIZE size{};
        if (!text.empty()) GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc_, old);
        width = size.cx;
        height = metrics.tmHeight;
    }

private:
    CHtmlStringDraw& owner_;
    HDC dc_;
};

}  // namespace

bool CHtmlStringDraw::SFontKey::operator<(const SFontKey& o) const {
    return std::tie(font.height, font.weight, font.italic, font.underline, font.strikeOut, font.face) <
           std::tie(o.font.height, o.font.weight, o.font.italic, o.font.underline, o.font.strikeOut, o.font.face);
}

CHtmlStringDraw::CHtmlStringDraw() : CHtmlStringDraw(SystemMessageFont()) {}

CHtmlStringDraw::CHtmlStringDraw(const LOGFONTW& baseFont)
    : baseLogFont_(baseFont), baseFont_(DescriptionOf(baseFont)), baseColor_(GetSysColor(COLOR_CAPTIONTEXT)) {}

CHtmlStringDraw::~CHtmlStringDraw() {
    for (auto& entry : fonts_) {
        if (entry.second) DeleteObject(entry.second);
    }
}

void CHtmlStringDraw::SetText(const std::wstring& markup) { markup_ = markup; }

void CHtmlStringDraw::Layout(const RECT& rect) {
    layoutRect_ = rect;
    CScreenMeasure measure(*this);
    runs_ = LayoutHtmlMarkup(markup_, baseFont_, baseColor_, SLayerRect{rect.left, rect.top, rect.right, rect.bottom},
                             measure);
}

void CHtmlStringDraw::Draw(HDC dc, const RECT& clip) {
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    for (const SHtmlRun& run : runs_) {
        RECT runRect = ToRect(run.rect);
        RECT visible;
        if (!IntersectRect(&visible, &runRect, &clip)) continue;
        HFONT font = FontOf(run.font);
        if (!font) continue;
        SelectObject(dc, font);
        SetTextColor(dc, run.color);
        ExtTextOutW(dc, run.rect.left, run.rect.top, ETO_CLIPPED, &layoutRect_, run.text.c_str(),
                    static_cast<UINT>(run.text.size()), nullptr);
    }
    RestoreDC(dc, saved);
}

HFONT CHtmlStringDraw::FontOf(const SHtmlFont& font) {
    const SFontKey key{font};
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    LOGFONTW logFont = baseLogFont_;
    logFont.lfHeight = font.height;
    logFont.lfWidth = 0;
    logFont.lfWeight = font.weight;
    logFont.lfItalic = font.italic ? TRUE : FALSE;
    logFont.lfUnderline = font.underline ? TRUE : FALSE;
    logFont.lfStrikeOut = font.strikeOut ? TRUE : FALSE;
    const std::wstring face = font.face.substr(0, LF_FACESIZE - 1);
    std::fill(std::begin(logFont.lfFaceName), std::end(logFont.lfFaceName), L'\0');
    face.copy(logFont.lfFaceName, face.size());
    HFONT handle = CreateFontIndirectW(&logFont);
    fonts_[key] = handle;
    return handle;
}

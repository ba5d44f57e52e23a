// Lays out mark-up text (see html_markup.h) in a rectangle: runs of text in
// one style, placed on lines. Measuring is left to the caller, so the rules
// hold for any device.
//
// Placement: text flows left to right and wraps at spaces, and between CJK
// characters; a word wider than the whole line is split between characters.
// "align" sets, for the lines after it, "typeh" the placement of each line
// across the rectangle (left, centre, right) and "typel" the placement of each
// run within its line's height (top, middle, bottom); "typev" places the whole
// block of lines within the rectangle's height (top, middle, bottom; the last
// value given counts). A line is as high as its tallest run, or exactly as
// "lhi" says when that is set above 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/layer_geometry.h"

// A font as LOGFONT describes it, in the parts the mark-up can change.
struct SHtmlFont {
    int height = 0;  // as LOGFONT's lfHeight
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::wstring face;  // at most kMaxHtmlFaceLength characters

    bool operator==(const SHtmlFont& o) const {
        return height == o.height && weight == o.weight && italic == o.italic && underline == o.underline &&
               strikeOut == o.strikeOut && face == o.face;
    }
    bool operator!=(const SHtmlFont& o) const { return !(*this == o); }
};

const size_t kMaxHtmlFaceLength = 31;

enum EHtmlAlign {
    kAlignNear = 0,    // left or top
    kAlignCentre = 1,  // centre or middle
    kAlignFar = 2,     // right or bottom
};

// One piece of text in one style at its place.
struct SHtmlRun {
    SLayerRect rect;
    std::wstring text;
    SHtmlFont font;
    uint32_t color = 0;  // 0x00BBGGRR
};

// Measures text for the layout, in the device's pixels.
class CHtmlTextMeasure {
public:
    virtual ~CHtmlTextMeasure() = default;
    // Width and height of text drawn in font on one line; for empty text the
    // width is 0 and the height that of the font's line.
    virtual void Measure(const SHtmlFont& font, const std::wstring& text, int& width, int& height) = 0;
};

// Lays out markup in rect, starting in the base font and colour. Text after
// an unclosed '<' is left out.
std::vector<SHtmlRun> LayoutHtmlMarkup(const std::wstring& markup, const SHtmlFont& baseFont, uint32_t baseColor,
                                       const SLayerRect& rect, CHtmlTextMeasure& measure);

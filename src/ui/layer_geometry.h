// Rectangle and colour arithmetic of the layered drawing: how a layer's
// visible part maps into its own content and onto the device, and which
// colours a partly visible gradient runs between. Integer arithmetic as GDI
// uses it.
#pragma once

#include <cstdint>

// Left, top, right, bottom, as a GDI RECT; empty when it has no width or no height.
struct SLayerRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const SLayerRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const SLayerRect& o) const { return !(*this == o); }
};

// Returns the common part of a and b; an empty rectangle (all zero) when they
// do not overlap.
SLayerRect IntersectLayerRects(const SLayerRect& a, const SLayerRect& b);

// Maps rect from the space of from into the space of to: each edge moves by
// to's size times its offset in from, divided by from's size (multiplication
// first, truncating). A from without width or height gives an empty rectangle.
SLayerRect MapLayerRect(const SLayerRect& rect, const SLayerRect& from, const SLayerRect& to);

// Colours as COLORREF holds them: 0x00BBGGRR.
inline uint32_t LayerRgb(int red, int green, int blue) {
    return static_cast<uint32_t>(red & 0xFF) | (static_cast<uint32_t>(green & 0xFF) << 8) |
           (static_cast<uint32_t>(blue & 0xFF) << 16);
}
inline int LayerRed(uint32_t color) { return static_cast<int>(color & 0xFF); }
inline int LayerGreen(uint32_t color) { return static_cast<int>((color >> 8) & 0xFF); }
inline int LayerBlue(uint32_t color) { return static_cast<int>((color >> 16) & 0xFF); }

struct SGradientColors {
    uint32_t start = 0;
    uint32_t end = 0;
};

// The colours at the two edges of part, a piece of a gradient that runs from
// start to end across whole (left to right when horizontal, else top to
// bottom), so the piece drawn alone matches the whole gradient there.
SGradientColors GradientPartColors(uint32_t start, uint32_t end, bool horizontal, const SLayerRect& whole,
                                   const SLayerRect& part);

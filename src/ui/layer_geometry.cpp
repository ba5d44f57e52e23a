#include "ui/layer_geometry.h"

#include <algorithm>

namespace {

// offset * toSize / fromSize in 64 bits, so large device rectangles cannot overflow.
int Scale(int offset, int toSize, int fromSize) {
    return static_cast<int>(static_cast<int64_t>(offset) * toSize / fromSize);
}

// Each channel of the colour at fraction f of the way from start to end,
// truncated; fromEnd measures f back from the end colour instead.
uint32_t Mix(uint32_t start, uint32_t end, float f, bool fromEnd) {
    int channels[3];
    const uint32_t shifts[3] = {0, 8, 16};
    for (int i = 0; i < 3; ++i) {
        const int s = static_cast<int>((start >> shifts[i]) & 0xFF);
        const int e = static_cast<int>((end >> shifts[i]) & 0xFF);
        const float step = static_cast<float>(e - s) * f;
        channels[i] = fromEnd ? static_cast<int>(static_cast<float>(e) - step)
                              : static_cast<int>(static_cast<float>(s) + step);
    }
    return LayerRgb(channels[0], channels[1], channels[2]);
}

}  // namespace

SLayerRect IntersectLayerRects(const SLayerRect& a, const SLayerRect& b) {
    SLayerRect r;
    r.left = std::max(a.left, b.left);
    r.top = std::max(a.top, b.top);
    r.right = std::min(a.right, b.right);
    r.bottom = std::min(a.bottom, b.bottom);
    if (r.IsEmpty()) return SLayerRect();
    return r;
}

SLayerRect MapLayerRect(const SLayerRect& rect, const SLayerRect& from, const SLayerRect& to) {
    if (from.Width() == 0 || from.Height() == 0) return SLayerRect();
    SLayerRect r;
    r.left = to.left + Scale(rect.left - from.left, to.Width(), from.Width());
    r.right = to.left + Scale(rect.right - from.left, to.Width(), from.Width());
    r.top = to.top + Scale(rect.top - from.top, to.Height(), from.Height());
    r.bottom = to.top + Scale(rect.bottom - from.top, to.Height(), from.Height());
    return r;
}

SGradientColors GradientPartColors(uint32_t start, uint32_t end, bool horizontal, const SLayerRect& whole,
                                   const SLayerRect& part) {
    SGradientColors colors{start, end};
    if (part == whole) return colors;
    const int size = horizontal ? whole.Width() : whole.Height();
    if (size == 0) return colors;
    const int before = horizontal ? part.left - whole.left : part.top - whole.top;
    const int after = horizontal ? whole.right - part.right : whole.bottom - part.bottom;
    colors.start = Mix(start, end, static_cast<float>(before) / static_cast<float>(size), false);
    colors.end = Mix(start, end, static_cast<float>(after) / static_cast<float>(size), true);
    return colors;
}

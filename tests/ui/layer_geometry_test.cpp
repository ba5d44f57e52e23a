#include "ui/layer_geometry.h"

#include <gtest/gtest.h>

namespace {

SLayerRect R(int left, int top, int right, int bottom) { return SLayerRect{left, top, right, bottom}; }

}  // namespace

TEST(LayerGeometry, IntersectionIsTheCommonPartOrEmpty) {
    EXPECT_EQ(IntersectLayerRects(R(0, 0, 100, 40), R(50, 20, 200, 200)), R(50, 20, 100, 40));
    EXPECT_EQ(IntersectLayerRects(R(0, 0, 100, 40), R(0, 0, 100, 40)), R(0, 0, 100, 40));
    // Touching edges share nothing.
    EXPECT_TRUE(IntersectLayerRects(R(0, 0, 100, 40), R(100, 0, 200, 40)).IsEmpty());
    EXPECT_TRUE(IntersectLayerRects(R(0, 0, 100, 40), R(0, 40, 100, 80)).IsEmpty());
    EXPECT_EQ(IntersectLayerRects(R(0, 0, 10, 10), R(20, 20, 30, 30)), SLayerRect());
    EXPECT_TRUE(R(5, 5, 5, 10).IsEmpty());
    EXPECT_TRUE(R(5, 10, 8, 4).IsEmpty());
}

TEST(LayerGeometry, MappingBetweenEqualSpacesKeepsTheRectangle) {
    const SLayerRect view = R(0, 0, 250, 69);
    EXPECT_EQ(MapLayerRect(R(44, 12, 150, 40), view, view), R(44, 12, 150, 40));
}

TEST(LayerGeometry, MappingScalesAndMovesEachEdge) {
    // A device rectangle twice the size of the view, placed at (10, 20).
    const SLayerRect view = R(0, 0, 100, 50);
    const SLayerRect device = R(10, 20, 210, 120);
    EXPECT_EQ(MapLayerRect(view, view, device), device);
    EXPECT_EQ(MapLayerRect(R(25, 10, 50, 20), view, device), R(60, 40, 110, 60));
    // A view that starts away from the origin.
    EXPECT_EQ(MapLayerRect(R(60, 30, 80, 40), R(50, 25, 100, 50), R(0, 0, 100, 50)), R(20, 10, 60, 30));
}

TEST(LayerGeometry, MappingMultipliesBeforeItDividesAndTruncates) {
    // 7 * 10 / 3 = 23 (not 7 / 3 * 10 = 20).
    EXPECT_EQ(MapLayerRect(R(7, 7, 8, 8), R(0, 0, 3, 3), R(0, 0, 10, 10)), R(23, 23, 26, 26));
    // Shrinking truncates towards the left and top.
    EXPECT_EQ(MapLayerRect(R(1, 1, 3, 3), R(0, 0, 4, 4), R(0, 0, 3, 3)), R(0, 0, 2, 2));
    // Large device rectangles do not overflow.
    EXPECT_EQ(MapLayerRect(R(0, 0, 30000, 30000), R(0, 0, 30000, 30000), R(0, 0, 1000000, 1000000)),
              R(0, 0, 1000000, 1000000));
}

TEST(LayerGeometry, MappingFromAnEmptySpaceGivesNothing) {
    EXPECT_TRUE(MapLayerRect(R(0, 0, 10, 10), R(0, 0, 0, 10), R(0, 0, 100, 100)).IsEmpty());
    EXPECT_TRUE(MapLayerRect(R(0, 0, 10, 10), R(0, 0, 10, 0), R(0, 0, 100, 100)).IsEmpty());
}

TEST(LayerGeometry, ColourChannels) {
    const uint32_t color = LayerRgb(83, 138, 216);
    EXPECT_EQ(color, 0x00D88A53u);
    EXPECT_EQ(LayerRed(color), 83);
    EXPECT_EQ(LayerGreen(color), 138);
    EXPECT_EQ(LayerBlue(color), 216);
}

TEST(LayerGeometry, WholeGradientKeepsItsColours) {
    const uint32_t start = LayerRgb(83, 138, 216);
    const uint32_t end = LayerRgb(99, 147, 247);
    const SGradientColors colors = GradientPartColors(start, end, false, R(0, 0, 300, 40), R(0, 0, 300, 40));
    EXPECT_EQ(colors.start, start);
    EXPECT_EQ(colors.end, end);
}

TEST(LayerGeometry, PartOfAGradientRunsBetweenItsOwnEdgeColours) {
    const uint32_t start = LayerRgb(0, 100, 200);
    const uint32_t end = LayerRgb(200, 100, 0);
    // The right half of a horizontal gradient: from the middle colour to the end.
    SGradientColors colors = GradientPartColors(start, end, true, R(0, 0, 200, 10), R(100, 0, 200, 10));
    EXPECT_EQ(colors.start, LayerRgb(100, 100, 100));
    EXPECT_EQ(colors.end, end);
    // The top quarter of a vertical one: from the start to a quarter of the way.
    colors = GradientPartColors(start, end, false, R(0, 0, 10, 40), R(0, 0, 10, 10));
    EXPECT_EQ(colors.start, start);
    EXPECT_EQ(colors.end, LayerRgb(50, 100, 150));
    // A middle piece; the direction decides which edges count.
    colors = GradientPartColors(start, end, false, R(0, 0, 10, 40), R(0, 10, 10, 30));
    EXPECT_EQ(colors.start, LayerRgb(50, 100, 150));
    EXPECT_EQ(colors.end, LayerRgb(150, 100, 50));
    colors = GradientPartColors(start, end, true, R(0, 0, 10, 40), R(0, 10, 10, 30));
    EXPECT_EQ(colors.start, start);
    EXPECT_EQ(colors.end, end);
}

TEST(LayerGeometry, PartColoursAreTruncated) {
    // 83 + 16 * 1/3 = 88.33 and 99 - 16 * 1/3 = 93.67: 88 and 93.
    const SGradientColors colors =
        GradientPartColors(LayerRgb(83, 0, 0), LayerRgb(99, 0, 0), true, R(0, 0, 3, 1), R(1, 0, 2, 1));
    EXPECT_EQ(LayerRed(colors.start), 88);
    EXPECT_EQ(LayerRed(colors.end), 93);
}

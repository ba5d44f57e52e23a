#include "ui/html_string_draw.h"

#include <gtest/gtest.h>

#include "pixel_image_win.h"

namespace {

const COLORREF kPaper = RGB(250, 250, 250);

bool Inked(COLORREF c) { return !ColorNear(c, kPaper, 60); }

}  // namespace

TEST(HtmlStringDraw, BaseFontIsTheSystemMessageFont) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    CHtmlStringDraw text;
    EXPECT_EQ(text.BaseFont().face, metrics.lfMessageFont.lfFaceName);
    EXPECT_EQ(text.BaseFont().height, metrics.lfMessageFont.lfHeight);
    EXPECT_EQ(text.BaseFont().weight, metrics.lfMessageFont.lfWeight);
}

TEST(HtmlStringDraw, MeasuresRunsWithTheirOwnFonts) {
    LOGFONTW base{};
    base.lfHeight = -16;
    base.lfWeight = FW_NORMAL;
    lstrcpyW(base.lfFaceName, L"Tahoma");
    CHtmlStringDraw text(base);
    text.SetText(L"Meeting <b>Meeting</b><br><font size=-32>Meeting</font>");
    EXPECT_EQ(text.Text(), L"Meeting <b>Meeting</b><br><font size=-32>Meeting</font>");
    text.Layout(RECT{0, 0, 400, 200});
    const std::vector<SHtmlRun>& runs = text.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, L"Meeting ");
    EXPECT_EQ(runs[1].font.weight, FW_BOLD);
    EXPECT_EQ(runs[1].rect.left, runs[0].rect.right);
    // Bold is wider than the same word in the regular weight; 32 pixels taller than 16.
    EXPECT_GT(runs[1].rect.right - runs[1].rect.left, runs[0].rect.right - runs[0].rect.left - 10);
    EXPECT_GT(runs[2].rect.bottom - runs[2].rect.top, runs[0].rect.bottom - runs[0].rect.top);
    EXPECT_GT(runs[2].rect.right - runs[2].rect.left, runs[1].rect.right - runs[1].rect.left);
    EXPECT_GE(runs[2].rect.top, runs[0].rect.bottom);
}

TEST(HtmlStringDraw, DrawsOnlyRunsInTheClipAndNothingOutsideTheLayout) {
    LOGFONTW base{};
    base.lfHeight = -16;
    lstrcpyW(base.lfFaceName, L"Tahoma");
    CHtmlStringDraw text(base);
    text.SetText(L"<font color=000000>First line<br>Second line</font>");
    const RECT layout{10, 10, 200, 50};
    text.Layout(layout);
    ASSERT_EQ(text.Runs().size(), 2u);
    const SLayerRect first = text.Runs()[0].rect;
    const SLayerRect second = text.Runs()[1].rect;

    CPixelImage canvas(220, 80);
    canvas.Fill(kPaper);
    SetTextColor(canvas.dc(), RGB(1, 2, 3));
    const RECT onlyFirst{first.left, first.top, first.right, first.bottom};
    text.Draw(canvas.dc(), onlyFirst);
    EXPECT_GT(canvas.Count(onlyFirst, Inked), 20);
    EXPECT_EQ(canvas.Count(RECT{second.left, second.top, second.right, second.bottom}, Inked), 0);
    // The device context is left as it was.
    EXPECT_EQ(GetTextColor(canvas.dc()), RGB(1, 2, 3));

    // A run taller than the layout rectangle is cut at its edge.
    text.SetText(L"<font size=-60 color=000000>Big</font>");
    text.Layout(RECT{10, 10, 200, 30});
    canvas.Fill(kPaper);
    text.Draw(canvas.dc(), RECT{0, 0, 220, 80});
    EXPECT_GT(canvas.Count(RECT{10, 10, 200, 30}, Inked), 20);
    EXPECT_EQ(canvas.Count(RECT{0, 30, 220, 80}, Inked), 0);
}

#include "ui/html_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

// Every character 10 pixels wide (12 in bold); lines as high as the font's
// height, 16 for height 0.
class CFixedMeasure : public CHtmlTextMeasure {
public:
    void Measure(const SHtmlFont& font, const std::wstring& text, int& width, int& height) override {
        width = static_cast<int>(text.size()) * (font.weight >= 700 ? 12 : 10);
        height = font.height == 0 ? 16 : (font.height < 0 ? -font.height : font.height);
    }
};

SHtmlFont BaseFont() {
    SHtmlFont font;
    font.height = 0;
    font.weight = 400;
    font.face = L"Tahoma";
    return font;
}

const uint32_t kBaseColor = 0x00112233;

std::vector<SHtmlRun> Layout(const std::wstring& markup, int width = 400, int height = 100) {
    CFixedMeasure measure;
    return LayoutHtmlMarkup(markup, BaseFont(), kBaseColor, SLayerRect{10, 20, 10 + width, 20 + height}, measure);
}

SLayerRect R(int left, int top, int right, int bottom) { return SLayerRect{left, top, right, bottom}; }

std::vector<std::wstring> Texts(const std::vector<SHtmlRun>& runs) {
    std::vector<std::wstring> texts;
    for (const SHtmlRun& run : runs) texts.push_back(run.text);
    return texts;
}

}  // namespace

TEST(HtmlLayout, PlainTextIsOneRunAtTheTopLeft) {
    const std::vector<SHtmlRun> runs = Layout(L"Hello world");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, L"Hello world");
    EXPECT_EQ(runs[0].rect, R(10, 20, 120, 36));
    EXPECT_EQ(runs[0].font, BaseFont());
    EXPECT_EQ(runs[0].color, kBaseColor);
    EXPECT_TRUE(Layout(L"").empty());
}

TEST(HtmlLayout, StyleTagsChangeTheFontAndClosingRestoresTheBase) {
    const std::vector<SHtmlRun> runs = Layout(L"a<b>b</b><i>i</i><u>u</u><s>s</s>z");
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"a", L"b", L"i", L"u", L"s", L"z"}));
    EXPECT_EQ(runs[1].font.weight, 700);
    EXPECT_EQ(runs[1].rect, R(20, 20, 32, 36));
    EXPECT_TRUE(runs[2].font.italic);
    EXPECT_TRUE(runs[3].font.underline);
    EXPECT_TRUE(runs[4].font.strikeOut);
    // Back to the base after each closing tag; the same style joins one run.
    EXPECT_EQ(runs[2].font.weight, 400);
    EXPECT_FALSE(runs[3].font.italic);
    EXPECT_EQ(runs[5].font, BaseFont());
    EXPECT_EQ(runs[5].rect.left, 10 + 10 + 12 + 10 + 10 + 10);
}

TEST(HtmlLayout, StylesNest) {
    const std::vector<SHtmlRun> runs = Layout(L"<b><i>x</i>y</b>");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].font.weight, 700);
    EXPECT_TRUE(runs[0].font.italic);
    EXPECT_EQ(runs[1].font.weight, 700);
    EXPECT_FALSE(runs[1].font.italic);
}

TEST(HtmlLayout, FontTagSetsFaceSizeAndColour) {
    const std::vector<SHtmlRun> runs = Layout(L"<font face=Courier size=24 color=FF8000>big</font>after");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].font.face, L"Courier");
    EXPECT_EQ(runs[0].font.height, 24);
    EXPECT_EQ(runs[0].color, LayerRgb(0xFF, 0x80, 0x00));
    // The closing tag restores the whole font but keeps the colour.
    EXPECT_EQ(runs[1].font, BaseFont());
    EXPECT_EQ(runs[1].color, LayerRgb(0xFF, 0x80, 0x00));
    // Runs of one line share its bottom by default.
    EXPECT_EQ(runs[0].rect, R(10, 20, 40, 44));
    EXPECT_EQ(runs[1].rect, R(40, 28, 90, 44));
}

TEST(HtmlLayout, FontTagChangesOnlyWhatItNames) {
    std::vector<SHtmlRun> runs = Layout(L"<b><font size=-12>x</font></b>");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].font.weight, 700);
    EXPECT_EQ(runs[0].font.height, -12);
    EXPECT_EQ(runs[0].font.face, L"Tahoma");
    EXPECT_EQ(runs[0].color, kBaseColor);
}

TEST(HtmlLayout, BadFontValuesAreIgnored) {
    // Colours need exactly six hexadecimal digits; sizes need digits.
    for (const wchar_t* markup : {L"<font color=FF80>x", L"<font color=FF80001>x", L"<font color=GG0000>x",
                                  L"<font color=#FF8000>x", L"<font size=big>x", L"<font size=>x"}) {
        const std::vector<SHtmlRun> runs = Layout(markup);
        ASSERT_EQ(runs.size(), 1u) << markup;
        EXPECT_EQ(runs[0].color, kBaseColor) << markup;
        EXPECT_EQ(runs[0].font, BaseFont()) << markup;
    }
    EXPECT_EQ(Layout(L"<font color=ff8000>x")[0].color, LayerRgb(0xFF, 0x80, 0x00));
}

TEST(HtmlLayout, FaceNamesAreCutTo31Characters) {
    const std::wstring face(40, L'F');
    const std::vector<SHtmlRun> runs = Layout(L"<font face=" + face + L">x");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].font.face, std::wstring(31, L'F'));
}

TEST(HtmlLayout, BreakStartsANewLineAndKeepsEmptyLines) {
    const std::vector<SHtmlRun> runs = Layout(L"one<br>two<br><br>four");
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"one", L"two", L"four"}));
    EXPECT_EQ(runs[0].rect, R(10, 20, 40, 36));
    EXPECT_EQ(runs[1].rect, R(10, 36, 40, 52));
    EXPECT_EQ(runs[2].rect, R(10, 68, 50, 84));
}

TEST(HtmlLayout, LineHeightSetsTheHeightOfLines) {
    const std::vector<SHtmlRun> runs = Layout(L"<lhi size=30>one<br>two<br><lhi size=0>three");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].rect, R(10, 34, 40, 50));
    EXPECT_EQ(runs[1].rect, R(10, 64, 40, 80));
    EXPECT_EQ(runs[2].rect, R(10, 80, 60, 96));
}

TEST(HtmlLayout, AlignPlacesLinesAcrossAndRunsWithinTheirLine) {
    // 400 wide: "ab" (20) centred starts at 190, right-aligned at 380.
    std::vector<SHtmlRun> runs = Layout(L"<align typeh=center>ab<align typeh=right>ab<align typeh=left>ab");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].rect, R(200, 20, 220, 36));
    EXPECT_EQ(runs[1].rect, R(390, 36, 410, 52));
    EXPECT_EQ(runs[2].rect, R(10, 52, 30, 68));
    // Only the first letter counts; anything else is right.
    runs = Layout(L"<align typeh=cow>ab<align typeh=x>ab<align typeh=lemon>ab");
    EXPECT_EQ(runs[0].rect.left, 200);
    EXPECT_EQ(runs[1].rect.left, 390);
    EXPECT_EQ(runs[2].rect.left, 10);

    // A 24-high run beside 16-high ones: top, middle and bottom of the line.
    runs = Layout(L"<align typel=top>a<font size=24>B</font><align typel=middle>a<font size=24>B</font>"
                  L"<align typel=bottom>a<font size=24>B</font>");
    ASSERT_EQ(runs.size(), 6u);
    EXPECT_EQ(runs[0].rect.top, 20);
    EXPECT_EQ(runs[2].rect.top, 44 + 4);
    EXPECT_EQ(runs[4].rect.top, 68 + 8);
    EXPECT_EQ(runs[5].rect.top, 68);
}

TEST(HtmlLayout, AlignTypevPlacesTheBlockOfLines) {
    // Two 16-high lines in a 100-high rectangle.
    std::vector<SHtmlRun> runs = Layout(L"<align typev=middle>one<br>two");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rect.top, 20 + 34);
    EXPECT_EQ(runs[1].rect.top, 20 + 50);
    runs = Layout(L"<align typev=bottom>one<br>two");
    EXPECT_EQ(runs[1].rect.bottom, 120);
    runs = Layout(L"<align typev=top>one");
    EXPECT_EQ(runs[0].rect.top, 20);
}

TEST(HtmlLayout, AlignOnAnEmptyLineAddsNoLine) {
    const std::vector<SHtmlRun> runs = Layout(L"<align typeh=left>first<align typeh=left><align typeh=left>second");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rect.top, 20);
    EXPECT_EQ(runs[1].rect.top, 36);
}

TEST(HtmlLayout, SpacerAdvancesByPixelsOrPercent) {
    std::vector<SHtmlRun> runs = Layout(L"a<spacer size=15>b<spacer size=10%>c");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].rect.left, 10 + 10 + 15);
    EXPECT_EQ(runs[2].rect.left, 10 + 10 + 15 + 10 + 40);
    // A spacer never moves back before the line's start.
    runs = Layout(L"<spacer size=-50>a");
    EXPECT_EQ(runs[0].rect.left, 10);
    // Invalid sizes do nothing.
    runs = Layout(L"a<spacer size=ten>b<spacer>c");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, L"abc");
}

TEST(HtmlLayout, LongTextWrapsAtSpaces) {
    // 100 wide holds ten characters.
    const std::vector<SHtmlRun> runs = Layout(L"one two three four", 100);
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"one two", L"three four"}));
    EXPECT_EQ(runs[0].rect, R(10, 20, 80, 36));
    EXPECT_EQ(runs[1].rect, R(10, 36, 110, 52));
}

TEST(HtmlLayout, ChineseTextWrapsBetweenCharacters) {
    const std::vector<SHtmlRun> runs = Layout(L"正在查询会议信息", 50);
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"正在查询会", L"议信息"}));
}

TEST(HtmlLayout, WordsWiderThanTheLineAreSplit) {
    const std::vector<SHtmlRun> runs = Layout(L"ab abcdefghijklmnop cd", 50);
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"ab", L"abcde", L"fghij", L"klmno", L"p cd"}));
    // Even a rectangle narrower than one character takes one per line.
    EXPECT_EQ(Texts(Layout(L"xyz", 5)), (std::vector<std::wstring>{L"x", L"y", L"z"}));
}

TEST(HtmlLayout, TextAfterAnUnclosedTagIsLeftOut) {
    EXPECT_EQ(Texts(Layout(L"shown <b>bold</b> <font size=3 hidden")),
              (std::vector<std::wstring>{L"shown ", L"bold"}));
}

TEST(HtmlLayout, TrailingSpacesTakeNoRoom) {
    const std::vector<SHtmlRun> runs = Layout(L"<align typeh=right>ab   ");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, L"ab");
    EXPECT_EQ(runs[0].rect, R(390, 20, 410, 36));
}

TEST(HtmlLayout, RectangleNarrowerThanNothingTakesOneCharacterPerLine) {
    // Right left of left: as in a dialog narrower than the caption's margins.
    const std::vector<SHtmlRun> runs = Layout(L"\u51C6\u5907 ab  ", -50);
    ASSERT_EQ(Texts(runs), (std::vector<std::wstring>{L"\u51C6", L"\u5907", L"a", L"b"}));
    EXPECT_EQ(runs[0].rect, R(10, 20, 20, 36));
    EXPECT_EQ(runs[3].rect, R(10, 68, 20, 84));
    EXPECT_TRUE(Layout(L"   ", -50).empty());
}

TEST(HtmlLayout, SpacerMovesAtMostToTheEndOfTheLine) {
    // The spacer fills the rest of the line instead of pushing the
    // right-aligned text out of the rectangle.
    std::vector<SHtmlRun> runs = Layout(L"<align typeh=right>ab<spacer size=1000>");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].rect, R(10, 20, 30, 36));
    // However many, spacers leave the next text at the start of a line.
    std::wstring markup;
    for (int i = 0; i < 1000; ++i) markup += L"<spacer size=999999%>";
    runs = Layout(markup + L"a");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].rect, R(10, 20, 20, 36));
    // A spacer that moves back leaves the line as wide as its text.
    runs = Layout(L"<align typeh=right>abcd<spacer size=-100>x");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].rect, R(370, 20, 410, 36));
    EXPECT_EQ(runs[1].rect, R(370, 20, 380, 36));
}

TEST(HtmlLayout, LinesPastTheRangeOfCoordinatesStopAtItsLimit) {
    // 2200 lines of 999999 pixels, one character each: far more than an int holds.
    const std::vector<SHtmlRun> runs = Layout(L"<lhi size=999999>" + std::wstring(2200, L'x'), 5);
    ASSERT_EQ(runs.size(), 2200u);
    EXPECT_EQ(runs[0].rect, R(10, 20 + 999999 - 16, 20, 20 + 999999));
    EXPECT_EQ(runs[1].rect.top, runs[0].rect.top + 999999);
    for (size_t i = 1; i < runs.size(); ++i) {
        ASSERT_GE(runs[i].rect.top, runs[i - 1].rect.top) << i;
        ASSERT_EQ(runs[i].rect.Height(), 16) << i;
    }
    EXPECT_EQ(runs.back().rect.bottom, INT_MAX);
}

#include "ui/html_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The tokens as one readable line: text as it is, tags as [/name a=v ...].
std::wstring Describe(const std::vector<SHtmlToken>& tokens) {
    static const wchar_t* const kNames[] = {L"b", L"i", L"u", L"s", L"font", L"br", L"lhi", L"align", L"spacer"};
    std::wstring out;
    for (const SHtmlToken& token : tokens) {
        if (!token.isTag) {
            out += token.text;
            continue;
        }
        out += L"[";
        if (token.closing) out += L"/";
        out += kNames[static_cast<int>(token.tag)];
        for (const SHtmlAttribute& attribute : token.attributes) out += L" " + attribute.name + L"=" + attribute.value;
        out += L"]";
    }
    return out;
}

std::wstring Parsed(const std::wstring& markup) { return Describe(ParseHtmlMarkup(markup)); }

}  // namespace

TEST(HtmlMarkup, PlainTextIsOneToken) {
    const std::vector<SHtmlToken> tokens = ParseHtmlMarkup(L"Preparing Meeting environment");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_FALSE(tokens[0].isTag);
    EXPECT_EQ(tokens[0].text, L"Preparing Meeting environment");
    EXPECT_TRUE(ParseHtmlMarkup(L"").empty());
}

TEST(HtmlMarkup, EveryTagOpensAndCloses) {
    EXPECT_EQ(Parsed(L"<b>B</b><i>I</i><u>U</u><s>S</s>"), L"[b]B[/b][i]I[/i][u]U[/u][s]S[/s]");
    EXPECT_EQ(Parsed(L"<font>F</font><br><lhi><align><spacer>"), L"[font]F[/font][br][lhi][align][spacer]");
    const std::vector<SHtmlToken> tokens = ParseHtmlMarkup(L"<br></font>");
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].tag, EHtmlTag::Break);
    EXPECT_FALSE(tokens[0].closing);
    EXPECT_EQ(tokens[1].tag, EHtmlTag::Font);
    EXPECT_TRUE(tokens[1].closing);
}

TEST(HtmlMarkup, AttributesInTheOrderWritten) {
    EXPECT_EQ(Parsed(L"<font face=Tahoma size=14 color=FF8000>x"), L"[font face=Tahoma size=14 color=FF8000]x");
    EXPECT_EQ(Parsed(L"<lhi size=20><spacer size=10%>"), L"[lhi size=20][spacer size=10%]");
    EXPECT_EQ(Parsed(L"<align typeh=center typel=middle typev=bottom>"),
              L"[align typeh=center typel=middle typev=bottom]");
    const std::vector<SHtmlToken> tokens = ParseHtmlMarkup(L"<font size=12 color=00FF00>");
    ASSERT_EQ(tokens.size(), 1u);
    ASSERT_NE(FindHtmlAttribute(tokens[0], L"color"), nullptr);
    EXPECT_EQ(*FindHtmlAttribute(tokens[0], L"color"), L"00FF00");
    EXPECT_EQ(FindHtmlAttribute(tokens[0], L"face"), nullptr);
}

TEST(HtmlMarkup, QuotedValuesKeepTheirSpaces) {
    EXPECT_EQ(Parsed(L"<font face=\"Courier New\" size='12'>x"), L"[font face=Courier New size=12]x");
    // Extra spaces between attributes are skipped; a missing value is empty.
    EXPECT_EQ(Parsed(L"<font   size=9    face>x"), L"[font size=9 face=]x");
    // A quote left open runs to the end of the tag.
    EXPECT_EQ(Parsed(L"<font face='Tahoma>x"), L"[font face=Tahoma]x");
}

TEST(HtmlMarkup, UnknownTagsAreSkipped) {
    EXPECT_EQ(Parsed(L"a<p>b</p>c<img src=x>d<>e</>f"), L"abcdef");
    // Names are compared exactly: capitals are other names.
    EXPECT_EQ(Parsed(L"<B>bold</B><Font size=3>x"), L"boldx");
    // The name ends at the first space.
    EXPECT_EQ(Parsed(L"< b>x"), L"x");
}

TEST(HtmlMarkup, OverlongNamesAreSkipped) {
    // Eight characters is the longest name; no tag has one, so a name of
    // nine characters that starts with a known one is still no tag.
    EXPECT_EQ(Parsed(L"<spacerxyz size=3>x"), L"x");
    EXPECT_EQ(Parsed(L"<fontfontf>x</fontfontf>"), L"x");
    // An attribute name of nine characters is dropped, one of eight kept.
    EXPECT_EQ(Parsed(L"<font colorcolo=FF0000 abcdefgh=1 size=5>x"), L"[font abcdefgh=1 size=5]x");
}

TEST(HtmlMarkup, UnclosedTagEndsTheText) {
    EXPECT_EQ(Parsed(L"before<b>bold</b> after <font size=3"), L"before[b]bold[/b] after ");
    EXPECT_EQ(Parsed(L"<"), L"");
    EXPECT_EQ(Parsed(L"a < b and c > d"), L"a  d");
    // A '>' without a '<' is text.
    EXPECT_EQ(Parsed(L"a > b"), L"a > b");
}

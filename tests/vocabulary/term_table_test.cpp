#include "vocabulary/term_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"
#include "util/code_page.h"

namespace {

const wchar_t kTable[] = L"MEETING=@:Meeting;zh_CN:会议|HOST=@:Host;zh_CN:主持人|ONLYCN=zh_CN:仅中文|EMPTY=";

// The term table as the resource script ships it.
std::wstring ShippedTable() {
    const std::string script = ReadFileBytes(std::filesystem::path(ZM_SOURCE_DIR) / "res" / "zolta.rc");
    const std::string entry = "IDS_TERM_TABLE \"";
    const size_t start = script.find(entry);
    if (start == std::string::npos) return std::wstring();
    const size_t textStart = start + entry.size();
    return Utf8ToWide(script.substr(textStart, script.find('"', textStart) - textStart));
}

}  // namespace

TEST(TermTable, TextOfTheLanguageElseTheDefaultElseEmpty) {
    CTermTable table;
    table.Select(L"zh_CN", kTable);
    EXPECT_EQ(table.Get(L"MEETING"), L"会议");
    EXPECT_EQ(table.Get(L"ONLYCN"), L"仅中文");
    table.Select(L"zh_cn", kTable);
    EXPECT_EQ(table.Get(L"HOST"), L"Host");
    EXPECT_EQ(table.Get(L"ONLYCN"), L"");
}

TEST(TermTable, MissingKeyGivesEmptyText) {
    CTermTable table;
    table.Select(L"zh_CN", kTable);
    EXPECT_EQ(table.Get(L"CAPTION"), L"");
    EXPECT_EQ(table.Get(L"EMPTY"), L"");
    EXPECT_EQ(table.Get(L"meeting"), L"");
}

TEST(TermTable, SelectingAgainReplacesTheTable) {
    CTermTable table;
    table.Select(L"zh_CN", kTable);
    table.Select(L"zh_CN", L"HOST=@:Presenter");
    EXPECT_EQ(table.Get(L"HOST"), L"Presenter");
    EXPECT_EQ(table.Get(L"MEETING"), L"");
}

TEST(TermTable, ShippedTableHasEveryKeyInBothLanguages) {
    const std::wstring shipped = ShippedTable();
    for (const wchar_t* key :
         {L"MEETING", L"HOST", L"DEMO", L"ASSISTANT", L"NORMALACTOR", L"AGENDA", L"PARTICIPANT", L"ENTERBYURL", L"IM"}) {
        SelectTermLanguage(L"en_US", shipped);
        const std::wstring english = GetTerm(key);
        SelectTermLanguage(L"zh_CN", shipped);
        EXPECT_FALSE(english.empty()) << WideToUtf8(key);
        EXPECT_NE(GetTerm(key), english) << WideToUtf8(key);
    }
    EXPECT_EQ(GetTerm(L"MEETING"), L"会议");
}

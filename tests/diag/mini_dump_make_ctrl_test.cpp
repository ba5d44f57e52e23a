#include "diag/mini_dump_make_ctrl.h"

#include <gtest/gtest.h>

#include <string>

#include "dump_trailer.h"
#include "util/code_page.h"

namespace {

class PathOnlyDumpMaker : public CMiniDumpMakeCtrl {
public:
    void GetDumpFilePath(std::wstring& path) override { path = L"x.dmp"; }
};

std::string LengthWord(uint32_t value) {
    std::string word;
    for (int shift = 0; shift < 32; shift += 8) word.push_back(static_cast<char>((value >> shift) & 0xFF));
    return word;
}

}  // namespace

TEST(DumpTrailer, HoldsCodeAddressCommentZeroAndLengthWord) {
    const std::string trailer = BuildDumpTrailer(0xC0000005u, 0x7FF612345678ull, L"Module:a.exe\n");
    const std::string text = "\nException code:0xC0000005\nFault address:0x7FF612345678\nModule:a.exe\n";
    EXPECT_EQ(trailer, text + std::string(1, '\0') + LengthWord(static_cast<uint32_t>(text.size() + 1 + 4)));
}

TEST(DumpTrailer, LastWordLocatesTheTrailerBehindAnyDump) {
    const std::string dump = std::string("MDMP") + std::string(1000, '\x5A') + std::string(3, '\0');
    const std::wstring comment = L"PCID:\u00e9t\u00e9\nLastLogData:line one\nline two\n";
    const std::string file = dump + BuildDumpTrailer(0xE0001234u, 0x10, comment);
    std::string text;
    ASSERT_TRUE(ReadDumpTrailer(file, text));
    EXPECT_EQ(text, "\nException code:0xE0001234\nFault address:0x10\n" + WideToAnsi(comment));
    EXPECT_EQ(DumpPart(file, text), dump);
}

TEST(DumpTrailer, EmptyCommentEndsAfterTheFaultAddress) {
    const std::string trailer = BuildDumpTrailer(0x80000003u, 0, L"");
    std::string text;
    ASSERT_TRUE(ReadDumpTrailer(trailer, text));
    EXPECT_EQ(text, "\nException code:0x80000003\nFault address:0x0\n");
}

TEST(DumpTrailer, ReaderRefusesAWordThatLocatesNothing) {
    std::string text = "unchanged";
    EXPECT_FALSE(ReadDumpTrailer("abc", text));
    EXPECT_FALSE(ReadDumpTrailer("MDMP" + LengthWord(4000), text));
    EXPECT_FALSE(ReadDumpTrailer("MDMPx" + LengthWord(5), text));  // no zero byte before the word
    EXPECT_EQ(text, "unchanged");
}

TEST(MiniDumpMakeCtrl, BaseCommentIsEmpty) {
    PathOnlyDumpMaker maker;
    std::wstring text = L"left over";
    maker.GetDumpComment(text);
    EXPECT_TRUE(text.empty());
}

#include "manifest/finger_item.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "captured_trace_log.h"

namespace {

const wchar_t kEmptyMd5[] = L"D41D8CD98F00B204E9800998ECF8427E";
const wchar_t kHelloMd5[] = L"5D41402ABC4B2A76B9719D911017C592";

class FingerItemTest : public ::testing::Test {
protected:
    static SFileItem Entry(int checkKind, const std::wstring& checkValue, int32_t size = -1) {
        SFileItem item;
        item.checkKind = checkKind;
        item.checkValue = checkValue;
        item.size = size;
        return item;
    }
};

}  // namespace

TEST_F(FingerItemTest, FileEntryTakesEveryTrimmedField) {
    auto item =
        ParseFileEntry(L"dlfl; bin\\a.dll ;1234;1500000000;ZF7Z; /r/a.z ;987;MD5; 5d41402abc4b2a76b9719d911017c592 ");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, kFingerFile);
    EXPECT_EQ(item->name, L"bin\\a.dll");
    EXPECT_EQ(item->size, 1234);
    EXPECT_EQ(item->time, 1500000000);
    EXPECT_EQ(item->zipType, kZipZf7z);
    EXPECT_EQ(item->srcPath, L"/r/a.z");
    EXPECT_EQ(item->transSize, 987);
    EXPECT_EQ(item->checkKind, CHECK_KIND_MD5);
    EXPECT_EQ(item->checkValue, kHelloMd5);
    // Kinds are exact texts; empty middle fields are fields; a transfer size must start with a digit.
    item = ParseFileEntry(L"dlfl;a;abc;;zf7z;;-5;md5;v");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->size, 0);
    EXPECT_EQ(item->zipType, kZipUnknown);
    EXPECT_EQ(item->transSize, -1);
    EXPECT_EQ(item->checkKind, CHECK_KIND_OTHER);
    EXPECT_EQ(ParseFileEntry(L"dlfl;a;1;2;ZLIB;s;;VER;v")->zipType, kZipZlib);
}

TEST_F(FingerItemTest, EntryMissingAFieldIsDiscardedNamingTheField) {
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    EXPECT_FALSE(ParseFileEntry(L"dlfl;a;1;2;;s;3;MD5"));
    EXPECT_FALSE(ParseFileEntry(L"dlfl;a;1;2;;s;3;MD5;"));
    EXPECT_FALSE(ParseFileEntry(L"dlfl"));
    const std::string text = log.Text();
    EXPECT_NE(text.find("GetDataFromItemStr failed! (index=8,str=dlfl;a;1;2;;s;3;MD5)\n"), std::string::npos);
    EXPECT_NE(text.find("GetDataFromItemStr failed! (index=8,str=dlfl;a;1;2;;s;3;MD5;)\n"), std::string::npos);
    EXPECT_NE(text.find("GetDataFromItemStr failed! (index=1,str=dlfl)\n"), std::string::npos);
}

TEST_F(FingerItemTest, DeleteEntryFailsTheUpdateOnlyWithErr) {
    auto plain = ParseDeleteEntry(L"rmfl; old.dll ;ERR");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, kFingerDelete);
    EXPECT_EQ(plain->name, L"old.dll");
    EXPECT_EQ(plain->ignoreFailure, 1);
    EXPECT_EQ(ParseDeleteEntry(L"rmfl;old.dll; ::err ")->ignoreFailure, 0);
    EXPECT_FALSE(ParseDeleteEntry(L"rmfl;"));
}

TEST_F(FingerItemTest, CompareChecksSizeThenValue) {
    const SFileItem md5 = Entry(CHECK_KIND_MD5, kHelloMd5, 5);
    const std::wstring same = kHelloMd5;
    const std::wstring other = kEmptyMd5;
    EXPECT_EQ(md5.CompareWithEntry(5, &same), kCheckMatch);
    EXPECT_EQ(md5.CompareWithEntry(6, &other), kCheckSizeMismatch);
    EXPECT_EQ(md5.CompareWithEntry(5, &other), kCheckValueMismatch);
    EXPECT_EQ(Entry(CHECK_KIND_MD5, kHelloMd5).CompareWithEntry(77, &same), kCheckMatch);
    EXPECT_EQ(Entry(CHECK_KIND_NONE, L"X", 3).CompareWithEntry(3, &other), kCheckMatch);
    // An unknown kind computes no value: only an empty expectation matches.
    const std::wstring none;
    EXPECT_EQ(Entry(CHECK_KIND_OTHER, kHelloMd5).CompareWithEntry(5, &none), kCheckValueMismatch);
    // A file of 4 GiB and 5 bytes is not a 5-byte file.
    EXPECT_EQ(md5.CompareWithEntry(4294967296LL + 5, &same), kCheckSizeMismatch);
}

TEST_F(FingerItemTest, SizesOf2GiBAndMoreAreRefusedNotWrapped) {
    auto largest = ParseFileEntry(L"dlfl;big.bin;2147483647;1;;s;2147483647;MD5;v");
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->size, 2147483647);
    EXPECT_EQ(largest->transSize, 2147483647);
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    // 4294967295 used to wrap to -1, "no size", and 4294967301 to 5.
    for (const wchar_t* entry : {L"dlfl;big.bin;2147483648;1;;s;5;MD5;v", L"dlfl;big.bin;4294967295;1;;s;5;MD5;v",
                                 L"dlfl;big.bin;4294967301;1;;s;5;MD5;v", L"dlfl;big.bin;5;1;;s;3000000000;MD5;v",
                                 L"dlfl;big.bin;-99999999999999999999;1;;s;5;MD5;v"}) {
        EXPECT_FALSE(ParseFileEntry(entry)) << std::string(entry, entry + std::wcslen(entry));
    }
    EXPECT_NE(log.Text().find("file size out of range, refused! (str:dlfl;big.bin;4294967295;1;;s;5;MD5;v)\n"),
              std::string::npos);
}

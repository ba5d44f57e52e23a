#include "publish/update_info_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client_folder.h"
#include "manifest/ini_document.h"
#include "manifest/ini_profile.h"

namespace {

SFileItem PackedEntry() {
    SFileItem item;
    item.name = L"bin\\core.dll";
    item.size = 1234;
    item.time = 1500000000;
    item.zipType = kZipZf7z;
    item.srcPath = L"2.0.0.0/bin/core.dll";
    item.transSize = 567;
    item.checkKind = CHECK_KIND_MD5;
    item.checkValue = L"0123456789ABCDEF0123456789ABCDEF";
    return item;
}

}  // namespace

TEST(UpdateInfoWriter, FileJobReadsBackAsTheSameEntry) {
    const SFileItem item = PackedEntry();
    std::wstring value;
    ASSERT_TRUE(FileJobValue(item, value));
    EXPECT_EQ(value, L"dlfl;bin\\core.dll;1234;1500000000;ZF7Z;2.0.0.0/bin/core.dll;567;MD5;"
                     L"0123456789ABCDEF0123456789ABCDEF");
    std::unique_ptr<SFileTransItem> parsed = ParseFileEntry(value);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, item.name);
    EXPECT_EQ(parsed->size, item.size);
    EXPECT_EQ(parsed->time, item.time);
    EXPECT_EQ(parsed->zipType, kZipZf7z);
    EXPECT_EQ(parsed->srcPath, item.srcPath);
    EXPECT_EQ(parsed->transSize, item.transSize);
    EXPECT_EQ(parsed->checkKind, CHECK_KIND_MD5);
    EXPECT_EQ(parsed->checkValue, item.checkValue);
}

TEST(UpdateInfoWriter, EmptyCheckValueGetsOneMoreSeparatorSoItParses) {
    SFileItem item = PackedEntry();
    item.zipType = kZipStored;
    item.checkKind = CHECK_KIND_NONE;
    item.checkValue.clear();
    std::wstring value;
    ASSERT_TRUE(FileJobValue(item, value));
    EXPECT_EQ(value, L"dlfl;bin\\core.dll;1234;1500000000;;2.0.0.0/bin/core.dll;567;;;");
    std::unique_ptr<SFileTransItem> parsed = ParseFileEntry(value);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->zipType, kZipStored);
    EXPECT_EQ(parsed->checkKind, CHECK_KIND_NONE);
    EXPECT_EQ(parsed->checkValue, L"");
}

TEST(UpdateInfoWriter, NegativeTimeIsWrittenAsTheReaderComparesIt) {
    SFileItem item = PackedEntry();
    item.time = -5;
    std::wstring value;
    ASSERT_TRUE(FileJobValue(item, value));
    std::unique_ptr<SFileTransItem> parsed = ParseFileEntry(value);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->time, -5);
}

TEST(UpdateInfoWriter, FieldsThatWouldNotReadBackAreRefused) {
    EXPECT_TRUE(CanWriteJobField(L"dir\\a b.dll"));
    EXPECT_TRUE(CanWriteJobField(L"100%.txt"));
    EXPECT_FALSE(CanWriteJobField(L"a;b.dll"));
    EXPECT_FALSE(CanWriteJobField(L" a.dll"));
    EXPECT_FALSE(CanWriteJobField(L"a.dll\t"));
    EXPECT_FALSE(CanWriteJobField(L"a\nb"));
    EXPECT_FALSE(CanWriteJobField(L"%APPDIR%a.dll"));
    EXPECT_FALSE(CanWriteJobField(L"x%OEMID%"));

    SFileItem item = PackedEntry();
    std::wstring value = L"unchanged";
    item.name = L"a;b.dll";
    EXPECT_FALSE(FileJobValue(item, value));
    item = PackedEntry();
    item.zipType = kZipZlib;
    EXPECT_FALSE(FileJobValue(item, value));
    item = PackedEntry();
    item.checkKind = CHECK_KIND_OTHER;
    EXPECT_FALSE(FileJobValue(item, value));
    item = PackedEntry();
    item.srcPath.clear();
    EXPECT_FALSE(FileJobValue(item, value));
    EXPECT_EQ(value, L"unchanged");
}

TEST(UpdateInfoWriter, DeleteJobCarriesErrOnlyWhenFailureCounts) {
    SFingerDelItem item;
    item.name = L"old\\x.dll";
    std::wstring value;
    ASSERT_TRUE(DeleteJobValue(item, value));
    EXPECT_EQ(value, L"rmfl;old\\x.dll");
    std::unique_ptr<SFingerDelItem> parsed = ParseDeleteEntry(value);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->ignoreFailure, 1);

    item.ignoreFailure = 0;
    ASSERT_TRUE(DeleteJobValue(item, value));
    EXPECT_EQ(value, L"rmfl;old\\x.dll;err");
    parsed = ParseDeleteEntry(value);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, L"old\\x.dll");
    EXPECT_EQ(parsed->ignoreFailure, 0);
}

TEST(UpdateInfoWriter, MainSectionFollowsTheLayoutVersion) {
    EXPECT_EQ(MainSectionName(0), L"MAIN");
    EXPECT_EQ(MainSectionName(1), L"MAIN");
    EXPECT_EQ(MainSectionName(2), L"MAIN_V2");
    EXPECT_EQ(MainSectionName(13), L"MAIN_V13");
}

TEST(UpdateInfoWriter, TextHasSectionsInOrderWithNumberedJobs) {
    CUpdateInfoWriter writer;
    writer.BeginSection(L"VER");
    writer.AddString(L"Ver", L"2.0");
    writer.BeginSection(L"MAIN");
    writer.AddString(L"StartCmd", L"");
    writer.AddJob(L"rmfl;a");
    writer.AddJob(L"rmfl;b");
    writer.BeginSection(L"Other");
    writer.AddJob(L"rmfl;c");
    EXPECT_EQ(writer.GetText(),
              L"[VER]\r\nVer=2.0\r\n\r\n[MAIN]\r\nStartCmd=\r\nJob_1=rmfl;a\r\nJob_2=rmfl;b\r\n\r\n[Other]\r\n"
              L"Job_1=rmfl;c\r\n");
}

TEST(UpdateInfoWriter, BytesAreUtf16LittleEndianAfterTheByteOrderMark) {
    CUpdateInfoWriter writer;
    writer.BeginSection(L"S");
    writer.AddString(L"k", L"\u00e9\u4e2d");
    const std::string bytes = writer.GetBytes();
    const std::string expected("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\x2D\x4E\r\0\n\0", 24);
    EXPECT_EQ(bytes, expected);
}

TEST(UpdateInfoWriter, CharacterBeyondTheBasicPlaneBecomesASurrogatePair) {
    CUpdateInfoWriter writer;
    writer.BeginSection(L"S");
    writer.AddString(L"k", std::wstring(L"\U0001F600"));
    const std::string bytes = writer.GetBytes();
    // k = then D83D DE00 then CR LF.
    EXPECT_EQ(bytes.substr(bytes.size() - 8), std::string("\x3D\xD8\x00\xDE\r\0\n\0", 8));
    std::wstring value;
    ASSERT_TRUE(CIniDocument(bytes).FindValue(L"S", L"k", value));
    EXPECT_EQ(value, std::wstring(L"\U0001F600"));
}

TEST(UpdateInfoWriter, QuotedStringKeepsItsQuotesWhenRead) {
    const std::wstring quoted = L"\"C:\\a b\\x.exe\"";
    const std::wstring partly = L"\"C:\\a b\\x.exe\" /WAIT";
    CUpdateInfoWriter writer;
    writer.BeginSection(L"MAIN");
    writer.AddString(L"StartCmd", quoted);
    writer.AddString(L"StopCmd", partly);
    ClientFolder folder;
    folder.Write(L"UpdateInfo.ini", writer.GetBytes(), 1500000000);
    const std::wstring path = folder.Path(L"UpdateInfo.ini");
    EXPECT_EQ(ReadProfileString(L"MAIN", L"StartCmd", nullptr, 512, path), quoted);
    EXPECT_EQ(ReadProfileString(L"MAIN", L"StopCmd", nullptr, 512, path), partly);
}

TEST(UpdateInfoWriter, NonAsciiTextReadsBackThroughTheIniReader) {
    CUpdateInfoWriter writer;
    writer.BeginSection(L"MAIN");
    writer.AddJob(L"rmfl;\u65e7\u7248\\\u00fcber.dll");
    CIniDocument document(writer.GetBytes());
    EXPECT_EQ(document.GetEncoding(), CIniDocument::INI_ENCODING_UTF16LE);
    std::vector<std::wstring> entries;
    ASSERT_TRUE(document.GetSectionEntries(L"main", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], L"Job_1=rmfl;\u65e7\u7248\\\u00fcber.dll");
}

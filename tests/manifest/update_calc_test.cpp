#include "manifest/finger_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "captured_trace_log.h"
#include "manifest/qk_update_ini.h"
#include "temp_dir.h"
#include "util/file_util.h"

namespace {

using Names = std::vector<std::wstring>;

const int32_t kReleaseTime = 1500000000;
const int32_t kLocalTime = 1400000000;

Names NamesOf(const FingerItemList& items) {
    Names names;
    for (const SFingerItem* item : items) names.push_back(item->name);
    return names;
}

// A "dlfl" job value of a 5-byte file of release 2.0.
std::string Dlfl(const std::string& name, const std::string& check, const std::string& value) {
    return "dlfl;" + name + ";5;" + std::to_string(kReleaseTime) + ";;2.0/" + name + ";5;" + check + ";" + value;
}

const std::string kHelloMd5 = "5d41402abc4b2a76b9719d911017c592";
const std::string kManifest =
    "[MAIN]\r\n"
    "Job_01=" + Dlfl("same.dll", "MD5", kHelloMd5) + "\r\n" +
    "Job_02=" + Dlfl("grown.dll", "MD5", "E72C4C72F739D5FFFA9B7B09B3CDFB61") + "\r\n" +
    "Job_03=" + Dlfl("touched.dll", "MD5", kHelloMd5) + "\r\n" +
    "Job_04=" + Dlfl("swapped.dll", "MD5", kHelloMd5) + "\r\n" +
    "Job_05=" + Dlfl("changed.dll", "MD5", kHelloMd5) + "\r\n" +
    "Job_06=" + Dlfl("new\\fresh.dll", "MD5", "76010858C8362D7302EF5F9436AA6639") + "\r\n" +
    "Job_07=" + Dlfl("versioned.dll", "VER", "1.0.0.1") + "\r\n" +
    "Job_08=rmfl;old.dll\r\n"
    "Job_09=rmfl;gone.dll;err\r\n"
    "Job_10=sub;Plugin\r\n"
    "[Plugin]\r\nSectionType=module\r\nJob_1=" + Dlfl("plugin\\p.dll", "MD5", kHelloMd5) + "\r\n";

// An installation in a temporary application directory, release 2.0's
// manifest staged in its UpdateVer\, and the lists the update worker
// calculates from them.
class UpdateCalcTest : public ::testing::Test {
protected:
    UpdateCalcTest() : ini_(app_.WinPath(), L"ZOLTA") {}
    void SetUp() override {
        CFingerFile::SetNoUpdateList(L"");
        Write("same.dll", "hello", kReleaseTime);
        Write("grown.dll", "grown!", kReleaseTime);
        Write("touched.dll", "hello", kLocalTime);
        Write("swapped.dll", "hellp", kReleaseTime);
        Write("changed.dll", "hellp", kLocalTime);
        Write("versioned.dll", "12345", kReleaseTime);
        Write("old.dll", "old", kLocalTime);
        Write("plugin/p.dll", "hello", kReleaseTime);
        app_.Write("UpdateVer/UpdateInfo.ini", kManifest);
        ini_.SetFile(app_.WinPath() + L"UpdateVer\\UpdateInfo.ini");
    }
    void TearDown() override { CFingerFile::SetNoUpdateList(L""); }

    // relative with '/', which both builds take as a separator.
    void Write(const std::string& relative, const std::string& bytes, int32_t time) {
        app_.Write(relative, bytes);
        ASSERT_TRUE(SetFileTimes(Path(relative), time));
    }
    std::wstring Path(const std::string& relative) const {
        return app_.WinPath() + std::wstring(relative.begin(), relative.end());
    }
    int64_t WriteTimeOf(const std::string& relative) const {
        FileFindData data;
        EXPECT_TRUE(FindFile(Path(relative), data));
        return data.writeTime;
    }
    void Calculate() {
        ASSERT_TRUE(finger_.LoadFinger(ini_, L"MAIN"));
        CFingerFile::CopyItems(finger_.GetAllItems(), update_);
        CFingerFile::CalcUpdate(app_.WinPath(), update_, nullptr);
        CFingerFile::CopyItems(update_, download_);
        CFingerFile::RemoveListed(download_, finger_.GetCurrentItems(), nullptr);
    }
    const SFileItem& Entry(const std::wstring& name) const {
        for (const SFingerItem* item : finger_.GetAllItems()) {
            if (item->name == name) return static_cast<const SFileItem&>(*item);
        }
        ADD_FAILURE() << "no entry";
        static const SFileItem missing;
        return missing;
    }

    ScopedTempDir app_;
    CQKUpdateIni ini_;
    CFingerFile finger_;
    FingerItemList update_;
    FingerItemList download_;
};

}  // namespace

TEST_F(UpdateCalcTest, ListsHoldWhatDiffersFromTheInstallation) {
    Calculate();
    // same, swapped (content not read) and versioned have the entry's size
    // and time, touched its MD5, plugin\p.dll all; gone.dll is gone already.
    const Names expected{L"grown.dll", L"changed.dll", L"new\\fresh.dll", L"old.dll"};
    EXPECT_EQ(NamesOf(update_), expected);
    EXPECT_EQ(NamesOf(download_), expected);
    EXPECT_EQ(update_[3]->kind, kFingerDelete);
    EXPECT_EQ(NamesOf(finger_.GetPendingItems()),
              (Names{L"same.dll", L"grown.dll", L"touched.dll", L"swapped.dll", L"changed.dll", L"new\\fresh.dll",
                     L"versioned.dll", L"plugin\\p.dll"}));
    // A file current by its value gets the entry's time, so it is not read next time.
    EXPECT_EQ(WriteTimeOf("touched.dll"), kReleaseTime);
    EXPECT_EQ(WriteTimeOf("changed.dll"), kLocalTime);
}

TEST_F(UpdateCalcTest, ContentIsReadOnlyWhenTheTimeDiffers) {
    // These files have no version resource: computing their value fails.
    ASSERT_TRUE(finger_.LoadFinger(ini_, L"MAIN"));
    EXPECT_TRUE(CFingerFile::IsFileCurrent(app_.WinPath(), Entry(L"versioned.dll")));
    Write("versioned.dll", "12345", kLocalTime);
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    EXPECT_FALSE(CFingerFile::IsFileCurrent(app_.WinPath(), Entry(L"versioned.dll")));
    EXPECT_FALSE(CFingerFile::IsFileCurrent(app_.WinPath(), Entry(L"grown.dll")));
    const std::string text = log.Text();
    EXPECT_NE(text.find("Calculate file check value err! (file:"), std::string::npos);
    EXPECT_NE(text.find("fileSize mismatch(fileSize=6, itemSize=5)! (file:"), std::string::npos);
}

TEST_F(UpdateCalcTest, StagedFilesAreNotFetchedAgain) {
    // An interrupted update left two sound files and a cut one in UpdateVer\.
    Write("UpdateVer/grown.dll", "grown", kReleaseTime);
    Write("UpdateVer/new/fresh.dll", "fresh", kLocalTime);
    Write("UpdateVer/changed.dll", "hell", kReleaseTime);
    Calculate();
    EXPECT_EQ(NamesOf(finger_.GetCurrentItems()), (Names{L"grown.dll", L"new\\fresh.dll"}));
    EXPECT_EQ(NamesOf(update_), (Names{L"grown.dll", L"changed.dll", L"new\\fresh.dll", L"old.dll"}));
    EXPECT_EQ(NamesOf(download_), (Names{L"changed.dll", L"old.dll"}));
}

TEST_F(UpdateCalcTest, NoUpdateListKeepsFilesByNameAndSeparator) {
    // "grown.dll;" occurs in "xgrown.dll;"; the last name gets its ';'.
    CFingerFile::SetNoUpdateList(L"xgrown.dll;new\\fresh.dll;;");
    Calculate();
    EXPECT_EQ(NamesOf(update_), (Names{L"changed.dll", L"old.dll"}));
    EXPECT_EQ(NamesOf(download_), (Names{L"changed.dll", L"old.dll"}));
    CFingerFile::SetNoUpdateList(L"Changed.dll");
    EXPECT_FALSE(CFingerFile::IsFileCurrent(app_.WinPath(), Entry(L"changed.dll")));
    CFingerFile::SetNoUpdateList(L"changed.dll");
    EXPECT_TRUE(CFingerFile::IsFileCurrent(app_.WinPath(), Entry(L"changed.dll")));
}

TEST_F(UpdateCalcTest, RemoveListedTakesOneEntryPerRemoval) {
    SFileItem a;
    a.name = L"A.dll";
    SFileItem a2;
    a2.name = L"a.DLL";
    SFingerDelItem aDelete;
    aDelete.name = L"a.dll";
    SFileItem b;
    b.name = L"b.dll";
    FingerItemList list{&a, &aDelete, &b, &a2};
    FingerItemList removed;
    CFingerFile::RemoveListed(list, {&a2, &b, &a2, &a2}, &removed);
    EXPECT_EQ(list, (FingerItemList{&aDelete}));
    EXPECT_EQ(removed, (FingerItemList{&a, &b, &a2}));
}

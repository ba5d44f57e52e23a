// A release made by the release tool, read back by the updater's own
// manifest code: the update calculation against an installation, the
// download decode, and the installation brought up to date.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "client_folder.h"
#include "manifest/decode_net_file.h"
#include "manifest/finger_file.h"
#include "manifest/qk_update_ini.h"
#include "publish/release_builder.h"

namespace {

const int64_t kOldTime = 1400000000;
const int64_t kReleaseTime = 1500000000;

using Entries = std::vector<std::pair<int, std::wstring>>;  // kind, name

Entries EntriesOf(const FingerItemList& items) {
    Entries entries;
    for (const SFingerItem* item : items) entries.emplace_back(item->kind, item->name);
    return entries;
}

std::string PackedText() {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 37) + " of the packed text\r\n";
    return text;
}

// Release 2.0.0.0 of a client, and an installation of an older version whose
// UpdateVer\ holds the downloaded manifest and what an interrupted update left.
class ReleaseRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        CFingerFile::SetNoUpdateList(L"");
        src_.Write(L"same.dll", "same", kReleaseTime);
        src_.Write(L"grown.dll", "grown, longer now", kReleaseTime);
        src_.Write(L"touched.dll", "touched", kReleaseTime);
        src_.Write(L"swapped.dll", "abcdef", kReleaseTime);
        src_.Write(L"missing.dll", "missing", kReleaseTime);
        src_.Write(L"staged.dll", "staged", kReleaseTime);
        src_.Write(L"stale.dll", "stale", kReleaseTime);
        src_.Write(L"sub\\packed.txt", PackedText(), kReleaseTime + 7);
        SReleaseOptions options;
        options.sourceDir = src_.Dir();
        options.outputDir = release_.Dir();
        options.version = L"2.0.0.0";
        options.pack = PACK_MATCHING;
        options.packPatterns = {L"*.txt"};
        options.removals = {{L"old.dll", false}, {L"gone.dll", true}};
        options.startCmd = L"%APPDIR%client.exe";
        CReleaseBuilder builder;
        SReleaseSummary summary;
        ASSERT_TRUE(builder.Build(options, summary)) << builder.GetError().c_str();
        ASSERT_EQ(summary.packed, 1);

        app_.Write(L"same.dll", "same", kReleaseTime);
        app_.Write(L"grown.dll", "grown", kReleaseTime);
        app_.Write(L"touched.dll", "touched", kOldTime);
        // New content of the old size and time: taken as current unread.
        app_.Write(L"swapped.dll", "abcxyz", kReleaseTime);
        app_.Write(L"stale.dll", "stale, old", kOldTime);
        app_.Write(L"old.dll", "old", kOldTime);
        app_.Write(L"UpdateVer\\staged.dll", "staged", kReleaseTime);
        app_.Write(L"UpdateVer\\stale.dll", "stale?", kReleaseTime);
        app_.Write(L"UpdateVer\\UpdateInfo.ini", release_.Read(L"UpdateInfo.ini.2.0.0.0"), kReleaseTime);
    }
    void TearDown() override { CFingerFile::SetNoUpdateList(L""); }

    // The update worker's calculation: the manifest in UpdateVer\ loaded, the
    // update list reduced by the installation, the download list by what is
    // already valid in UpdateVer\.
    bool Calculate(CFingerFile& finger, CQKUpdateIni& ini) {
        ini.SetFile(app_.Path(L"UpdateVer\\UpdateInfo.ini"));
        if (!finger.LoadFinger(ini, ini.GetMainSection())) return false;
        update_.clear();
        download_.clear();
        CFingerFile::CopyItems(finger.GetAllItems(), update_);
        CFingerFile::CalcUpdate(app_.Dir(), update_, nullptr);
        CFingerFile::CopyItems(update_, download_);
        CFingerFile::RemoveListed(download_, finger.GetCurrentItems(), nullptr);
        return true;
    }
    // What the download manager and the decode thread do for one entry: the
    // server's file lands as UpdateVer\<name>.tmp and is decoded beside it.
    int DownloadAndDecode(const SFileItem& entry, int fileId) {
        const std::wstring downloaded = app_.Path(L"UpdateVer\\" + entry.name + L".tmp");
        EXPECT_TRUE(MakeDirs(downloaded.substr(0, downloaded.rfind(L'\\'))));
        EXPECT_TRUE(CopyFileRetry(release_.Path(entry.srcPath), downloaded, false));
        return DecodeNetFile(fileId, downloaded, DecodedPathOf(downloaded), entry);
    }

    ClientFolder src_;
    ClientFolder release_;
    ClientFolder app_;
    FingerItemList update_;
    FingerItemList download_;
};

}  // namespace

TEST_F(ReleaseRoundTripTest, UpdateAndDownloadListsFollowTheInstallation) {
    CFingerFile finger;
    CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
    ASSERT_TRUE(Calculate(finger, ini));
    EXPECT_EQ(EntriesOf(finger.GetAllItems()),
              (Entries{{kFingerFile, L"grown.dll"},
                       {kFingerFile, L"missing.dll"},
                       {kFingerFile, L"same.dll"},
                       {kFingerFile, L"staged.dll"},
                       {kFingerFile, L"stale.dll"},
                       {kFingerFile, L"sub\\packed.txt"},
                       {kFingerFile, L"swapped.dll"},
                       {kFingerFile, L"touched.dll"},
                       {kFingerDelete, L"gone.dll"},
                       {kFingerDelete, L"old.dll"}}));
    EXPECT_EQ(EntriesOf(finger.GetCurrentItems()), (Entries{{kFingerFile, L"staged.dll"}}));
    EXPECT_EQ(EntriesOf(update_), (Entries{{kFingerFile, L"grown.dll"},
                                           {kFingerFile, L"missing.dll"},
                                           {kFingerFile, L"staged.dll"},
                                           {kFingerFile, L"stale.dll"},
                                           {kFingerFile, L"sub\\packed.txt"},
                                           {kFingerDelete, L"old.dll"}}));
    EXPECT_EQ(EntriesOf(download_), (Entries{{kFingerFile, L"grown.dll"},
                                             {kFingerFile, L"missing.dll"},
                                             {kFingerFile, L"stale.dll"},
                                             {kFingerFile, L"sub\\packed.txt"},
                                             {kFingerDelete, L"old.dll"}}));
}

TEST_F(ReleaseRoundTripTest, FileChangedInTimeOnlyIsCurrentAndGetsTheReleaseTime) {
    CFingerFile finger;
    CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
    ASSERT_TRUE(Calculate(finger, ini));
    EXPECT_EQ(app_.TimeOf(L"touched.dll"), kReleaseTime);
    EXPECT_EQ(app_.Read(L"touched.dll"), "touched");
    EXPECT_EQ(app_.Read(L"swapped.dll"), "abcxyz");
}

TEST_F(ReleaseRoundTripTest, NoUpdateListKeepsListedFilesAsTheyAre) {
    CFingerFile::SetNoUpdateList(L"grown.dll;stale.dll;");
    CFingerFile finger;
    CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
    ASSERT_TRUE(Calculate(finger, ini));
    EXPECT_EQ(EntriesOf(update_), (Entries{{kFingerFile, L"missing.dll"},
                                           {kFingerFile, L"staged.dll"},
                                           {kFingerFile, L"sub\\packed.txt"},
                                           {kFingerDelete, L"old.dll"}}));
    EXPECT_EQ(EntriesOf(download_), (Entries{{kFingerFile, L"missing.dll"},
                                             {kFingerFile, L"sub\\packed.txt"},
                                             {kFingerDelete, L"old.dll"}}));
}

TEST_F(ReleaseRoundTripTest, DownloadedFilesDecodeToTheOriginalsWithTheirTimes) {
    CFingerFile finger;
    CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
    ASSERT_TRUE(Calculate(finger, ini));
    int fileId = 0;
    for (const SFingerItem* item : download_) {
        if (item->kind != kFingerFile) continue;
        const auto& entry = static_cast<const SFileItem&>(*item);
        EXPECT_EQ(DownloadAndDecode(entry, ++fileId), 1) << entry.name.c_str();
        EXPECT_EQ(app_.Read(L"UpdateVer\\" + entry.name), src_.Read(entry.name)) << entry.name.c_str();
        EXPECT_EQ(app_.TimeOf(L"UpdateVer\\" + entry.name), src_.TimeOf(entry.name)) << entry.name.c_str();
        EXPECT_FALSE(app_.Exists(L"UpdateVer\\" + entry.name + L".tmp"));
    }
    EXPECT_EQ(fileId, 4);
    const SFileItem* packed = nullptr;
    for (const SFingerItem* item : download_) {
        if (item->name == L"sub\\packed.txt") packed = static_cast<const SFileItem*>(item);
    }
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(packed->zipType, kZipZf7z);
    EXPECT_EQ(app_.TimeOf(L"UpdateVer\\sub\\packed.txt"), kReleaseTime + 7);
}

TEST_F(ReleaseRoundTripTest, UpdatedInstallationIsCurrent) {
    {
        CFingerFile finger;
        CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
        ASSERT_TRUE(Calculate(finger, ini));
        int fileId = 0;
        for (const SFingerItem* item : download_) {
            if (item->kind != kFingerFile) continue;
            ASSERT_EQ(DownloadAndDecode(static_cast<const SFileItem&>(*item), ++fileId), 1);
        }
        // The local update: files moved into place, deletions done.
        for (const SFingerItem* item : update_) {
            const std::wstring target = app_.Path(item->name);
            if (item->kind == kFingerFile) {
                ASSERT_TRUE(MakeDirs(target.substr(0, target.rfind(L'\\'))));
                ASSERT_TRUE(CopyFileRetry(app_.Path(L"UpdateVer\\" + item->name), target, false));
            } else {
                ASSERT_TRUE(DeleteFileRetry(target, true));
            }
        }
    }
    CFingerFile finger;
    CQKUpdateIni ini(app_.Dir(), L"ZOLTA");
    ASSERT_TRUE(Calculate(finger, ini));
    EXPECT_EQ(EntriesOf(update_), Entries{});
    EXPECT_EQ(EntriesOf(download_), Entries{});
    EXPECT_EQ(app_.Read(L"sub\\packed.txt"), PackedText());
    EXPECT_FALSE(app_.Exists(L"old.dll"));
}

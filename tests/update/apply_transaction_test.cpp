// The apply transaction on a real folder: an apply that commits, one that
// rolls back, and applies ended at every file operation, as a killed
// process ends, then recovered: the installation is always exactly one
// release, and a rolled-back one keeps its staged files.
#include "update/apply_transaction.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "diag/trace_log.h"
#include "manifest/install_name.h"
#include "update_test_support.h"

namespace {

// The end of the process at one file operation.
struct SimulatedKill {};

// The system's file operations, ended just before the killAt-th one that
// may change the disk (none when killAt is 0); a journal line or a copy
// under way at that moment is left half-written. Renames of a locked path
// fail, as those of a file held open without sharing do.
class KillingFileOps : public CApplyFileOps {
public:
    static constexpr int kSharingViolation = 32;

    explicit KillingFileOps(int killAt) : killAt_(killAt) {}

    int Changes() const { return changes_; }
    std::set<std::wstring> locked;

    bool Append(const std::wstring& path, const std::string& bytes) override {
        if (Reached()) {
            CApplyFileOps::Append(path, bytes.substr(0, bytes.size() / 2));
            throw SimulatedKill();
        }
        return CApplyFileOps::Append(path, bytes);
    }
    bool Rename(const std::wstring& source, const std::wstring& target, bool replaceExisting,
                const RetryPolicy& policy) override {
        if (Reached()) throw SimulatedKill();
        lockedFailure_ = locked.count(source) != 0 || locked.count(target) != 0;
        return !lockedFailure_ && CApplyFileOps::Rename(source, target, replaceExisting, policy);
    }
    bool CopyWhole(const std::wstring& source, const std::wstring& target, int& error) override {
        if (Reached()) {
            WriteWholeFile(target + L".new", "half a co");
            throw SimulatedKill();
        }
        return CApplyFileOps::CopyWhole(source, target, error);
    }
    bool Delete(const std::wstring& path) override {
        if (Reached()) throw SimulatedKill();
        return CApplyFileOps::Delete(path);
    }
    bool MakeDirs(const std::wstring& path) override {
        if (Reached()) throw SimulatedKill();
        return CApplyFileOps::MakeDirs(path);
    }
    bool RemoveTree(const std::wstring& directory) override {
        if (Reached()) throw SimulatedKill();
        return CApplyFileOps::RemoveTree(directory);
    }
    int LastError() override { return lockedFailure_ ? kSharingViolation : CApplyFileOps::LastError(); }

private:
    bool Reached() { return ++changes_ == killAt_; }

    const int killAt_;
    int changes_ = 0;
    bool lockedFailure_ = false;
};

const char kManifestV2[] =
    "[VER]\r\nVer=2.0.0.0\r\n[MAIN]\r\n"
    "Job_1=dlfl;a.dll;2;1500000000;;2/a.dll;2;MD5;00\r\n"
    "Job_2=dlfl;sub\\b.dll;2;1500000000;;2/sub/b.dll;2;MD5;00\r\n"
    "Job_3=dlfl;c.dll;2;1500000000;;2/c.dll;2;MD5;00\r\n"
    "Job_4=dlfl;ZOLTAMeeting.exe;4;1500000000;;2/ZOLTAMeeting.exe;4;MD5;00\r\n"
    "Job_5=rmfl;old.txt\r\n";

using Files = std::map<std::wstring, std::string>;

const Files kRelease1 = {{L"a.dll", "a1"},
                         {L"sub\\b.dll", "b1"},
                         {L"same.dll", "s1"},
                         {L"old.txt", "gone in 2"},
                         {L"ZOLTAMeeting.exe", "upd1"},
                         {L"VeltranePrepair.exe", "upd0"},
                         {L"UpdateInfo.ini", "[VER]\r\nVer=1.0.0.0\r\n"}};
const Files kStaged = {{L"UpdateVer\\a.dll", "a2"},
                       {L"UpdateVer\\sub\\b.dll", "b2"},
                       {L"UpdateVer\\c.dll", "c2"},
                       {L"UpdateVer\\ZOLTAMeeting.exe", "upd2"},
                       {L"UpdateVer\\UpdateInfo.ini", kManifestV2}};
const Files kRelease2 = {{L"a.dll", "a2"},
                         {L"sub\\b.dll", "b2"},
                         {L"c.dll", "c2"},
                         {L"same.dll", "s1"},
                         {L"ZOLTAMeeting.exe", "upd2"},
                         {L"VeltranePrepair.exe", "upd2"},
                         {L"UpdateInfo.ini", kManifestV2}};

class ApplyTransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        CFingerFile::SetNoUpdateList(L"");
        Fresh();
    }
    void TearDown() override { CFingerFile::SetNoUpdateList(L""); }

    // A new installation of release 1 with release 2 staged.
    void Fresh() {
        folder_ = std::make_unique<FileFolder>();
        for (const auto& file : kRelease1) app().Write(file.first, file.second);
        for (const auto& file : kStaged) app().Write(file.first, file.second);
    }
    FileFolder& app() { return *folder_; }
    const FileFolder& app() const { return *folder_; }

    // The files of the installation beside "UpdateVer\" (the undo folder included).
    Files Installed() const { return Below(false); }
    Files Staged() const { return Below(true); }
    Files Below(bool staged) const {
        Files files;
        for (const std::wstring& name : app().Files()) {
            if ((name.compare(0, 10, L"UpdateVer\\") == 0) == staged) files[name] = app().Read(name);
        }
        return files;
    }
    // The steps of an update from release 1 to 2, through files; stops at
    // the first that fails.
    static bool ApplySteps(CApplyTransaction& apply) {
        int error = 0;
        return apply.Begin() && apply.Move(L"a.dll", L"UpdateVer\\a.dll", error) &&
               apply.Move(L"sub\\b.dll", L"UpdateVer\\sub\\b.dll", error) &&
               apply.Move(L"c.dll", L"UpdateVer\\c.dll", error) && apply.Delete(L"old.txt", error) &&
               apply.Move(L"ZOLTAMeeting.exe", L"UpdateVer\\ZOLTAMeeting.exe", error) &&
               apply.Copy(L"VeltranePrepair.exe", L"ZOLTAMeeting.exe", error) &&
               apply.Copy(L"UpdateInfo.ini", L"UpdateVer\\UpdateInfo.ini", error);
    }
    // The apply in full, as the worker runs it: commit, or roll back on a failure.
    static bool Apply(CApplyTransaction& apply) {
        if (!ApplySteps(apply)) {
            apply.RollBack();
            return false;
        }
        apply.Commit();
        return true;
    }
    CApplyTransaction::RecoveryResult Recover() {
        return CApplyTransaction(app().Dir(), L"ZOLTA", kDownLogModule).Recover();
    }
    void ExpectRolledBack() {
        EXPECT_EQ(Installed(), kRelease1);
        EXPECT_EQ(Staged(), kStaged);
    }

    std::unique_ptr<FileFolder> folder_;
};

TEST_F(ApplyTransactionTest, CommitLeavesTheNewReleaseAlone) {
    CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule);
    ASSERT_TRUE(Apply(apply));
    EXPECT_EQ(Installed(), kRelease2);
    EXPECT_EQ(Staged(), (Files{{L"UpdateVer\\UpdateInfo.ini", kManifestV2}}));
    EXPECT_EQ(Recover(), CApplyTransaction::kRecoveryNothing);
}

TEST_F(ApplyTransactionTest, AFileHeldLateInTheOrderRollsEverythingBack) {
    KillingFileOps files(0);
    files.locked = {app().Path(L"ZOLTAMeeting.exe"), app().Path(L"sub\\b.dll")};
    CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, files);
    int error = 0;
    ASSERT_TRUE(apply.Begin());
    ASSERT_TRUE(apply.Move(L"a.dll", L"UpdateVer\\a.dll", error));
    ASSERT_TRUE(apply.Delete(L"old.txt", error));
    EXPECT_FALSE(apply.Move(L"ZOLTAMeeting.exe", L"UpdateVer\\ZOLTAMeeting.exe", error));
    EXPECT_EQ(error, KillingFileOps::kSharingViolation);
    EXPECT_FALSE(apply.Delete(L"sub\\b.dll", error));
    EXPECT_EQ(error, KillingFileOps::kSharingViolation);
    ASSERT_TRUE(apply.RollBack());
    ExpectRolledBack();
}

TEST_F(ApplyTransactionTest, ADirectoryWhereAFileGoesIsRefusedBeforeAnyChange) {
    app().Write(L"c.dll\\inner.txt", "x");
    CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule);
    int error = 0;
    ASSERT_TRUE(apply.Begin());
    EXPECT_FALSE(apply.Move(L"c.dll", L"UpdateVer\\c.dll", error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(apply.Delete(L"c.dll", error));
    ASSERT_TRUE(apply.RollBack());
    EXPECT_EQ(app().Read(L"c.dll\\inner.txt"), "x");
    EXPECT_EQ(Staged(), kStaged);
}

TEST_F(ApplyTransactionTest, KilledAtAnyFileOperationARecoveryLeavesExactlyOneRelease) {
    KillingFileOps counter(0);
    {
        CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, counter);
        ASSERT_TRUE(Apply(apply));
    }
    int forward = 0;
    for (int killAt = 1; killAt <= counter.Changes(); ++killAt) {
        SCOPED_TRACE("killed at file operation " + std::to_string(killAt));
        Fresh();
        KillingFileOps files(killAt);
        {
            CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, files);
            EXPECT_THROW(Apply(apply), SimulatedKill);
        }
        const CApplyTransaction::RecoveryResult result = Recover();
        if (Installed() == kRelease2) {
            ++forward;
            EXPECT_NE(result, CApplyTransaction::kRecoveryRolledBack);
        } else {
            EXPECT_NE(result, CApplyTransaction::kRecoveryRolledForward);
            ExpectRolledBack();
        }
        EXPECT_FALSE(app().Exists(kUndoFolderName));
        EXPECT_EQ(Recover(), CApplyTransaction::kRecoveryNothing);
        if (HasFailure()) break;
    }
    // The update-info file in place is the point of no return.
    EXPECT_GT(forward, 0);
    EXPECT_LT(forward, counter.Changes() / 2);
}

TEST_F(ApplyTransactionTest, KilledWhileRollingBackARecoveryFinishesTheRollBack) {
    KillingFileOps counter(0);
    counter.locked = {app().Path(L"VeltranePrepair.exe")};
    {
        CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, counter);
        ASSERT_FALSE(Apply(apply));
        ExpectRolledBack();
    }
    // The operations up to the failure, and those of the rollback after it.
    Fresh();
    KillingFileOps steps(0);
    steps.locked = {app().Path(L"VeltranePrepair.exe")};
    {
        CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, steps);
        ASSERT_FALSE(ApplySteps(apply));
    }
    const int failedAt = steps.Changes();
    for (int killAt = failedAt + 1; killAt <= counter.Changes(); ++killAt) {
        SCOPED_TRACE("killed at file operation " + std::to_string(killAt));
        Fresh();
        KillingFileOps files(killAt);
        files.locked = {app().Path(L"VeltranePrepair.exe")};
        {
            CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule, files);
            EXPECT_THROW(Apply(apply), SimulatedKill);
        }
        Recover();
        ExpectRolledBack();
        EXPECT_FALSE(app().Exists(kUndoFolderName));
        if (HasFailure()) break;
    }
}

TEST_F(ApplyTransactionTest, AnApplyUnderWayInAnotherProcessIsLeftAlone) {
    CApplyTransaction apply(app().Dir(), L"ZOLTA", kDownLogModule);
    int error = 0;
    ASSERT_TRUE(apply.Begin());
    ASSERT_TRUE(apply.Move(L"a.dll", L"UpdateVer\\a.dll", error));
    // The mutex is the applying thread's: another thread stands in for another process.
    CApplyTransaction::RecoveryResult result = CApplyTransaction::kRecoveryNothing;
    std::thread([&] { result = Recover(); }).join();
    EXPECT_EQ(result, CApplyTransaction::kRecoveryBusy);
    EXPECT_EQ(app().Read(L"a.dll"), "a2");
    apply.Commit();
}

}  // namespace

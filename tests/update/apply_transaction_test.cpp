// The apply transaction on a real folder: a held file rolls the apply back,
// and an apply ended at any file operation, as a killed process ends, and
// then recovered leaves exactly one release, a rolled-back one with its
// staged files kept.
#include "update/apply_transaction.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "diag/trace_log.h"
#include "manifest/install_name.h"
#include "update_test_support.h"
#include "util/code_page.h"

namespace {

struct SimulatedKill {};

// The system's file operations, ended just before the killAt-th one that
// may change the disk (never when killAt is 0); a journal line under way is
// left half-written. Renames and links of a locked path fail, as those of a
// file held open without sharing do; a path in use, as a running program's,
// can be renamed but not replaced. Flushes change nothing one could read,
// so no kill falls on them; each is recorded with whether the journal was
// still there.
class KillingFileOps : public CApplyFileOps {
public:
    static constexpr int kSharingViolation = 32;

    explicit KillingFileOps(int killAt, std::set<std::wstring> lockedPaths = {}, std::set<std::wstring> inUse = {})
        : killAt_(killAt), locked_(std::move(lockedPaths)), inUse_(std::move(inUse)) {}
    int Changes() const { return changes_; }
    // The files flushed, each with true when the journal still existed then.
    void WatchJournal(const std::wstring& path) { journal_ = path; }
    const std::map<std::wstring, bool>& Flushed() const { return flushed_; }

    bool Append(const std::wstring& path, const std::string& bytes) override {
        if (++changes_ == killAt_) {
            CApplyFileOps::Append(path, bytes.substr(0, bytes.size() / 2));
            throw SimulatedKill();
        }
        return CApplyFileOps::Append(path, bytes);
    }
    bool Flush(const std::wstring& path) override {
        flushed_[path] = !journal_.empty() && Exists(journal_);
        return CApplyFileOps::Flush(path);
    }
    bool Rename(const std::wstring& source, const std::wstring& target, bool replace,
                const RetryPolicy& policy) override {
        Step();
        lockedFailure_ = locked_.count(source) != 0 || locked_.count(target) != 0 || Replaces(target);
        return !lockedFailure_ && CApplyFileOps::Rename(source, target, replace, policy);
    }
    bool Link(const std::wstring& existing, const std::wstring& link) override {
        Step();
        lockedFailure_ = locked_.count(existing) != 0;
        return !lockedFailure_ && CApplyFileOps::Link(existing, link);
    }
    bool CopyWhole(const std::wstring& source, const std::wstring& target, int& error) override {
        Step();
        if (Replaces(target) || locked_.count(source) != 0) {
            error = kSharingViolation;
            return false;
        }
        return CApplyFileOps::CopyWhole(source, target, error);
    }
    bool Delete(const std::wstring& path) override { return Step(), CApplyFileOps::Delete(path); }
    bool MakeDirs(const std::wstring& path) override { return Step(), CApplyFileOps::MakeDirs(path); }
    bool RemoveTree(const std::wstring& path) override { return Step(), CApplyFileOps::RemoveTree(path); }
    bool RemoveEmptyDir(const std::wstring& path) override { return Step(), CApplyFileOps::RemoveEmptyDir(path); }
    int LastError() override { return lockedFailure_ ? kSharingViolation : CApplyFileOps::LastError(); }

private:
    void Step() {
        if (++changes_ == killAt_) throw SimulatedKill();
    }
    bool Replaces(const std::wstring& target) { return inUse_.count(target) != 0 && Exists(target); }

    const int killAt_;
    const std::set<std::wstring> locked_;
    const std::set<std::wstring> inUse_;
    int changes_ = 0;
    bool lockedFailure_ = false;
    std::wstring journal_;
    std::map<std::wstring, bool> flushed_;
};

const char kManifestV2[] =
    "[VER]\r\nVer=2.0.0.0\r\n[MAIN]\r\n"
    "Job_1=dlfl;a.dll;2;1500000000;;2/a.dll;2;MD5;00\r\n"
    "Job_2=dlfl;sub\\b.dll;2;1500000000;;2/sub/b.dll;2;MD5;00\r\n"
    "Job_3=dlfl;c.dll;2;1500000000;;2/c.dll;2;MD5;00\r\n"
    "Job_4=dlfl;new\\deep\\d.dll;2;1500000000;;2/new/deep/d.dll;2;MD5;00\r\n"
    "Job_5=dlfl;ZOLTAMeeting.exe;4;1500000000;;2/ZOLTAMeeting.exe;4;MD5;00\r\n"
    "Job_6=rmfl;old.txt\r\n";

using Files = std::map<std::wstring, std::string>;

const Files kRelease1 = {{L"a.dll", "a1"},          {L"sub\\b.dll", "b1"},
                         {L"same.dll", "s1"},       {L"old.txt", "gone in 2"},
                         {L"ZOLTAMeeting.exe", "upd1"}, {L"VeltranePrepair.exe", "upd0"},
                         {L"UpdateInfo.ini", "[VER]\r\nVer=1.0.0.0\r\n"}};
const Files kStaged = {{L"UpdateVer\\a.dll", "a2"},           {L"UpdateVer\\sub\\b.dll", "b2"},
                       {L"UpdateVer\\c.dll", "c2"},           {L"UpdateVer\\new\\deep\\d.dll", "d2"},
                       {L"UpdateVer\\ZOLTAMeeting.exe", "upd2"}, {L"UpdateVer\\UpdateInfo.ini", kManifestV2}};
const Files kRelease2 = {{L"a.dll", "a2"},          {L"sub\\b.dll", "b2"},         {L"c.dll", "c2"},
                         {L"new\\deep\\d.dll", "d2"}, {L"same.dll", "s1"},       {L"ZOLTAMeeting.exe", "upd2"},
                         {L"VeltranePrepair.exe", "upd2"}, {L"UpdateInfo.ini", kManifestV2}};

class ApplyTransactionTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { CFingerFile::SetNoUpdateList(L""); }

    // A new installation of release 1 with release 2 staged.
    void Fresh() {
        app_ = std::make_unique<FileFolder>();
        for (const Files* files : {&kRelease1, &kStaged}) {
            for (const auto& file : *files) app_->Write(file.first, file.second);
        }
    }
    // The files beside "UpdateVer\" (the undo folder's too), or those in it.
    Files Below(bool staged) const {
        Files files;
        for (const std::wstring& name : app_->Files()) {
            if ((name.compare(0, 10, L"UpdateVer\\") == 0) == staged) files[name] = app_->Read(name);
        }
        return files;
    }
    // The update from release 1 to 2 as the worker runs it: commit, or roll
    // back at the first step that fails. Returns false when it rolled back.
    bool Apply(CApplyFileOps& files) {
        CApplyTransaction apply(app_->Dir(), L"ZOLTA", kDownLogModule, files);
        int error = 0;
        const bool applied =
            apply.Begin() && apply.Move(L"a.dll", L"UpdateVer\\a.dll", error) &&
            apply.Move(L"sub\\b.dll", L"UpdateVer\\sub\\b.dll", error) &&
            apply.Move(L"c.dll", L"UpdateVer\\c.dll", error) &&
            apply.Move(L"new\\deep\\d.dll", L"UpdateVer\\new\\deep\\d.dll", error) && apply.Delete(L"old.txt", error) &&
            apply.Move(L"ZOLTAMeeting.exe", L"UpdateVer\\ZOLTAMeeting.exe", error) &&
            apply.Copy(L"VeltranePrepair.exe", L"ZOLTAMeeting.exe", error) &&
            apply.Copy(L"UpdateInfo.ini", L"UpdateVer\\UpdateInfo.ini", error);
        if (applied) {
            apply.Commit();
        } else {
            EXPECT_EQ(error, KillingFileOps::kSharingViolation);
            EXPECT_TRUE(apply.RollBack());
        }
        return applied;
    }
    CApplyTransaction::RecoveryResult Recover() {
        return CApplyTransaction(app_->Dir(), L"ZOLTA", kDownLogModule).Recover();
    }
    void ExpectRolledBack() {
        EXPECT_EQ(Below(false), kRelease1);
        EXPECT_EQ(Below(true), kStaged);
        EXPECT_FALSE(app_->Exists(L"new"));  // the folders the apply created, too
    }

    std::unique_ptr<FileFolder> app_;
};

// A commit puts every installed file's data on the disk before its journal
// goes; a rollback installs nothing.
TEST_F(ApplyTransactionTest, AFileHeldLateInTheOrderRollsEverythingBack) {
    const std::wstring journal = app_->Path(std::wstring(kUndoFolderName) + L"\\" + CApplyTransaction::kJournalName);
    KillingFileOps files(0, {app_->Path(L"ZOLTAMeeting.exe")});
    files.WatchJournal(journal);
    EXPECT_FALSE(Apply(files));
    ExpectRolledBack();
    EXPECT_TRUE(files.Flushed().empty());
    KillingFileOps free(0);
    free.WatchJournal(journal);
    EXPECT_TRUE(Apply(free));
    EXPECT_EQ(Below(false), kRelease2);
    EXPECT_EQ(Below(true), (Files{{L"UpdateVer\\UpdateInfo.ini", kManifestV2}}));
    std::map<std::wstring, bool> installed;
    for (const wchar_t* name :
         {L"a.dll", L"sub\\b.dll", L"c.dll", L"new\\deep\\d.dll", L"ZOLTAMeeting.exe", L"VeltranePrepair.exe",
          L"UpdateInfo.ini"}) {
        installed[app_->Path(name)] = true;
    }
    EXPECT_EQ(free.Flushed(), installed);
}

// Killed at any moment, the apply or its undo leaves every file it replaces
// in place, the launcher that recovers it above all; only a file in use,
// which must be moved out of the way first, is missing for a moment.
TEST_F(ApplyTransactionTest, KilledAtAnyFileOperationARecoveryLeavesExactlyOneRelease) {
    // The last rolls back with the launcher in use, as the updater that runs
    // from it and undoes its own move.
    enum Variant { kCommits, kRollsBack, kLauncherInUse };
    for (const Variant variant : {kCommits, kRollsBack, kLauncherInUse}) {
        // Paths of the installation of the moment: each run has a new one.
        const auto locked = [&] {
            return variant != kCommits ? std::set<std::wstring>{app_->Path(L"VeltranePrepair.exe")}
                                       : std::set<std::wstring>{};
        };
        const auto inUse = [&] {
            return variant == kLauncherInUse ? std::set<std::wstring>{app_->Path(L"ZOLTAMeeting.exe")}
                                             : std::set<std::wstring>{};
        };
        std::vector<std::wstring> replaced = {L"a.dll", L"sub\\b.dll", L"VeltranePrepair.exe", L"UpdateInfo.ini"};
        if (variant != kLauncherInUse) replaced.push_back(L"ZOLTAMeeting.exe");
        Fresh();
        KillingFileOps counter(0, locked(), inUse());
        EXPECT_EQ(Apply(counter), variant == kCommits);
        int forward = 0;
        int completed = 0;
        for (int killAt = 1; killAt <= counter.Changes(); ++killAt) {
            SCOPED_TRACE("variant " + std::to_string(variant) + ", killed at file operation " + std::to_string(killAt));
            Fresh();
            KillingFileOps files(killAt, locked(), inUse());
            EXPECT_THROW(Apply(files), SimulatedKill);
            for (const std::wstring& name : replaced) EXPECT_TRUE(app_->Exists(name)) << WideToUtf8(name);
            const CApplyTransaction::RecoveryResult result = Recover();
            completed += result == CApplyTransaction::kRecoveryRolledForward;
            if (Below(false) == kRelease2) {
                ++forward;
                EXPECT_NE(result, CApplyTransaction::kRecoveryRolledBack);
            } else {
                EXPECT_NE(result, CApplyTransaction::kRecoveryRolledForward);
                ExpectRolledBack();
            }
            EXPECT_FALSE(app_->Exists(kUndoFolderName));
            EXPECT_EQ(Recover(), CApplyTransaction::kRecoveryNothing);
            if (HasFailure()) return;
        }
        // The update-info file in place is the point of no return: a
        // recovery then completes the apply.
        if (variant != kCommits) {
            EXPECT_EQ(forward, 0);
        } else {
            EXPECT_GT(completed, 0);
            EXPECT_LT(forward, counter.Changes() / 4);
        }
    }
}

// Killed as its journal was about to go, an apply is completed by the
// recovery only while the installation still agrees with the new
// update-info file; a file changed since sends it back.
TEST_F(ApplyTransactionTest, OnlyAnInstallationThatAgreesWithTheNewReleaseIsCompleted) {
    KillingFileOps counter(0);
    ASSERT_TRUE(Apply(counter));
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "a file changed since" : "untouched");
        Fresh();
        KillingFileOps files(counter.Changes() - 1);  // the journal's deletion
        EXPECT_THROW(Apply(files), SimulatedKill);
        if (changed) app_->Write(L"c.dll", "c2, then edited");
        EXPECT_EQ(Recover(),
                  changed ? CApplyTransaction::kRecoveryRolledBack : CApplyTransaction::kRecoveryRolledForward);
        EXPECT_EQ(Below(false), changed ? kRelease1 : kRelease2);
    }
}

TEST_F(ApplyTransactionTest, AnApplyUnderWayInAnotherProcessIsLeftAlone) {
    CApplyTransaction apply(app_->Dir(), L"ZOLTA", kDownLogModule);
    int error = 0;
    ASSERT_TRUE(apply.Begin());
    ASSERT_TRUE(apply.Move(L"a.dll", L"UpdateVer\\a.dll", error));
    // The mutex is the applying thread's: another thread stands in for another process.
    CApplyTransaction::RecoveryResult result = CApplyTransaction::kRecoveryNothing;
    std::thread([&] { result = Recover(); }).join();
    EXPECT_EQ(result, CApplyTransaction::kRecoveryBusy);
    EXPECT_EQ(app_->Read(L"a.dll"), "a2");
    apply.Commit();
}

}  // namespace

#include "manifest/finger_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "captured_trace_log.h"
#include "manifest/install_name.h"
#include "manifest/qk_update_ini.h"
#include "temp_dir.h"

namespace {

using Names = std::vector<std::wstring>;

// A "dlfl" job value for a file that no test directory holds.
std::string Dlfl(const std::string& name) { return "dlfl;" + name + ";1;0;;" + name + ";1;;x"; }

Names NamesOf(const FingerItemList& items) {
    Names names;
    for (const SFingerItem* item : items) names.push_back(item->name);
    return names;
}

const SFingerSection* ChildSection(const SFingerSection& section, const std::wstring& name) {
    for (const SFingerItem* item : section.items) {
        if (item->kind == kFingerSection && item->name == name) return static_cast<const SFingerSection*>(item);
    }
    return nullptr;
}

// Every job form, with sections of each "SectionType"; keys that are no jobs
// hold values that would fail as jobs.
const std::string kGrammar =
    "[VER]\r\nINIVer=2\r\n"
    "[MAIN_V2]\r\n"
    "JobString=0\r\n"
    "Job_1=" + Dlfl("main.exe") + "\r\n"
    "Job_2=sub;Shared\r\n"
    "Job_3=sub; Plugin \r\n"
    "job_4=bogus\r\nJOB_5=bogus\r\nJobs=bogus\r\n"
    "Job_6=sub;Plain\r\n"
    "Job_7=ckfl\r\n"
    "Job_8=sub;Odd\r\n"
    "Job_9=sub;ignore\r\n"
    "Job_A=swch; var ;Extra\r\n"
    "Job_B=swch;ckfl;%APPDIR%UpdateInfo.ini;0:Never;1:Present;0:Never\r\n"
    "Job_C=swch;ckfl;%APPDIR%absent.txt;1:Never; 0: Absent ;0:Never\r\n"
    "Job_D=swch;ckfl;%APPDIR%absent.txt;1:Never;;: Any\r\n"
    "Job_E=swch;ckfl;%APPDIR%absent.txt;1:Never\r\n"
    "[Shared]\r\nSectionType=files\r\nJob_a=" + Dlfl("shared.dll") + "\r\n"
    "[Plugin]\r\nSectionType= module \r\nJob_a=" + Dlfl("plugin\\p.dll") + "\r\nJob_b=sub;PluginRes\r\n"
    "Job_c=sub;OnlyType\r\n"
    "[PluginRes]\r\nSectionType=module\r\nJob_a=" + Dlfl("plugin\\res.dat") + "\r\n"
    "[OnlyType]\r\nSectionType=files\r\n"
    "[Plain]\r\nJob_a=rmfl;old.dll;err\r\n"
    "[Odd]\r\nSectionType=Files\r\nJob_a=" + Dlfl("odd.dll") + "\r\n"
    "[Extra]\r\nSectionType=module\r\nJob_a=" + Dlfl("extra.dll") + "\r\n"
    "[Present]\r\nJob_a=" + Dlfl("present.dll") + "\r\n"
    "[Absent]\r\nSectionType=module\r\nJob_a=" + Dlfl("absent.dll") + "\r\n"
    "[Any]\r\nJob_a=" + Dlfl("any.dll") + "\r\n"
    "[Never]\r\nJob_a=" + Dlfl("never.dll") + "\r\n";

// MAIN and a chain of sections S0 to S<count-1> below it: MAIN and each
// section name the next one mentions times with "sub", and the last section
// holds one file entry.
std::string SectionChain(int count, int mentions, const std::string& type) {
    std::string text;
    for (int i = -1; i < count; ++i) {
        text += i < 0 ? "[MAIN]\r\n" : "[S" + std::to_string(i) + "]\r\nSectionType=" + type + "\r\n";
        for (int k = 0; k < mentions && i + 1 < count; ++k) {
            text += "Job_" + std::to_string(k) + "=sub;S" + std::to_string(i + 1) + "\r\n";
        }
    }
    return text + "Job_f=" + Dlfl("deep.dll") + "\r\n";
}

// Replaces its file with other contents as soon as the first value has been
// read from it, as a second writer would.
class FileChangingIniFile : public CIniFile {
public:
    explicit FileChangingIniFile(const ScopedTempDir& dir) : dir_(dir) {}
    void ExpandValue(std::wstring&) const override {
        if (changed_) return;
        changed_ = true;
        dir_.Write("UpdateInfo.ini", "[MAIN]\r\nJob_1=bogus\r\n");
    }

private:
    const ScopedTempDir& dir_;
    mutable bool changed_ = false;
};

class FingerFileTest : public ::testing::Test {
protected:
    FingerFileTest() : ini_(dir_.WinPath(), L"ZOLTA") {}
    void SetUp() override { CFingerFile::SetNoUpdateList(L""); }

    // Writes UpdateInfo.ini and loads its section root.
    bool Load(const std::string& text, const std::wstring& root = L"MAIN") {
        dir_.Write("UpdateInfo.ini", text);
        ini_.SetFile(dir_.WinPath() + L"UpdateInfo.ini");
        return finger_.LoadFinger(ini_, root);
    }
    // Loads a MAIN section holding the one job value, after the grammar's sections.
    bool LoadJob(const std::string& value) { return Load(kGrammar + "[MAIN]\r\nJob_x=" + value + "\r\n"); }

    ScopedTempDir dir_;
    CQKUpdateIni ini_;
    CFingerFile finger_;
};

}  // namespace

TEST_F(FingerFileTest, JobsMergeOrNestSectionsByTheirType) {
    ASSERT_TRUE(Load(kGrammar, L"MAIN_V2"));
    EXPECT_TRUE(finger_.IsLoaded());
    const SFingerSection* root = finger_.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    // "files" and no type merge into the section, "module" and any other text
    // nest; "swch" merges by "var", or the case of the file's existence.
    EXPECT_EQ(NamesOf(root->items), (Names{L"main.exe", L"shared.dll", L"Plugin", L"old.dll", L"Odd", L"extra.dll",
                                           L"present.dll", L"Absent", L"any.dll"}));
    const SFingerSection* plugin = ChildSection(*root, L"Plugin");
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->parent, root);
    EXPECT_EQ(NamesOf(plugin->items), (Names{L"plugin\\p.dll", L"PluginRes"}));
    const SFingerSection* res = ChildSection(*plugin, L"PluginRes");
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(res->parent, plugin);
    EXPECT_EQ(NamesOf(res->items), (Names{L"plugin\\res.dat"}));
    const SFingerSection* odd = ChildSection(*root, L"Odd");
    const SFingerSection* absent = ChildSection(*root, L"Absent");
    ASSERT_TRUE(odd != nullptr && absent != nullptr);
    EXPECT_EQ(NamesOf(odd->items), (Names{L"odd.dll"}));
    EXPECT_EQ(NamesOf(absent->items), (Names{L"absent.dll"}));
    EXPECT_EQ(static_cast<const SFingerDelItem*>(root->items[3])->ignoreFailure, 0);
    EXPECT_EQ(finger_.GetAllItems().size(), 10u);
}

TEST_F(FingerFileTest, SameFileInTwoSectionsIsOneEntry) {
    ASSERT_TRUE(Load("[MAIN]\r\nJob_1=dlfl;Dir\\A.dll;1;0;;first;1;;x\r\nJob_2=sub;Mod\r\nJob_3=rmfl;dir\\a.dll\r\n"
                     "[Mod]\r\nSectionType=module\r\nJob_1=dlfl;dir\\a.DLL;2;0;;second;2;;y\r\n"));
    const FingerItemList& all = finger_.GetAllItems();
    // The first entry of a name stays; a delete entry is of another kind.
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(static_cast<const SFileItem*>(all[0])->srcPath, L"first");
    EXPECT_EQ(all[1]->kind, kFingerDelete);
    const SFingerSection* mod = ChildSection(*finger_.GetRoot(), L"Mod");
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->items, (FingerItemList{all[0]}));
}

TEST_F(FingerFileTest, FailingJobFailsTheLoad) {
    const char* const failing[] = {
        "", "bogus;x", "DLFL;a.dll;1;0;;a;1;;x", "dlfl;a.dll;1;0;;a;1;MD5", "rmfl", "sub", "sub; ", "sub;err",
        "sub;Broken", "sub;Loop", "swch", "swch;var", "swch;ckfl", "swch;other;Extra",
        "swch;ckfl;%APPDIR%UpdateInfo.ini;1:", "swch;ckfl;%APPDIR%UpdateInfo.ini;:err",
    };
    const std::string sections = "[Broken]\r\nSectionType=module\r\nJob_1=" + Dlfl("fine.dll") +
                                 "\r\nJob_2=rmfl\r\n"
                                 "[Loop]\r\nSectionType=module\r\nJob_1=sub;Loop2\r\n"
                                 "[Loop2]\r\nJob_1=sub;LOOP\r\n";
    for (const char* value : failing) {
        EXPECT_FALSE(Load("[MAIN]\r\nJob_0=" + Dlfl("before.dll") + "\r\nJob_x=" + value + "\r\n" + sections))
            << value;
        EXPECT_FALSE(finger_.IsLoaded());
        EXPECT_EQ(finger_.GetRoot(), nullptr);
        EXPECT_TRUE(finger_.GetAllItems().empty());
    }
}

TEST_F(FingerFileTest, FailingJobIsLoggedWithKeyAndValue) {
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    EXPECT_FALSE(LoadJob("bogus;%OEMID%"));
    EXPECT_FALSE(LoadJob("sub;err"));
    const std::string text = log.Text();
    EXPECT_NE(text.find("DealSectionJobs failed! (key:Job_x, value:bogus;ZOLTA)\n"), std::string::npos);
    EXPECT_NE(text.find("DealSectionJobs failed! (sec:'err')\n"), std::string::npos);
}

TEST_F(FingerFileTest, ErrAndIgnoreSections) {
    EXPECT_FALSE(Load(kGrammar + "[err]\r\nJob_1=" + Dlfl("a.dll") + "\r\n", L"err"));
    ASSERT_TRUE(Load(kGrammar + "[ignore]\r\nJob_1=" + Dlfl("a.dll") + "\r\n", L"ignore"));
    EXPECT_EQ(finger_.GetRoot(), nullptr);
    EXPECT_TRUE(finger_.GetAllItems().empty());
    ASSERT_TRUE(LoadJob("swch;ckfl;%APPDIR%UpdateInfo.ini;1:ignore"));
    EXPECT_TRUE(finger_.GetRoot()->items.empty());
}

TEST_F(FingerFileTest, NamesLeavingTheInstallationOrInItsUndoFolderAreRefused) {
    const char* const unsafe[] = {
        "dlfl;..\\evil.dll;1;0;;e;1;;x", "dlfl;a\\..\\..\\evil.dll;1;0;;e;1;;x", "dlfl;a/. ./evil.dll;1;0;;e;1;;x",
        "dlfl;...\\evil.dll;1;0;;e;1;;x", "dlfl;C:\\evil.dll;1;0;;e;1;;x",       "dlfl;C:evil.dll;1;0;;e;1;;x",
        "dlfl;\\evil.dll;1;0;;e;1;;x",    "dlfl;%APPDIR%evil.dll;1;0;;e;1;;x",   "rmfl;../evil.dll",
        "rmfl;evil.dll:stream",           "rmfl;\\\\server\\share\\evil.dll",
        // Names the system reads as devices, or as another file without a trailing dot or blank.
        "dlfl;NUL\\evil.dll;1;0;;e;1;;x", "dlfl;evil.dll\\con.txt;1;0;;e;1;;x", "rmfl;evil.dll\\Com1 .log",
        "rmfl;evil.dll\\LPT9", "rmfl;evil.dll\\conout$", "dlfl;sub.\\evil.dll;1;0;;e;1;;x", "rmfl;sub \\evil.dll",
        // The folder where an update keeps what it replaces, and its journal.
        "rmfl;~updateundo\\evil.dll",    "dlfl;~UpdateUndo. /evil.dll;1;0;;e;1;;x",
    };
    for (const char* value : unsafe) {
        CapturedTraceLog log;
        ASSERT_TRUE(log.opened());
        EXPECT_FALSE(LoadJob(value)) << value;
        const std::string text = log.Text();
        const size_t line = text.find("refused! (name:");
        ASSERT_NE(line, std::string::npos) << value;
        EXPECT_NE(text.find("evil.dll", line), std::string::npos) << value;
    }
    ASSERT_TRUE(LoadJob("dlfl;plugin\\..hidden\\a..b.dll;1;0;;e;1;;x"));
    EXPECT_EQ(finger_.GetRoot()->items.back()->name, L"plugin\\..hidden\\a..b.dll");
    ASSERT_TRUE(LoadJob("dlfl;console\\com10.dll;1;0;;e;1;;x"));
    ASSERT_TRUE(LoadJob("dlfl;plugin\\~UpdateUndo\\a.dll;1;0;;e;1;;x"));
}

TEST(InstallName, BareFileNamesAreSafeNamesWithoutFolder) {
    EXPECT_TRUE(IsBareFileName(L"ZOLTAMeeting.exe"));
    for (const wchar_t* name : {L"bin\\up.exe", L"bin/up.exe", L"..", L"up.exe.", L"aux.exe", L"", L"C:up.exe"}) {
        EXPECT_FALSE(IsBareFileName(name)) << name;
    }
}

TEST_F(FingerFileTest, SectionsNestedTooDeepFailTheLoad) {
    // MAIN and the sections below it, each a child of the one before.
    const int deepest = static_cast<int>(CFingerFile::kMaxSectionDepth) - 1;
    ASSERT_TRUE(Load(SectionChain(deepest, 1, "module")));
    const SFingerSection* section = finger_.GetRoot();
    for (int i = 0; i < deepest; ++i) {
        ASSERT_EQ(section->items.size(), 1u);
        section = ChildSection(*section, L"S" + std::to_wstring(i));
        ASSERT_NE(section, nullptr);
    }
    EXPECT_EQ(NamesOf(section->items), (Names{L"deep.dll"}));

    // One more level fails, whether the sections nest or merge, instead of
    // running the worker's stack out on a chain of thousands.
    for (const char* type : {"module", "files"}) {
        CapturedTraceLog log;
        ASSERT_TRUE(log.opened());
        EXPECT_FALSE(Load(SectionChain(deepest + 1, 1, type))) << type;
        EXPECT_FALSE(finger_.IsLoaded());
        EXPECT_TRUE(finger_.GetAllItems().empty());
        const std::string text = log.Text();
        EXPECT_NE(text.find("DealSectionJobs failed! (sec:'S" + std::to_string(deepest) + "' nested deeper than 64 sections)\n"),
                  std::string::npos) << type;
    }
}

TEST_F(FingerFileTest, SectionsWalkedOverAndOverFailTheLoad) {
    // A section that several others name is walked for each of them: six
    // levels that each name the next twice walk the last one 64 times.
    ASSERT_TRUE(Load(SectionChain(6, 2, "files")));
    EXPECT_EQ(NamesOf(finger_.GetAllItems()), (Names{L"deep.dll"}));
    EXPECT_EQ(finger_.GetRoot()->items.size(), 64u);

    // Each further level doubles the walks (thirty would take hours): past
    // the limit the load stops instead.
    CapturedTraceLog log;
    ASSERT_TRUE(log.opened());
    EXPECT_FALSE(Load(SectionChain(10, 2, "files")));
    EXPECT_FALSE(finger_.IsLoaded());
    EXPECT_EQ(finger_.GetRoot(), nullptr);
    const std::string text = log.Text();
    EXPECT_NE(text.find("', more than 1024 sections walked)\n"), std::string::npos);

    // The count starts anew with each load.
    ASSERT_TRUE(Load(SectionChain(6, 2, "files")));
}

TEST_F(FingerFileTest, LoadReadsTheFileOnce) {
    dir_.Write("UpdateInfo.ini", SectionChain(6, 2, "files"));
    FileChangingIniFile ini(dir_);
    ini.SetFile(dir_.WinPath() + L"UpdateInfo.ini");
    // The sections after the first come from the same reading of the file,
    // though it changed meanwhile; afterwards the file is read anew.
    ASSERT_TRUE(finger_.LoadFinger(ini, L"MAIN"));
    EXPECT_EQ(finger_.GetRoot()->items.size(), 64u);
    EXPECT_FALSE(ini.KeepsContents());
    EXPECT_FALSE(finger_.LoadFinger(ini, L"MAIN"));
}

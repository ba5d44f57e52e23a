#include "publish/release_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client_folder.h"
#include "manifest/finger_file.h"
#include "manifest/ini_document.h"
#include "manifest/qk_update_ini.h"
#include "manifest/release_signature.h"
#include "manifest/zf7z_decoder.h"
#include "test_keys.h"

namespace {

const int64_t kTime = 1500000000;
const std::string kText(4000, 't');

// A source folder and a work folder that holds the release, "out".
class ReleaseBuilderTest : public ::testing::Test {
protected:
    ReleaseBuilderTest() {
        options_.sourceDir = src_.Dir();
        options_.outputDir = work_.Path(L"out");
        options_.version = L"2.0.0.0";
        options_.startCmd = L"%APPDIR%client.exe";
    }

    bool Publish() { return builder_.Build(options_, summary_); }
    // Publishes and expects a failure whose text holds part.
    void ExpectFailure(const std::wstring& part) {
        EXPECT_FALSE(Publish());
        EXPECT_NE(builder_.GetError().find(part), std::wstring::npos) << builder_.GetError().c_str();
    }
    std::string ManifestBytes() const { return work_.Read(L"out\\UpdateInfo.ini.2.0.0.0"); }
    std::wstring ManifestText() const {
        // The reader's own decoding: a line per entry, the mark dropped.
        std::vector<std::wstring> lines;
        CIniDocument document(ManifestBytes());
        std::wstring text;
        for (const wchar_t* section : {L"VER", L"MAIN", L"MAIN_V2", L"DIR_bin", L"ZOLTA"}) {
            if (!document.GetSectionEntries(section, lines)) continue;
            text += std::wstring(L"[") + section + L"]\n";
            for (const std::wstring& line : lines) text += line + L'\n';
        }
        return text;
    }
    // Loads the release's UpdateInfo.ini into finger_ as the updater does.
    bool Load() {
        ini_.SetFile(work_.Path(L"out\\UpdateInfo.ini"));
        return finger_.LoadFinger(ini_, ini_.GetMainSection());
    }
    const SFileItem* Entry(const std::wstring& name) const {
        for (const SFingerItem* item : finger_.GetAllItems()) {
            if (item->kind == kFingerFile && item->name == name) return static_cast<const SFileItem*>(item);
        }
        return nullptr;
    }

    ClientFolder src_;
    ClientFolder work_;
    SReleaseOptions options_;
    CReleaseBuilder builder_;
    SReleaseSummary summary_;
    CQKUpdateIni ini_{L"C:\\Client\\", L"ZOLTA"};
    CFingerFile finger_;
};

}  // namespace

TEST_F(ReleaseBuilderTest, ManifestListsFilesSortedWithSizeTimeAndCheckValue) {
    src_.Write(L"b.txt", "hello", kTime);
    src_.Write(L"A.txt", "", kTime + 1);
    src_.Write(L"ZOLTAMeeting.exe", "updater", kTime + 2);
    options_.removals = {{L"z.dll", false}, {L"old\\y.dll", true}};
    ASSERT_TRUE(Publish()) << builder_.GetError().c_str();
    EXPECT_EQ(ManifestText(),
              L"[VER]\nVer=2.0.0.0\nINIVer=1\n"
              L"[MAIN]\nUpdateExe=ZOLTAMeeting.exe\nJobString=0\nStopCmd=\nCheckCmd=\nSetupCmd=\n"
              L"StartCmd=%APPDIR%client.exe\n"
              L"Job_1=dlfl;A.txt;0;1500000001;;2.0.0.0/A.txt;0;MD5;D41D8CD98F00B204E9800998ECF8427E\n"
              L"Job_2=dlfl;b.txt;5;1500000000;;2.0.0.0/b.txt;5;MD5;5D41402ABC4B2A76B9719D911017C592\n"
              L"Job_3=dlfl;ZOLTAMeeting.exe;7;1500000002;;2.0.0.0/ZOLTAMeeting.exe;7;MD5;"
              L"878EC3CEBEA5B2C1EE4C0BECDB00D3D3\n"
              L"Job_4=rmfl;old\\y.dll;err\n"
              L"Job_5=rmfl;z.dll\n");
    EXPECT_EQ(summary_.files, 3);
    EXPECT_EQ(summary_.removals, 2);
    EXPECT_TRUE(summary_.warnings.empty());
    EXPECT_EQ(work_.Read(L"out\\2.0.0.0\\ZOLTAMeeting.exe"), "updater");
    EXPECT_EQ(work_.Read(L"out\\UpdateInfo.ini"), ManifestBytes());
    EXPECT_EQ(ManifestBytes().compare(0, 2, "\xFF\xFE"), 0);
}

TEST_F(ReleaseBuilderTest, SameInputGivesTheSameBytes) {
    src_.Write(L"a.dll", kText, kTime);
    src_.Write(L"sub\\b.dll", "bbb", kTime);
    options_.pack = PACK_ALL;
    ASSERT_TRUE(Publish());
    options_.outputDir = work_.Path(L"again");
    ASSERT_TRUE(Publish());
    EXPECT_EQ(work_.Read(L"again\\UpdateInfo.ini.2.0.0.0"), ManifestBytes());
    EXPECT_EQ(work_.Read(L"again\\2.0.0.0\\a.dll"), work_.Read(L"out\\2.0.0.0\\a.dll"));
    EXPECT_EQ(work_.Read(L"again\\2.0.0.0\\sub\\b.dll"), work_.Read(L"out\\2.0.0.0\\sub\\b.dll"));
}

TEST_F(ReleaseBuilderTest, InstalledManifestAtTheTopIsNotPublished) {
    src_.Write(L"UpdateInfo.ini", "[VER]\r\nVer=1.0\r\n", kTime);
    src_.Write(L"conf\\UpdateInfo.ini", "[VER]\r\nVer=1.0\r\n", kTime);
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    EXPECT_EQ(Entry(L"UpdateInfo.ini"), nullptr);
    EXPECT_NE(Entry(L"conf\\UpdateInfo.ini"), nullptr);
    EXPECT_EQ(summary_.files, 1);
}

TEST_F(ReleaseBuilderTest, PackedFileIsZf7zOfTheOriginalAndEmptyFileStaysStored) {
    src_.Write(L"a.dll", kText, kTime);
    src_.Write(L"empty.dat", "", kTime);
    options_.pack = PACK_ALL;
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    const SFileItem* packed = Entry(L"a.dll");
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(packed->zipType, kZipZf7z);
    const std::string container = work_.Read(L"out\\2.0.0.0\\a.dll");
    EXPECT_EQ(packed->transSize, static_cast<int32_t>(container.size()));
    EXPECT_LT(container.size(), kText.size());
    std::unique_ptr<uint8_t[]> decoded;
    size_t length = 0;
    ASSERT_TRUE(DecodeZf7z(reinterpret_cast<const uint8_t*>(container.data()), container.size(), decoded, length));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(decoded.get()), length), kText);
    const SFileItem* empty = Entry(L"empty.dat");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->zipType, kZipStored);
    EXPECT_EQ(summary_.packed, 1);
}

TEST_F(ReleaseBuilderTest, PackPatternsPickTheFilesToPack) {
    src_.Write(L"a.dll", kText, kTime);
    src_.Write(L"bin\\b.DLL", kText, kTime);
    src_.Write(L"bin\\c.exe", kText, kTime);
    src_.Write(L"d.exe", kText, kTime);
    options_.pack = PACK_MATCHING;
    options_.packPatterns = {L"*.dll", L"bin/*.exe"};
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    EXPECT_EQ(Entry(L"a.dll")->zipType, kZipZf7z);
    EXPECT_EQ(Entry(L"bin\\b.DLL")->zipType, kZipZf7z);
    EXPECT_EQ(Entry(L"bin\\c.exe")->zipType, kZipZf7z);
    EXPECT_EQ(Entry(L"d.exe")->zipType, kZipStored);
    EXPECT_EQ(Entry(L"d.exe")->transSize, static_cast<int32_t>(kText.size()));
}

TEST_F(ReleaseBuilderTest, RemovingAPublishedFileIsRefused) {
    src_.Write(L"bin\\a.dll", "a", kTime);
    options_.removals = {{L"BIN/A.dll", false}};
    ExpectFailure(L"both a file of the release and a file to remove");
    EXPECT_FALSE(work_.Exists(L"out\\UpdateInfo.ini"));
}

TEST_F(ReleaseBuilderTest, RemovalsOutsideTheInstallationOrTwiceAreRefused) {
    src_.Write(L"a.dll", "a", kTime);
    options_.removals = {{L"..\\a.dll", false}};
    ExpectFailure(L"not a name inside the installation");
    options_.removals = {{L"x.dll", false}, {L"X.DLL", true}};
    ExpectFailure(L"named twice");
}

TEST_F(ReleaseBuilderTest, ExistingVersionIsReplacedOnlyWhenAllowed) {
    src_.Write(L"a.dll", "a", kTime);
    work_.Write(L"out\\2.0.0.0\\stale.dll", "old", kTime);
    ExpectFailure(L"already holds version 2.0.0.0");
    EXPECT_TRUE(work_.Exists(L"out\\2.0.0.0\\stale.dll"));
    options_.overwrite = true;
    ASSERT_TRUE(Publish()) << builder_.GetError().c_str();
    EXPECT_FALSE(work_.Exists(L"out\\2.0.0.0\\stale.dll"));
    EXPECT_EQ(work_.Read(L"out\\2.0.0.0\\a.dll"), "a");
}

TEST_F(ReleaseBuilderTest, OutputInsideTheSourceIsRefused) {
    src_.Write(L"a.dll", "a", kTime);
    options_.outputDir = src_.Path(L"release");
    ExpectFailure(L"inside the source folder");
}

TEST_F(ReleaseBuilderTest, BadVersionsAndOverlongCommandsAreRefused) {
    src_.Write(L"a.dll", "a", kTime);
    for (const wchar_t* version : {L"", L"0.0.0.0", L"1.2.3.4.5", L"1.256", L"1..2", L"v2", L"2.0 "}) {
        options_.version = version;
        ExpectFailure(L"is not 1 to 4");
    }
    options_.version = L"2.0.0.0";
    options_.setupCmd = std::wstring(512, L'x');
    ExpectFailure(L"SetupCmd must be one line of at most 511 characters");
}

TEST_F(ReleaseBuilderTest, SectionPerFolderMakesChildSections) {
    src_.Write(L"top.dll", "t", kTime);
    src_.Write(L"bin\\a.dll", "a", kTime);
    src_.Write(L"bin\\deep\\b.dll", "b", kTime);
    src_.Write(L"res\\c.png", "c", kTime);
    options_.sectionPerFolder = true;
    options_.removals = {{L"old.dll", false}};
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    const SFingerSection* root = finger_.GetRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->items.size(), 4u);
    EXPECT_EQ(root->items[0]->name, L"top.dll");
    ASSERT_EQ(root->items[1]->kind, kFingerSection);
    EXPECT_EQ(root->items[1]->name, L"DIR_bin");
    EXPECT_EQ(root->items[2]->name, L"DIR_res");
    EXPECT_EQ(root->items[3]->kind, kFingerDelete);
    const auto* bin = static_cast<const SFingerSection*>(root->items[1]);
    ASSERT_EQ(bin->items.size(), 2u);
    EXPECT_EQ(bin->items[0]->name, L"bin\\a.dll");
    EXPECT_EQ(bin->items[1]->name, L"bin\\deep\\b.dll");
    EXPECT_EQ(finger_.GetAllItems().size(), 5u);
}

TEST_F(ReleaseBuilderTest, AppExeDefinesTheMacroOfTheStartCommand) {
    src_.Write(L"bin\\Client.exe", "client", kTime);
    options_.appExe = L"bin/client.exe";
    options_.startCmd = L"\"%APPDIR%%APPEXE%\" /WAITIDLE";
    ASSERT_TRUE(Publish()) << builder_.GetError().c_str();
    ini_.SetFile(work_.Path(L"out\\UpdateInfo.ini"));
    EXPECT_EQ(ini_.GetMacro(kMacroAppExe), L"bin\\Client.exe");
    EXPECT_EQ(ini_.GetString(L"MAIN", L"StartCmd", nullptr, 512), L"\"C:\\Client\\bin\\Client.exe\" /WAITIDLE");

    options_.appExe = L"missing.exe";
    options_.overwrite = true;
    ExpectFailure(L"is no file of the release");
}

TEST_F(ReleaseBuilderTest, LayoutVersionNamesTheMainSection) {
    src_.Write(L"a.dll", "a", kTime);
    options_.iniVer = 2;
    options_.updateExe = L"Up.exe";
    options_.jobString = 3;
    ASSERT_TRUE(Publish());
    ini_.SetFile(work_.Path(L"out\\UpdateInfo.ini"));
    EXPECT_EQ(ini_.GetMainSection(), L"MAIN_V2");
    EXPECT_EQ(ini_.GetString(L"MAIN_V2", L"UpdateExe", nullptr, 256), L"Up.exe");
    EXPECT_EQ(ini_.GetInt(L"MAIN_V2", L"JobString"), 3);
    ASSERT_TRUE(Load());
    EXPECT_NE(Entry(L"a.dll"), nullptr);
    ASSERT_EQ(summary_.warnings.size(), 1u);
    EXPECT_NE(summary_.warnings[0].find(L"'Up.exe' is no file of the release"), std::wstring::npos);
}

TEST_F(ReleaseBuilderTest, CheckKindNoneWritesEntriesWithoutValue) {
    src_.Write(L"a.dll", "abc", kTime);
    options_.checkKind = CHECK_KIND_NONE;
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    const SFileItem* entry = Entry(L"a.dll");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->checkKind, CHECK_KIND_NONE);
    EXPECT_EQ(entry->checkValue, L"");
    EXPECT_EQ(entry->size, 3);
}

TEST_F(ReleaseBuilderTest, IniVersionCheckTakesTheVerKey) {
    src_.Write(L"conf\\plugin.ini", "[VER]\r\nVer=3.1.0\r\n", kTime);
    options_.checkKind = CHECK_KIND_INI_VERSION;
    ASSERT_TRUE(Publish());
    ASSERT_TRUE(Load());
    ASSERT_NE(Entry(L"conf\\plugin.ini"), nullptr);
    EXPECT_EQ(Entry(L"conf\\plugin.ini")->checkKind, CHECK_KIND_INI_VERSION);
    EXPECT_EQ(Entry(L"conf\\plugin.ini")->checkValue, L"3.1.0");
}

TEST_F(ReleaseBuilderTest, IniVersionThatCannotMatchIsRefused) {
    options_.checkKind = CHECK_KIND_INI_VERSION;
    src_.Write(L"plain.dll", "no ini", kTime);
    ExpectFailure(L"'plain.dll' has no INI version");
    EXPECT_FALSE(work_.Exists(L"out\\2.0.0.0"));
    EXPECT_FALSE(work_.Exists(L"out\\UpdateInfo.ini.2.0.0.0"));
    // Expected values are upper-cased when read, computed ones are not.
    src_.Write(L"plain.dll", "[VER]\r\nVer=3.1b\r\n", kTime);
    ExpectFailure(L"'plain.dll' has no INI version");
}

TEST_F(ReleaseBuilderTest, VersionCheckOfAFileWithoutVersionResourceIsRefused) {
    src_.Write(L"data.bin", "no resource", kTime);
    options_.checkKind = CHECK_KIND_VERSION;
    ExpectFailure(L"it has no version resource");
}

TEST_F(ReleaseBuilderTest, NamesOutsideAsciiSurviveTheManifest) {
    const std::wstring name = L"\u8d44\u6e90\\\u00fcber \u0436.txt";
    src_.Write(name, "text", kTime);
    ASSERT_TRUE(Publish()) << builder_.GetError().c_str();
    ASSERT_TRUE(Load());
    const SFileItem* entry = Entry(name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->srcPath, L"2.0.0.0/\u8d44\u6e90/\u00fcber \u0436.txt");
    EXPECT_EQ(work_.Read(L"out\\2.0.0.0\\" + name), "text");
}

TEST_F(ReleaseBuilderTest, NameThatTheManifestCannotHoldIsRefused) {
    src_.Write(L"a;b.dll", "x", kTime);
    ExpectFailure(L"cannot be written in the manifest");
}

TEST_F(ReleaseBuilderTest, SignedReleaseHasTheSignatureOfItsManifest) {
    src_.Write(L"a.dll", "a", kTime);
    work_.Write(L"key.pem", kTestReleasePrivateKey, kTime);
    options_.signKey = work_.Path(L"key.pem");
    options_.checkKind = CHECK_KIND_SHA256;
    options_.allowDowngrade = true;
    ASSERT_TRUE(Publish()) << builder_.GetError().c_str();
    EXPECT_EQ(summary_.signaturePath, work_.Path(L"out\\UpdateInfo.ini.2.0.0.0.sig"));
    std::string reason;
    EXPECT_TRUE(VerifyManifestSignature(summary_.manifestPath, summary_.signaturePath, {kTestReleasePublicKey}, reason))
        << reason;
    ASSERT_TRUE(Load());
    EXPECT_EQ(ini_.GetString(L"VER", L"AllowDowngrade", nullptr, 8), L"1");
    ASSERT_NE(Entry(L"a.dll"), nullptr);
    EXPECT_EQ(Entry(L"a.dll")->checkKind, CHECK_KIND_SHA256);
    EXPECT_EQ(Entry(L"a.dll")->checkValue, L"CA978112CA1BBDCAFAC231B39A23DC4DA786EFF8147C4E72B9807785AFEE48BB");

    // Published again unsigned: no signature of the older bytes is left beside it.
    options_.signKey.clear();
    options_.overwrite = true;
    ASSERT_TRUE(Publish());
    EXPECT_TRUE(summary_.signaturePath.empty());
    EXPECT_FALSE(work_.Exists(L"out\\UpdateInfo.ini.2.0.0.0.sig"));

    // A key that cannot sign is refused before anything is written.
    options_.signKey = work_.Path(L"missing.pem");
    options_.version = L"2.0.0.1";
    ExpectFailure(L"cannot read the key file");
    EXPECT_FALSE(work_.Exists(L"out\\2.0.0.1"));
}

TEST_F(ReleaseBuilderTest, UpdaterNameMustBeABareFileName) {
    src_.Write(L"a.dll", "a", kTime);
    for (const wchar_t* name : {L"bin\\Up.exe", L"..\\Up.exe", L"CON.exe", L"Up.exe."}) {
        options_.updateExe = name;
        ExpectFailure(L"must be a bare file name");
    }
}

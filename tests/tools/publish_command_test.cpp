#include "publish/publish_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_folder.h"

namespace {

using Args = std::vector<std::wstring>;

const Args kRequired = {L"--src", L"in", L"--out", L"out", L"--version", L"2.0.0.0"};

Args With(Args extra) {
    Args args = kRequired;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The error text for arguments that must be refused.
std::wstring ParseError(const Args& args) {
    SReleaseOptions options;
    std::wstring error;
    EXPECT_EQ(ParsePublishArgs(args, options, error), PUBLISH_ARGS_ERROR);
    return error;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST(PublishCommand, RequiredOptionsAloneGiveTheDefaults) {
    SReleaseOptions options;
    std::wstring error;
    ASSERT_EQ(ParsePublishArgs(kRequired, options, error), PUBLISH_ARGS_RUN);
    EXPECT_EQ(options.sourceDir, L"in");
    EXPECT_EQ(options.outputDir, L"out");
    EXPECT_EQ(options.version, L"2.0.0.0");
    EXPECT_EQ(options.pack, PACK_NONE);
    EXPECT_EQ(options.checkKind, CHECK_KIND_MD5);
    EXPECT_EQ(options.iniVer, 1);
    EXPECT_EQ(options.oemId, L"ZOLTA");
    EXPECT_TRUE(options.updateExe.empty());
    EXPECT_FALSE(options.sectionPerFolder);
    EXPECT_FALSE(options.overwrite);
}

TEST(PublishCommand, EveryOptionReachesTheOptions) {
    SReleaseOptions options;
    std::wstring error;
    const Args args = With({L"--pack", L"*.dll", L"--pack=bin\\*.exe", L"--level", L"9", L"--check", L"iver",
                            L"--remove", L"old.dll", L"--remove-strict=must.dll", L"--oem-id", L"ACME",
                            L"--update-exe", L"up.exe", L"--app-exe", L"client.exe", L"--stop-cmd", L"stop",
                            L"--check-cmd", L"check", L"--setup-cmd", L"setup", L"--start-cmd", L"start /WAITIDLE",
                            L"--ini-ver", L"3", L"--job-string", L"2", L"--section-per-folder", L"--overwrite",
                            L"--sign-key", L"release.pem", L"--allow-downgrade"});
    ASSERT_EQ(ParsePublishArgs(args, options, error), PUBLISH_ARGS_RUN) << error;
    EXPECT_EQ(options.pack, PACK_MATCHING);
    EXPECT_EQ(options.packPatterns, (std::vector<std::wstring>{L"*.dll", L"bin\\*.exe"}));
    EXPECT_EQ(options.packLevel, 9);
    EXPECT_EQ(options.checkKind, CHECK_KIND_INI_VERSION);
    ASSERT_EQ(options.removals.size(), 2u);
    EXPECT_EQ(options.removals[0].name, L"old.dll");
    EXPECT_FALSE(options.removals[0].failOnError);
    EXPECT_EQ(options.removals[1].name, L"must.dll");
    EXPECT_TRUE(options.removals[1].failOnError);
    EXPECT_EQ(options.oemId, L"ACME");
    EXPECT_EQ(options.updateExe, L"up.exe");
    EXPECT_EQ(options.appExe, L"client.exe");
    EXPECT_EQ(options.stopCmd, L"stop");
    EXPECT_EQ(options.checkCmd, L"check");
    EXPECT_EQ(options.setupCmd, L"setup");
    EXPECT_EQ(options.startCmd, L"start /WAITIDLE");
    EXPECT_EQ(options.iniVer, 3);
    EXPECT_EQ(options.jobString, 2);
    EXPECT_TRUE(options.sectionPerFolder);
    EXPECT_TRUE(options.overwrite);
    EXPECT_EQ(options.signKey, L"release.pem");
    EXPECT_TRUE(options.allowDowngrade);
    ASSERT_EQ(ParsePublishArgs(With({L"--check", L"Sha256"}), options, error), PUBLISH_ARGS_RUN) << error;
    EXPECT_EQ(options.checkKind, CHECK_KIND_SHA256);
}

TEST(PublishCommand, PackAllAndNoneStandAlone) {
    SReleaseOptions options;
    std::wstring error;
    ASSERT_EQ(ParsePublishArgs(With({L"--pack", L"all"}), options, error), PUBLISH_ARGS_RUN);
    EXPECT_EQ(options.pack, PACK_ALL);
    ASSERT_EQ(ParsePublishArgs(With({L"--pack", L"none"}), options, error), PUBLISH_ARGS_RUN);
    EXPECT_EQ(options.pack, PACK_NONE);
    EXPECT_TRUE(Contains(ParseError(With({L"--pack", L"all", L"--pack", L"*.dll"})), L"cannot be combined"));
}

TEST(PublishCommand, BadArgumentsNameTheCulprit) {
    EXPECT_TRUE(Contains(ParseError(With({L"--bogus"})), L"unknown option --bogus"));
    EXPECT_TRUE(Contains(ParseError(With({L"stray"})), L"unexpected argument stray"));
    EXPECT_TRUE(Contains(ParseError(With({L"--pack"})), L"--pack needs a value"));
    EXPECT_TRUE(Contains(ParseError(With({L"--check", L"sha1"})), L"--check needs"));
    EXPECT_TRUE(Contains(ParseError(With({L"--level", L"10"})), L"--level"));
    EXPECT_TRUE(Contains(ParseError(With({L"--ini-ver", L"-1"})), L"--ini-ver"));
    EXPECT_TRUE(Contains(ParseError(With({L"--overwrite=yes"})), L"takes no value"));
    EXPECT_TRUE(Contains(ParseError({L"--src", L"in", L"--out", L"out"}), L"--version is required"));
    EXPECT_TRUE(Contains(ParseError({L"--out", L"out", L"--version", L"1.0"}), L"--src is required"));
}

TEST(PublishCommand, HelpListsTheOptionsAndSucceeds) {
    std::wstring out;
    std::wstring err;
    EXPECT_EQ(RunPublish({L"--help"}, out, err), kPublishOk);
    for (const wchar_t* option : {L"--src", L"--out", L"--version", L"--pack", L"--check", L"--remove",
                                  L"--update-exe", L"--start-cmd", L"--ini-ver", L"--section-per-folder"}) {
        EXPECT_TRUE(Contains(out, option)) << option;
    }
    EXPECT_TRUE(err.empty());
    EXPECT_EQ(RunPublish({L"-h"}, out, err), kPublishOk);
}

TEST(PublishCommand, UnknownOptionExitsWithUsageError) {
    std::wstring out;
    std::wstring err;
    EXPECT_EQ(RunPublish(With({L"--frobnicate"}), out, err), kPublishUsageError);
    EXPECT_TRUE(Contains(err, L"publish: error: unknown option --frobnicate"));
    EXPECT_TRUE(out.empty());
}

TEST(PublishCommand, MissingSourceFolderFails) {
    ClientFolder work;
    std::wstring out;
    std::wstring err;
    const Args args = {L"--src", work.Path(L"nothing"), L"--out", work.Path(L"out"), L"--version", L"2.0"};
    EXPECT_EQ(RunPublish(args, out, err), kPublishFailed);
    EXPECT_TRUE(Contains(err, L"does not exist")) << err.c_str();
    EXPECT_FALSE(work.Exists(L"out"));
}

TEST(PublishCommand, OutputThatIsAFileFails) {
    ClientFolder work;
    work.Write(L"src\\a.txt", "a", 1500000000);
    work.Write(L"taken", "a file, not a folder", 1500000000);
    std::wstring out;
    std::wstring err;
    const Args args = {L"--src", work.Path(L"src"), L"--out", work.Path(L"taken"), L"--version", L"2.0"};
    EXPECT_EQ(RunPublish(args, out, err), kPublishFailed);
    EXPECT_TRUE(Contains(err, L"is not a folder")) << err.c_str();
}

TEST(PublishCommand, SuccessfulRunSummarisesAndWarnsAboutAMissingStartCommand) {
    ClientFolder work;
    work.Write(L"src\\ZOLTAMeeting.exe", "updater", 1500000000);
    work.Write(L"src\\a.txt", std::string(1000, 'a'), 1500000000);
    std::wstring out;
    std::wstring err;
    const Args args = {L"--src", work.Path(L"src"), L"--out", work.Path(L"out"), L"--version", L"2.0",
                       L"--pack", L"*.txt"};
    ASSERT_EQ(RunPublish(args, out, err), kPublishOk) << err.c_str();
    EXPECT_TRUE(Contains(out, L"published version 2.0")) << out.c_str();
    EXPECT_TRUE(Contains(out, L"2 files (1 packed), 0 to remove")) << out.c_str();
    EXPECT_TRUE(Contains(err, L"warning: no start command")) << err.c_str();
    EXPECT_FALSE(Contains(err, L"is no file of the release")) << err.c_str();
    EXPECT_TRUE(work.Exists(L"out\\UpdateInfo.ini.2.0"));
}

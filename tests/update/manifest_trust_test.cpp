// The worker with release keys: a signed release installs; a manifest without
// a signature, changed after signing or signed by another key fails as a
// download (6) before anything of it is used; a lower version fails (10)
// unless its signed manifest allows it. Without keys the signature is never
// asked for. An unsafe updater name fails the manifest in either case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "captured_trace_log.h"
#include "test_keys.h"
#include "update/update_result.h"
#include "update_test_support.h"

namespace {

class ManifestTrust : public UpdateWorkerFixture {
protected:
    void SetUp() override {
        UpdateWorkerFixture::SetUp();
        keys_.Write(L"release.pem", kTestReleasePrivateKey);
        keys_.Write(L"foreign.pem", kForeignPrivateKey);
        environment_->releaseKeys = {kTestReleasePublicKey};
    }
    // Publishes the source folder as version, signed with the key file
    // (none: unsigned); returns the release's files by server path.
    std::map<std::string, std::string> PublishSigned(const std::wstring& version, const std::wstring& key,
                                                     bool allowDowngrade = false) {
        return Publish(version, [&](SReleaseOptions& options) {
            if (!key.empty()) options.signKey = keys_.Path(key);
            options.allowDowngrade = allowDowngrade;
        });
    }
    // Runs the update to version and expects it to end with result, the
    // installation unchanged and, after a refused signature or version, the
    // manifest no longer staged.
    void ExpectRefused(const std::wstring& version, int result, const std::string& logPart) {
        const std::vector<std::wstring> installed = InstalledFiles();
        std::map<std::wstring, std::string> before;
        for (const std::wstring& name : installed) before[name] = app_.Read(name);
        const size_t starts = environment_->RunCommandLines().size();
        SetVersionParameters(version);
        CapturedTraceLog log;
        ASSERT_TRUE(log.opened());
        EXPECT_EQ(Run(), result);
        EXPECT_EQ(log.Count(logPart), 1u) << logPart;
        EXPECT_EQ(InstalledFiles(), installed);
        for (const auto& file : before) EXPECT_EQ(app_.Read(file.first), file.second) << WideToUtf8(file.first);
        if (logPart.compare(0, 8, "manifest") == 0) {
            EXPECT_FALSE(app_.Exists(L"UpdateVer\\UpdateInfo.ini"));
            EXPECT_FALSE(app_.Exists(L"UpdateVer\\UpdateInfo.ini.sig"));
        }
        EXPECT_EQ(environment_->RunCommandLines().size(), starts);
    }
    void ExpectInstalled(int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(app_.Read(ClientFileName(i)), source_.Read(ClientFileName(i))) << i;
        }
    }

    FileFolder keys_;
};

TEST_F(ManifestTrust, SignedReleaseInstallsAndRefusedOnesChangeNothing) {
    WriteClient(6, 2);
    PublishSigned(L"2.0.0.0", L"release.pem");
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    ExpectInstalled(6);
    EXPECT_GT(RequestsFor("/UpdateInfo.ini.2.0.0.0.sig"), 0);

    // (A signature missing on every server fails only after the download
    // manager's idle time-out of a minute: the whole-update tests show it.)
    WriteClient(6, 3);
    std::map<std::string, std::string> release = PublishSigned(L"3.0.0.1", L"release.pem");
    std::string manifest = release.at("/UpdateInfo.ini.3.0.0.1");
    manifest[manifest.size() - 4] ^= 1;
    for (const std::string& host : kMirrors) network_.PutFile(host, "/UpdateInfo.ini.3.0.0.1", manifest);
    ExpectRefused(L"3.0.0.1", URC_DOWNLOAD_ERR, "manifest signature refused: wrong signature");

    PublishSigned(L"3.0.0.2", L"foreign.pem");
    ExpectRefused(L"3.0.0.2", URC_DOWNLOAD_ERR, "manifest signature refused: wrong signature");

    PublishSigned(L"3.0.0.3", L"release.pem");
    for (const std::string& host : kMirrors) network_.PutFile(host, "/UpdateInfo.ini.3.0.0.3.sig", "garbage");
    ExpectRefused(L"3.0.0.3", URC_DOWNLOAD_ERR,
                  "manifest signature refused: malformed signature (7 bytes, no DER ECDSA signature)! "
                  "(file:UpdateInfo.ini.3.0.0.3)");
    EXPECT_EQ(RequestsFor(ServerPath("3.0.0.3", 0)), 0);
}

TEST_F(ManifestTrust, LowerVersionOnlyWhenItsSignedManifestAllowsIt) {
    WriteClient(4, 3);
    PublishSigned(L"3.0.0.0", L"release.pem");
    SetVersionParameters(L"3.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);

    WriteClient(4, 2, 2000);
    PublishSigned(L"2.0.0.0", L"release.pem");
    ExpectRefused(L"2.0.0.0", URC_LOCAL_UPDATE_ERR,
                  "manifest ver(2.0.0.0) is below the installed ver(3.0.0.0), downgrade refused!");
    EXPECT_EQ(RequestsFor(ServerPath("2.0.0.0", 0)), 0);

    PublishSigned(L"2.0.0.0", L"release.pem", true);
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    ExpectInstalled(4);
    EXPECT_EQ(InstalledVersion(), L"2.0.0.0");
}

TEST_F(ManifestTrust, WithoutKeysManifestsAreTakenUnsigned) {
    environment_->releaseKeys.clear();
    WriteClient(4, 2);
    PublishSigned(L"2.0.0.0", L"");
    SetVersionParameters(L"2.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    ExpectInstalled(4);
    EXPECT_EQ(RequestsFor("/UpdateInfo.ini.2.0.0.0.sig"), 0);

    // Nor is a lower version refused there.
    WriteClient(4, 1, 2000);
    PublishSigned(L"1.0.0.0", L"");
    SetVersionParameters(L"1.0.0.0");
    ASSERT_EQ(Run(), URC_NO_ERR);
    ExpectInstalled(4);
}

TEST_F(ManifestTrust, UpdaterNameOtherThanABareFileNameFailsTheManifest) {
    environment_->releaseKeys.clear();
    for (const char* name : {"..\\evil.exe", "bin\\up.exe", "NUL.exe", "up.exe."}) {
        const std::string manifest = std::string("[VER]\r\nVer=2.0.0.0\r\n[MAIN]\r\nUpdateExe=") + name + "\r\n";
        for (const std::string& host : kMirrors) network_.PutFile(host, "/UpdateInfo.ini.2.0.0.0", manifest);
        ExpectRefused(L"2.0.0.0", URC_LOCAL_UPDATE_ERR, "UpdateExe is no bare file name, refused! (name:");
    }
}

}  // namespace

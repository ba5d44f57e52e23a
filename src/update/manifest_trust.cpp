// The update worker's trust in a new manifest: its signature by a release
// key, checked before anything of it is read, and no step back to an older
// version unless the signed manifest allows it.
#include "manifest/qk_update_ini.h"
#include "manifest/release_signature.h"
#include "update/update_thread.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/text_util.h"

namespace {

const int kFlagChars = 8;

}  // namespace

void CUpdateThread::DiscardNewManifest() {
    const std::wstring manifest = newUpdateInfo_.GetFile();
    DeleteFileRetry(manifest, false);
    DeleteFileRetry(SignatureFileName(manifest), false);
}

bool CUpdateThread::VerifyNewManifest(const std::wstring& srcPath, const std::vector<std::string>& releaseKeys) {
    const std::wstring manifest = updateVerDir_ + kUpdateInfoFileName;
    SFileTransItem signature;
    signature.name = SignatureFileName(kUpdateInfoFileName);
    signature.srcPath = SignatureFileName(srcPath);
    std::string reason;
    if (!DownloadItems(FingerItemList{&signature}, updateVerDir_, Fetch::kSignature)) {
        reason = "no signature file from any file server";
    } else if (VerifyManifestSignature(manifest, SignatureFileName(manifest), releaseKeys, reason)) {
        DownLogInf("manifest signature verified! (file:%s)", WideToAnsi(srcPath).c_str());
        return true;
    }
    DownLogErr("manifest signature refused: %s! (file:%s)", reason.c_str(), WideToAnsi(srcPath).c_str());
    DiscardNewManifest();
    return false;
}

bool CUpdateThread::AcceptsNewVersion() {
    if (ParseVersionNumber(newVersion_) >= ParseVersionNumber(mainDirVersion_)) return true;
    const std::string offered = WideToAnsi(newVersion_);
    const std::string installed = WideToAnsi(mainDirVersion_);
    if (newUpdateInfo_.GetString(L"VER", kAllowDowngradeKey, L"", kFlagChars) == L"1") {
        DownLogWar("manifest ver(%s) is below the installed ver(%s), downgrade allowed by the manifest!",
                   offered.c_str(), installed.c_str());
        return true;
    }
    DownLogErr("manifest ver(%s) is below the installed ver(%s), downgrade refused! (file:%s)", offered.c_str(),
               installed.c_str(), WideToAnsi(newUpdateInfo_.GetFile()).c_str());
    DiscardNewManifest();
    return false;
}

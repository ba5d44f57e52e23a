#include "manifest/decode_net_file.h"

#include <cstdint>

#include "diag/trace_log.h"
#include "manifest/zf7z_decoder.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/system_util.h"

namespace {

const size_t kDownloadSuffixChars = 4;

}  // namespace

std::wstring DecodedPathOf(const std::wstring& downloadedPath) {
    if (downloadedPath.size() <= kDownloadSuffixChars) return std::wstring();
    return downloadedPath.substr(0, downloadedPath.size() - kDownloadSuffixChars);
}

bool CreateLocalFile(const SFileItem& entry, const std::wstring& source, const std::wstring& destination, int& error) {
    error = 0;
    switch (entry.zipType) {
    case kZipStored:
        if (CopyFileRetry(source, destination, false)) return true;
        error = LastSystemError();
        return false;
    case kZipZf7z: {
        const int64_t length = DecompressZf7zFile(source, destination, entry.size);
        if (length >= 1) return true;
        error = static_cast<int>(length);
        return false;
    }
    default:
        error = kErrorUnsupportedZipType;
        return false;
    }
}

int DecodeNetFile(int fileId, const std::wstring& source, const std::wstring& destination, const SFileItem& entry) {
    const std::string destinationText = WideToAnsi(destination);
    DownLogInf("creating local file:%s->%s", WideToAnsi(source).c_str(), destinationText.c_str());
    int error = 0;
    if (!CreateLocalFile(entry, source, destination, error)) {
        DownLogErr("CreateLocalFile failed(err:%d)! zipType:%d, fileid:%d, file:%s", error, entry.zipType, fileId,
                   destinationText.c_str());
        return 0;
    }
    // The source is no longer needed; one left behind goes with the staging folder.
    DeleteFileRetry(source, false);
    // A file that fails its check is removed, and it gets the entry's time
    // only once it passed: a later run takes a staged file of the entry's
    // size and time for sound without checking it again.
    std::wstring value;
    if (!entry.ComputeCheckValue(destination, value)) {
        DownLogErr("Calculate CheckValue failed! fileid:%d, file:%s", fileId, destinationText.c_str());
        DeleteFileRetry(destination, false);
        return 0;
    }
    const auto size = static_cast<int64_t>(GetFileSizeByName(destination));
    const std::string valueText = WideToAnsi(value);
    const int code = entry.CompareWithEntry(size, &value);
    if (code != kCheckMatch) {
        DownLogErr("download check failed(%d)! size:%lld, calculateValue=%s,(cfgSize:%d, cfgCheckValue:%s). fileid:%d, "
                   "file:%s",
                   code, static_cast<long long>(size), valueText.c_str(), entry.size,
                   WideToAnsi(entry.checkValue).c_str(), fileId, destinationText.c_str());
        DeleteFileRetry(destination, false);
        return 0;
    }
    if (entry.time != 0 && !SetFileTimes(destination, entry.time)) {
        DownLogWar("Set LocalFile MTime failed! fileid:%d, file:%s", fileId, destinationText.c_str());
    }
    DownLogInf("download check success! fileid:%d, size:%lld, checkValue=%s,  file:%s", fileId,
               static_cast<long long>(size), valueText.c_str(), destinationText.c_str());
    return 1;
}

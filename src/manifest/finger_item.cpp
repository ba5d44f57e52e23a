#include "manifest/finger_item.h"

#include <cstdint>

#include "diag/trace_log.h"
#include "manifest/install_name.h"
#include "manifest/job_fields.h"
#include "util/code_page.h"
#include "util/text_util.h"

namespace {

const int kFileEntryFields = 8;

int ZipTypeOfText(const std::wstring& text) {
    if (text.empty()) return kZipStored;
    if (text == L"ZLIB") return kZipZlib;
    if (text == L"ZF7Z") return kZipZf7z;
    return kZipUnknown;
}

// Expected values are compared exactly with computed ones, which are upper
// case hexadecimal or version numbers: the ASCII letters are all they hold.
std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 0x20);
    }
    return text;
}

// Sizes are 32-bit numbers: a number past the largest would wrap into "no
// size" or a small one, so a release file of 2 GiB or more cannot be
// described and its entry is refused.
bool IsSizeInRange(const std::wstring& text) {
    size_t i = !text.empty() && (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10u + static_cast<uint64_t>(text[i] - L'0');
        if (value > static_cast<uint64_t>(INT32_MAX)) return false;
    }
    return true;
}

int32_t TransferSizeOfText(const std::wstring& text) {
    if (text.empty() || text[0] < L'0' || text[0] > L'9') return -1;
    return ParseLeadingInt(text);
}

bool IsNameInsideInstallation(const std::wstring& name, const std::wstring& value) {
    if (IsInstallRelativeName(name)) return true;
    DownLogErr("file name leaves the install dir, refused! (name:%s, str:%s)", WideToAnsi(name).c_str(),
               WideToAnsi(value).c_str());
    return false;
}

}  // namespace

bool SFileItem::ComputeCheckValue(const std::wstring& path, std::wstring& value) const {
    return ComputeFileCheckValue(checkKind, path, value);
}

int SFileItem::CompareWithEntry(int64_t fileSize, const std::wstring* value) const {
    if (size >= 0 && fileSize != size) return kCheckSizeMismatch;
    if (checkKind != CHECK_KIND_NONE && value != nullptr && *value != checkValue) return kCheckValueMismatch;
    return kCheckMatch;
}

std::unique_ptr<SFileTransItem> ParseFileEntry(const std::wstring& value) {
    std::wstring fields[kFileEntryFields + 1];
    for (int index = 1; index <= kFileEntryFields; ++index) {
        if (!GetDataFromItemStr(value, index, fields[index])) {
            DownLogErr("GetDataFromItemStr failed! (index=%d,str=%s)", index, WideToAnsi(value).c_str());
            return nullptr;
        }
    }
    if (!IsNameInsideInstallation(fields[1], value)) return nullptr;
    if (!IsSizeInRange(fields[2]) || !IsSizeInRange(fields[6])) {
        DownLogErr("file size out of range, refused! (str:%s)", WideToAnsi(value).c_str());
        return nullptr;
    }
    auto item = std::make_unique<SFileTransItem>();
    item->name = fields[1];
    item->size = ParseLeadingInt(fields[2]);
    item->time = ParseLeadingInt(fields[3]);
    item->zipType = ZipTypeOfText(fields[4]);
    item->srcPath = fields[5];
    item->transSize = TransferSizeOfText(fields[6]);
    item->checkKind = CheckKindFromText(fields[7]);
    item->checkValue = AsciiUpper(fields[8]);
    return item;
}

std::unique_ptr<SFingerDelItem> ParseDeleteEntry(const std::wstring& value) {
    std::wstring name;
    if (!GetDataFromItemStr(value, 1, name)) {
        DownLogErr("GetDataFromItemStr failed! (index=%d,str=%s)", 1, WideToAnsi(value).c_str());
        return nullptr;
    }
    if (!IsNameInsideInstallation(name, value)) return nullptr;
    auto item = std::make_unique<SFingerDelItem>();
    item->name = name;
    std::wstring flag;
    if (GetDataFromItemStr(value, 2, flag)) {
        flag.erase(0, flag.find_first_not_of(L':'));
        if (flag == L"err") item->ignoreFailure = 0;
    }
    return item;
}

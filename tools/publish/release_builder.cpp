#include "publish/release_builder.h"

#include <algorithm>
#include <limits>
#include <map>

#include "manifest/install_name.h"
#include "manifest/qk_update_ini.h"
#include "manifest/release_signature.h"
#include "publish/name_pattern.h"
#include "publish/release_signer.h"
#include "publish/update_info_writer.h"
#include "util/file_util.h"
#include "util/path_separators.h"
#include "util/system_util.h"

namespace {

const wchar_t kFolderSectionPrefix[] = L"DIR_";
// Longest values the updater reads without cutting them.
const size_t kMaxCommandChars = 511;
const size_t kMaxUpdateExeChars = 255;
const size_t kMaxAppExeEntryChars = 255;
// The manifest holds sizes as signed 32-bit numbers.
const uint64_t kMaxFileSize = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
// Stored copies are made once: a failure here is reported, not waited out.
const RetryPolicy kSingleAttempt{1, 0};

std::wstring WithTrailingSeparator(const std::wstring& path) {
    std::wstring result = WithBackslashes(path);
    if (result.empty() || result.back() != L'\\') result += L'\\';
    return result;
}

bool HasLineBreak(const std::wstring& text) { return text.find_first_of(L"\r\n") != std::wstring::npos; }

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// "%d.%d.%d.%d" as the updater reads versions: 1 to 4 fields of 0 to 255,
// digits only, since the text also names files and folders.
bool IsReleaseVersion(const std::wstring& version) {
    int fields = 0;
    bool nonZero = false;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(version.find(L'.', start), version.size());
        const std::wstring field = version.substr(start, end - start);
        if (field.empty() || field.size() > 3 || field.find_first_not_of(L"0123456789") != std::wstring::npos) {
            return false;
        }
        const int value = std::stoi(field);
        if (value > 255) return false;
        nonZero = nonZero || value != 0;
        if (++fields > 4) return false;
        if (end == version.size()) break;
        start = end + 1;
    }
    return nonZero;
}

// A section name survives between '[' and ']' and is read back as written.
bool IsSectionName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"[]") == std::wstring::npos && !HasLineBreak(name) &&
           CanWriteJobField(name);
}

// Expected values are upper case in the manifest, computed ones are not
// converted: a lower-case letter in an INI version never matches.
bool HasLowerCaseLetter(const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'a' && c <= L'z'; });
}

std::wstring ParentOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring ErrorSuffix() { return L" (error " + std::to_wstring(LastSystemError()) + L")"; }

}  // namespace

bool CReleaseBuilder::Build(const SReleaseOptions& options, SReleaseSummary& summary) {
    options_ = options;
    files_.clear();
    error_.clear();
    summary = SReleaseSummary();
    summary_ = &summary;
    if (!CheckOptions()) return false;
    FileFindData source;
    if (!FindFile(sourceDir_.substr(0, sourceDir_.size() - 1), source) || !source.isDirectory) {
        return Fail(L"the source folder " + options_.sourceDir + L" does not exist or is not a folder");
    }
    if (!ScanFolder(L"") || !CheckNames() || !PrepareOutput()) return false;

    std::vector<SFileItem> entries(files_.size());
    bool written = true;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!PublishFile(files_[i], entries[i])) {
            written = false;
            break;
        }
        summary.sourceBytes += files_[i].size;
        summary.transferBytes += static_cast<uint64_t>(entries[i].transSize);
        if (entries[i].zipType == kZipZf7z) ++summary.packed;
    }
    summary.files = static_cast<int>(entries.size());
    summary.removals = static_cast<int>(options_.removals.size());
    if (written && WriteManifest(entries)) return true;
    // The folder is this build's own: a half-written version is not left to be served.
    RemoveTree(versionDir_);
    return false;
}

bool CReleaseBuilder::Fail(const std::wstring& message) {
    error_ = message;
    return false;
}

bool CReleaseBuilder::CheckOptions() {
    if (options_.sourceDir.empty()) return Fail(L"no source folder given");
    if (options_.outputDir.empty()) return Fail(L"no output folder given");
    if (!IsReleaseVersion(options_.version)) {
        return Fail(L"the version '" + options_.version +
                    L"' is not 1 to 4 dot-separated numbers from 0 to 255, not all 0");
    }
    if (options_.iniVer < 0) return Fail(L"the INI layout version must not be negative");
    if (options_.jobString < 0) return Fail(L"the job string must not be negative");
    if (options_.packLevel < 0 || options_.packLevel > 9) return Fail(L"the pack level must be 0 to 9");
    if (options_.pack == PACK_MATCHING && options_.packPatterns.empty()) return Fail(L"no pack pattern given");
    std::wstring checkKindText;
    if (!CheckKindText(options_.checkKind, checkKindText)) {
        return Fail(L"unknown check kind " + std::to_wstring(options_.checkKind));
    }
    const std::wstring mainSection = MainSectionName(options_.iniVer);
    if (!IsSectionName(options_.oemId) || SameFileName(options_.oemId, kVersionSection) ||
        SameFileName(options_.oemId, mainSection) ||
        (options_.sectionPerFolder && StartsWith(FoldFileName(options_.oemId), kFolderSectionPrefix))) {
        return Fail(L"the OEM identifier '" + options_.oemId + L"' cannot name a section of its own");
    }
    if (options_.updateExe.empty()) options_.updateExe = options_.oemId + L"Meeting.exe";
    if (options_.updateExe.size() > kMaxUpdateExeChars || HasLineBreak(options_.updateExe)) {
        return Fail(L"the updater name must be one line of at most 255 characters");
    }
    if (!IsBareFileName(options_.updateExe)) {
        return Fail(L"the updater name '" + options_.updateExe +
                    L"' must be a bare file name (no folder, no device name, not ending in a dot or blank)");
    }
    // A key that cannot sign is found before anything is written.
    std::string probe;
    std::wstring signError;
    if (!options_.signKey.empty() && !SignReleaseBytes(options_.signKey, std::string(), probe, signError)) {
        return Fail(signError);
    }
    const std::pair<const wchar_t*, const std::wstring*> commands[] = {{kStopCmdKey, &options_.stopCmd},
                                                                        {kCheckCmdKey, &options_.checkCmd},
                                                                        {kSetupCmdKey, &options_.setupCmd},
                                                                        {kStartCmdKey, &options_.startCmd}};
    for (const auto& command : commands) {
        if (command.second->size() > kMaxCommandChars || HasLineBreak(*command.second)) {
            return Fail(std::wstring(command.first) + L" must be one line of at most 511 characters");
        }
    }
    std::map<std::wstring, const SRemoval*> removals;
    for (SRemoval& removal : options_.removals) {
        removal.name = WithBackslashes(removal.name);
        if (!IsInstallRelativeName(removal.name) || !CanWriteJobField(removal.name)) {
            return Fail(L"the file to remove '" + removal.name +
                        L"' is not a name inside the installation that the manifest can hold");
        }
        if (!removals.emplace(FoldFileName(removal.name), &removal).second) {
            return Fail(L"the file to remove '" + removal.name + L"' is named twice");
        }
    }
    std::sort(options_.removals.begin(), options_.removals.end(), [](const SRemoval& a, const SRemoval& b) {
        return FoldFileName(a.name) < FoldFileName(b.name);
    });
    options_.appExe = WithBackslashes(options_.appExe);
    sourceDir_ = WithTrailingSeparator(options_.sourceDir);
    outputDir_ = WithTrailingSeparator(options_.outputDir);
    versionDir_ = outputDir_ + options_.version + L'\\';
    // Compared as texts: enough to stop the plain mistakes of publishing a
    // release into itself or replacing the source with the output.
    if (StartsWith(FoldFileName(outputDir_), FoldFileName(sourceDir_))) {
        return Fail(L"the output folder must not be inside the source folder");
    }
    if (StartsWith(FoldFileName(sourceDir_), FoldFileName(versionDir_))) {
        return Fail(L"the source folder must not be inside the release's version folder");
    }
    return true;
}

bool CReleaseBuilder::ScanFolder(const std::wstring& relative) {
    std::vector<FileFindData> entries;
    if (!ListDirectory(sourceDir_ + relative, entries)) {
        return Fail(L"cannot list the folder '" + relative + L"' of the source folder" + ErrorSuffix());
    }
    for (const FileFindData& entry : entries) {
        const std::wstring name = relative + entry.name;
        if (entry.isLink) return Fail(L"'" + name + L"' is a link; a release holds files and folders only");
        if (entry.isDirectory) {
            if (!ScanFolder(name + L'\\')) return false;
            continue;
        }
        // The manifest of an installed version is not one of its files.
        if (relative.empty() && SameFileName(entry.name, kUpdateInfoFileName)) continue;
        files_.push_back(SourceFile{name, FoldFileName(name), entry.size, entry.writeTime});
    }
    return true;
}

bool CReleaseBuilder::CheckNames() {
    std::sort(files_.begin(), files_.end(), [](const SourceFile& a, const SourceFile& b) {
        return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
    });
    for (size_t i = 0; i < files_.size(); ++i) {
        const SourceFile& file = files_[i];
        if (i > 0 && files_[i - 1].folded == file.folded) {
            return Fail(L"'" + files_[i - 1].name + L"' and '" + file.name +
                        L"' differ only in letter case; an installation cannot hold both");
        }
        if (!IsInstallRelativeName(file.name) || !CanWriteJobField(file.name)) {
            return Fail(L"the name '" + file.name +
                        L"' cannot be written in the manifest (a ';', a line break, blanks at its ends or "
                        L"a macro name such as %APPDIR%)");
        }
        if (file.size > kMaxFileSize) return Fail(L"'" + file.name + L"' is 2 GiB or larger");
        if (options_.sectionPerFolder && file.name.find(L'\\') != std::wstring::npos &&
            !IsSectionName(kFolderSectionPrefix + file.name.substr(0, file.name.find(L'\\')))) {
            return Fail(L"the folder of '" + file.name + L"' cannot name a section ('[' or ']' in its name)");
        }
    }
    auto findFile = [this](const std::wstring& name) {
        const std::wstring folded = FoldFileName(name);
        return std::find_if(files_.begin(), files_.end(), [&](const SourceFile& f) { return f.folded == folded; });
    };
    for (const SRemoval& removal : options_.removals) {
        if (findFile(removal.name) != files_.end()) {
            return Fail(L"'" + removal.name + L"' is both a file of the release and a file to remove");
        }
    }
    if (!options_.appExe.empty()) {
        auto appExe = findFile(options_.appExe);
        if (appExe == files_.end()) {
            return Fail(L"the main program '" + options_.appExe + L"' is no file of the release");
        }
        options_.appExe = appExe->name;
    }
    if (findFile(options_.updateExe) == files_.end()) {
        summary_->warnings.push_back(L"the updater '" + options_.updateExe +
                                     L"' is no file of the release: updates will not replace it");
    }
    if (options_.startCmd.empty()) {
        summary_->warnings.push_back(L"no start command: the updater cannot start the client after an update");
    }
    return true;
}

bool CReleaseBuilder::PrepareOutput() {
    if (!MakeDirs(outputDir_)) return Fail(L"cannot create the output folder " + options_.outputDir + ErrorSuffix());
    FileFindData output;
    if (!FindFile(outputDir_.substr(0, outputDir_.size() - 1), output) || !output.isDirectory) {
        return Fail(L"the output " + options_.outputDir + L" is not a folder");
    }
    if (FileExists(versionDir_)) {
        if (!options_.overwrite) {
            return Fail(L"the output folder already holds version " + options_.version +
                        L"; remove it or allow overwriting");
        }
        if (!RemoveTree(versionDir_)) {
            return Fail(L"cannot remove the old version " + options_.version + L" from the output folder" +
                        ErrorSuffix());
        }
    }
    if (!MakeDirs(versionDir_)) {
        return Fail(L"cannot create the folder " + options_.version + L" in the output folder " +
                    options_.outputDir + ErrorSuffix());
    }
    return true;
}

bool CReleaseBuilder::ShouldPack(const SourceFile& file) const {
    // A ZF7Z file that unpacks to nothing counts as a failed download, so an
    // empty file is always stored.
    if (file.size == 0) return false;
    switch (options_.pack) {
    case PACK_ALL:
        return true;
    case PACK_MATCHING:
        return std::any_of(options_.packPatterns.begin(), options_.packPatterns.end(),
                           [&file](const std::wstring& pattern) { return MatchesNamePattern(pattern, file.name); });
    case PACK_NONE:
        break;
    }
    return false;
}

bool CReleaseBuilder::PublishFile(const SourceFile& file, SFileItem& entry) {
    const std::wstring source = sourceDir_ + file.name;
    const std::wstring target = versionDir_ + file.name;
    entry.name = file.name;
    entry.size = static_cast<int32_t>(file.size);
    // The updater compares the low 32 bits of the time, as written here.
    entry.time = static_cast<int32_t>(static_cast<uint32_t>(file.writeTime));
    entry.srcPath = options_.version + L'/' + file.name;
    std::replace(entry.srcPath.begin(), entry.srcPath.end(), L'\\', L'/');
    entry.checkKind = options_.checkKind;
    if (!ComputeFileCheckValue(entry.checkKind, source, entry.checkValue)) {
        return Fail(L"cannot compute the check value of '" + file.name + L"'" +
                    (entry.checkKind == CHECK_KIND_VERSION ? L": it has no version resource" : ErrorSuffix()));
    }
    if (entry.checkKind == CHECK_KIND_INI_VERSION &&
        (entry.checkValue.empty() || HasLowerCaseLetter(entry.checkValue) || !CanWriteJobField(entry.checkValue))) {
        return Fail(L"'" + file.name + L"' has no INI version that the updater can match (key Ver of [VER], "
                                      L"without lower-case letters or ';')");
    }
    if (!MakeDirs(ParentOf(target))) {
        return Fail(L"cannot create the folder of '" + file.name + L"' in the output folder" + ErrorSuffix());
    }
    if (ShouldPack(file)) {
        std::string bytes;
        if (!ReadWholeFile(source, bytes)) return Fail(L"cannot read '" + file.name + L"'" + ErrorSuffix());
        if (bytes.size() != file.size) return Fail(L"'" + file.name + L"' changed while it was being published");
        std::string container;
        if (!EncodeZf7z(bytes, container, options_.packLevel) || container.size() > kMaxFileSize) {
            return Fail(L"cannot pack '" + file.name + L"'");
        }
        if (!WriteWholeFile(target, container)) {
            return Fail(L"cannot write the packed '" + file.name + L"' to the output folder" + ErrorSuffix());
        }
        entry.zipType = kZipZf7z;
        entry.transSize = static_cast<int32_t>(container.size());
    } else {
        if (!CopyFileRetry(source, target, false, kSingleAttempt)) {
            return Fail(L"cannot copy '" + file.name + L"' to the output folder" + ErrorSuffix());
        }
        if (GetFileSizeByName(target) != file.size) {
            return Fail(L"'" + file.name + L"' changed while it was being published");
        }
        entry.zipType = kZipStored;
        entry.transSize = entry.size;
    }
    return true;
}

bool CReleaseBuilder::WriteManifest(const std::vector<SFileItem>& entries) {
    CUpdateInfoWriter writer;
    writer.BeginSection(kVersionSection);
    writer.AddString(kVersionKey, options_.version);
    writer.AddString(kIniVersionKey, std::to_wstring(options_.iniVer));
    if (options_.allowDowngrade) writer.AddString(kAllowDowngradeKey, L"1");

    writer.BeginSection(MainSectionName(options_.iniVer));
    writer.AddString(kUpdateExeKey, options_.updateExe);
    writer.AddString(kJobStringKey, std::to_wstring(options_.jobString));
    writer.AddString(kStopCmdKey, options_.stopCmd);
    writer.AddString(kCheckCmdKey, options_.checkCmd);
    writer.AddString(kSetupCmdKey, options_.setupCmd);
    writer.AddString(kStartCmdKey, options_.startCmd);

    // Entries are sorted by folded name, so the files of one top-level folder
    // lie together and the folders come in name order.
    struct FolderSection {
        std::wstring name;
        std::vector<std::wstring> jobs;
    };
    std::vector<FolderSection> folders;
    std::wstring appExeJob;
    for (const SFileItem& entry : entries) {
        std::wstring job;
        if (!FileJobValue(entry, job)) return Fail(L"cannot write the entry of '" + entry.name + L"'");
        if (!options_.appExe.empty() && entry.name == options_.appExe) appExeJob = job;
        const size_t separator = entry.name.find(L'\\');
        if (!options_.sectionPerFolder || separator == std::wstring::npos) {
            writer.AddJob(job);
            continue;
        }
        const std::wstring folder = kFolderSectionPrefix + entry.name.substr(0, separator);
        if (folders.empty() || FoldFileName(folders.back().name) != FoldFileName(folder)) {
            folders.push_back(FolderSection{folder, {}});
        }
        folders.back().jobs.push_back(job);
    }
    for (const FolderSection& folder : folders) writer.AddJob(SubJobValue(folder.name));
    for (const SRemoval& removal : options_.removals) {
        SFingerDelItem item;
        item.name = removal.name;
        item.ignoreFailure = removal.failOnError ? 0 : 1;
        std::wstring job;
        if (!DeleteJobValue(item, job)) return Fail(L"cannot write the removal of '" + removal.name + L"'");
        writer.AddJob(job);
    }
    for (const FolderSection& folder : folders) {
        writer.BeginSection(folder.name);
        writer.AddString(kSectionTypeKey, kSectionTypeModule);
        for (const std::wstring& job : folder.jobs) writer.AddJob(job);
    }
    if (!appExeJob.empty()) {
        if (appExeJob.size() > kMaxAppExeEntryChars) {
            return Fail(L"the entry of the main program '" + options_.appExe +
                        L"' is longer than the 255 characters the updater reads");
        }
        writer.BeginSection(options_.oemId);
        writer.AddString(kAppExeKey, appExeJob);
    }

    const std::string bytes = writer.GetBytes();
    const std::wstring manifestPath = outputDir_ + kUpdateInfoFileName + L'.' + options_.version;
    const std::wstring signaturePath = SignatureFileName(manifestPath);
    // The served manifest comes last, and goes when it is not whole; a
    // signature of an older build of this version goes with it.
    DeleteFileRetry(manifestPath, false, kSingleAttempt);
    DeleteFileRetry(signaturePath, false, kSingleAttempt);
    std::string signature;
    std::wstring error;
    if (!options_.signKey.empty() && !SignReleaseBytes(options_.signKey, bytes, signature, error)) return Fail(error);
    if (!WriteWholeFile(outputDir_ + kUpdateInfoFileName, bytes) ||
        (!signature.empty() && !WriteWholeFile(signaturePath, signature)) || !WriteWholeFile(manifestPath, bytes)) {
        Fail(L"cannot write the manifest to the output folder " + options_.outputDir + ErrorSuffix());
        DeleteFileRetry(manifestPath, false, kSingleAttempt);
        DeleteFileRetry(signaturePath, false, kSingleAttempt);
        return false;
    }
    summary_->manifestPath = manifestPath;
    if (!signature.empty()) summary_->signaturePath = signaturePath;
    return true;
}

#include "publish/update_info_writer.h"

#include <cstdint>

#include "manifest/job_fields.h"
#include "manifest/qk_update_ini.h"
#include "util/utf16.h"

const wchar_t kVersionSection[] = L"VER";
const wchar_t kVersionKey[] = L"Ver";
const wchar_t kIniVersionKey[] = L"INIVer";
const wchar_t kUpdateExeKey[] = L"UpdateExe";
const wchar_t kJobStringKey[] = L"JobString";
const wchar_t kStopCmdKey[] = L"StopCmd";
const wchar_t kCheckCmdKey[] = L"CheckCmd";
const wchar_t kSetupCmdKey[] = L"SetupCmd";
const wchar_t kStartCmdKey[] = L"StartCmd";
const wchar_t kSectionTypeKey[] = L"SectionType";
const wchar_t kSectionTypeModule[] = L"module";
const wchar_t kAppExeKey[] = L"Job_APPEXE";

namespace {

const wchar_t* const kMacroNames[] = {kMacroQkMeetDir, kMacroAppDir, kMacroOemId, kMacroAppExe, kMacroOrgParam};

bool ZipTypeText(int zipType, std::wstring& text) {
    switch (zipType) {
    case kZipStored:
        text.clear();
        return true;
    case kZipZf7z:
        text = L"ZF7Z";
        return true;
    default:
        return false;
    }
}

}  // namespace

std::wstring MainSectionName(int iniVer) {
    return iniVer > 1 ? L"MAIN_V" + std::to_wstring(iniVer) : std::wstring(L"MAIN");
}

bool CanWriteJobField(const std::wstring& text) {
    if (text.find_first_of(std::wstring(L";\r\n\0", 4)) != std::wstring::npos) return false;
    if (TrimBlanks(text) != text) return false;
    for (const wchar_t* macro : kMacroNames) {
        if (text.find(macro) != std::wstring::npos) return false;
    }
    return true;
}

bool FileJobValue(const SFileItem& item, std::wstring& value) {
    std::wstring zipText;
    std::wstring checkText;
    if (item.name.empty() || item.srcPath.empty() || !ZipTypeText(item.zipType, zipText) ||
        !CheckKindText(item.checkKind, checkText)) {
        return false;
    }
    for (const std::wstring* field : {&item.name, &item.srcPath, &item.checkValue}) {
        if (!CanWriteJobField(*field)) return false;
    }
    value = L"dlfl;" + item.name + L';' + std::to_wstring(item.size) + L';' + std::to_wstring(item.time) + L';' +
            zipText + L';' + item.srcPath + L';' + std::to_wstring(item.transSize) + L';' + checkText + L';' +
            item.checkValue;
    if (item.checkValue.empty()) value += L';';
    return true;
}

bool DeleteJobValue(const SFingerDelItem& item, std::wstring& value) {
    if (item.name.empty() || !CanWriteJobField(item.name)) return false;
    value = L"rmfl;" + item.name;
    if (item.ignoreFailure == 0) value += L";err";
    return true;
}

std::wstring SubJobValue(const std::wstring& section) { return L"sub;" + section; }

void CUpdateInfoWriter::BeginSection(const std::wstring& name) {
    sections_.push_back(Section());
    sections_.back().name = name;
}

void CUpdateInfoWriter::AddString(const std::wstring& key, const std::wstring& value) {
    if (sections_.empty()) return;
    const bool quoted =
        value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front();
    sections_.back().lines.push_back(key + L'=' + (quoted ? value.front() + value + value.back() : value));
}

void CUpdateInfoWriter::AddJob(const std::wstring& value) {
    if (sections_.empty()) return;
    Section& section = sections_.back();
    section.lines.push_back(L"Job_" + std::to_wstring(++section.jobs) + L'=' + value);
}

std::wstring CUpdateInfoWriter::GetText() const {
    std::wstring text;
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) text += L"\r\n";
        text += L'[' + sections_[i].name + L"]\r\n";
        for (const std::wstring& line : sections_[i].lines) text += line + L"\r\n";
    }
    return text;
}

std::string CUpdateInfoWriter::GetBytes() const {
    std::string bytes = "\xFF\xFE";
    bytes += EncodeUtf16Le(GetText());
    return bytes;
}

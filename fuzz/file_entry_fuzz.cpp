// One job value of an update-info file, as a key of a job section holds it:
// macro expansion, the job word and fields, and the file and delete entries
// built from them. The same grammar as update_info_fuzz.cpp, without the
// disk, so the fuzzer reaches far more values.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "manifest/check_value.h"
#include "manifest/finger_item.h"
#include "manifest/install_name.h"
#include "manifest/job_fields.h"
#include "manifest/qk_update_ini.h"
#include "util/code_page.h"
#include "util/text_util.h"

namespace {

const int kFieldsRead = 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OpenFuzzTraceLog();
    std::wstring value = AnsiToWide(std::string(reinterpret_cast<const char*>(data), size));

    CQKUpdateIni macros(L"C:\\Program Files\\ZOLTA\\", L"ZOLTA");
    macros.SetMacro(kMacroQkMeetDir, L"C:\\Program Files\\ZOLTA\\");
    macros.SetMacro(kMacroAppDir, L"C:\\Program Files\\ZOLTA\\");
    macros.SetMacro(kMacroOemId, L"ZOLTA");
    macros.SetMacro(kMacroAppExe, L"ZOLTAMeeting.exe");
    macros.SetMacro(kMacroOrgParam, L"-MEETTYPE=MAIN\n-SPVER=1.2.3.4");
    macros.ExpandValue(value);

    const std::wstring word = JobWordOf(value);
    FUZZ_CHECK(word == TrimBlanks(word));
    bool present = true;
    for (int index = 1; index <= kFieldsRead; ++index) {
        std::wstring field = L"unchanged";
        const bool found = GetDataFromItemStr(value, index, field);
        // A value that lacks a field lacks every later one.
        FUZZ_CHECK(present || !found);
        present = found;
        if (found) {
            FUZZ_CHECK(field == TrimBlanks(field) && field.find(L';') == std::wstring::npos);
            ParseLeadingInt(field);
            ParseVersionNumber(field);
            CheckKindFromText(field);
        } else {
            FUZZ_CHECK(field == L"unchanged");
        }
    }

    std::unique_ptr<SFileTransItem> file = ParseFileEntry(value);
    if (file) {
        std::wstring name;
        FUZZ_CHECK(GetDataFromItemStr(value, 1, name) && name == file->name);
        FUZZ_CHECK(IsInstallRelativeName(file->name));
        FUZZ_CHECK(file->zipType >= kZipStored && file->zipType <= kZipUnknown);
        std::wstring kindText;
        FUZZ_CHECK(file->checkKind == CHECK_KIND_OTHER || CheckKindText(file->checkKind, kindText));
        std::wstring check = file->checkValue;
        FUZZ_CHECK(file->CompareWithEntry(file->size, &check) == kCheckMatch);
        FUZZ_CHECK(SameFileName(file->name, FoldFileName(file->name)));
        // A bare file name is a safe name of one component.
        FUZZ_CHECK(!IsBareFileName(file->name) || file->name.find_first_of(L"\\/") == std::wstring::npos);
    }
    std::unique_ptr<SFingerDelItem> removal = ParseDeleteEntry(value);
    if (removal) {
        FUZZ_CHECK(IsInstallRelativeName(removal->name));
        FUZZ_CHECK(removal->ignoreFailure == 0 || removal->ignoreFailure == 1);
    }
    return 0;
}

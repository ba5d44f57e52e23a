// A downloaded UpdateInfo.ini: the keys the update engine reads through the
// macro-expanding reader, and the finger model built from its job sections
// and compared with a small installation in the scratch directory.
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "manifest/finger_file.h"
#include "manifest/finger_item.h"
#include "manifest/ini_profile.h"
#include "manifest/install_name.h"
#include "manifest/qk_update_ini.h"
#include "util/file_util.h"

namespace {

const int64_t kInstalledTime = 1500000000;

// The installation the model is compared with; seeds name these files with
// their sizes, times and check values, so the calculation reads them.
const std::pair<const wchar_t*, const char*> kInstalledFiles[] = {
    {L"ZOLTAMeeting.exe", "MZ stand-in"},
    {L"a.dll", "abc"},  // MD5 900150983CD24FB0D6963F7D28E17F72
    {L"sub\\b.dat", "hello\n"},
    {L"client.ini", "[VER]\r\nVer=1.2.3.4\r\n"},
};

void Install(const std::wstring& dir) {
    for (const auto& file : kInstalledFiles) {
        const std::wstring path = dir + file.first;
        FUZZ_CHECK(MakeDirs(path.substr(0, path.rfind(L'\\'))));
        FUZZ_CHECK(WriteWholeFile(path, file.second));
        FUZZ_CHECK(SetFileTimes(path, kInstalledTime));
    }
}

// Every section below the root is reached once, and every entry it lists is
// a section of the tree or an entry of the model.
void CheckTree(const SFingerSection& section, const std::set<const SFingerItem*>& entries,
               std::set<const SFingerSection*>& seen) {
    FUZZ_CHECK(seen.insert(&section).second);
    for (const SFingerItem* item : section.items) {
        if (item->kind == kFingerSection) {
            const auto* child = static_cast<const SFingerSection*>(item);
            FUZZ_CHECK(child->parent == &section);
            CheckTree(*child, entries, seen);
        } else {
            FUZZ_CHECK(entries.count(item) == 1);
        }
    }
}

void CheckModel(const CFingerFile& finger) {
    const FingerItemList& all = finger.GetAllItems();
    std::set<const SFingerItem*> entries(all.begin(), all.end());
    FUZZ_CHECK(entries.size() == all.size());
    // A file entry is either current or pending in the manifest's directory;
    // a delete entry is pending or, with its file gone already, done.
    std::set<const SFingerItem*> sorted;
    for (const SFingerItem* item : finger.GetCurrentItems()) {
        FUZZ_CHECK(item->kind == kFingerFile && entries.count(item) == 1 && sorted.insert(item).second);
    }
    for (const SFingerItem* item : finger.GetPendingItems()) {
        FUZZ_CHECK(entries.count(item) == 1 && sorted.insert(item).second);
    }
    for (const SFingerItem* item : all) FUZZ_CHECK(item->kind == kFingerDelete || sorted.count(item) == 1);
    std::set<std::pair<int, std::wstring>> names;
    for (const SFingerItem* item : all) {
        FUZZ_CHECK(item->kind == kFingerFile || item->kind == kFingerDelete);
        // No entry may reach outside the installation.
        FUZZ_CHECK(IsInstallRelativeName(item->name));
        FUZZ_CHECK(names.insert({item->kind, FoldFileName(item->name)}).second);
    }
    if (finger.GetRoot() != nullptr) {
        std::set<const SFingerSection*> seen;
        CheckTree(*finger.GetRoot(), entries, seen);
    }
    // The update calculation takes the pending entries out of the whole list.
    FingerItemList rest = all;
    FingerItemList removed;
    CFingerFile::RemoveListed(rest, finger.GetPendingItems(), &removed);
    FUZZ_CHECK(removed.size() == finger.GetPendingItems().size());
    FUZZ_CHECK(rest.size() + removed.size() == all.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OpenFuzzTraceLog();
    ClearFuzzScratchDir();
    const std::wstring& dir = FuzzScratchDir();
    Install(dir);
    const std::wstring path = dir + L"UpdateInfo.ini";
    FUZZ_CHECK(WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data), size)));

    CQKUpdateIni ini(dir, L"ZOLTA");
    ini.SetFile(path);
    ini.SetMacro(kMacroOrgParam, L"-MEETTYPE=MAIN\n-SPVER=1.2.3.4");
    const std::wstring main = ini.GetMainSection();
    ReadProfileString(L"VER", L"Ver", L"0.0.0", 32, path);
    ini.GetString(main, L"JobString", L"", 32);
    const std::wstring updater = ini.GetString(main, L"UpdateExe", L"", 256);
    FUZZ_CHECK(!IsBareFileName(updater) || IsInstallRelativeName(updater));
    ini.GetString(L"VER", L"AllowDowngrade", L"", 8);
    for (const wchar_t* command : {L"StopCmd", L"CheckCmd", L"SetupCmd", L"StartCmd"}) {
        ini.GetString(main, command, nullptr, 512);
    }

    CFingerFile::SetNoUpdateList(L"");
    CFingerFile finger;
    if (finger.LoadFinger(ini, main)) {
        FUZZ_CHECK(finger.IsLoaded());
        CheckModel(finger);
    } else {
        FUZZ_CHECK(!finger.IsLoaded() && finger.GetAllItems().empty() && finger.GetRoot() == nullptr);
    }
    return 0;
}

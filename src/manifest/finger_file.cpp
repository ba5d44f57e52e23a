#include "manifest/finger_file.h"

#include <deque>

#include "diag/trace_log.h"
#include "manifest/cfg_file_lists.h"
#include "manifest/install_name.h"
#include "manifest/job_fields.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_util.h"
#include "util/system_util.h"

namespace {

const wchar_t kJobKeyPrefix[] = L"Job_";
const size_t kJobKeyPrefixLength = 4;
const wchar_t kErrSection[] = L"err";
const wchar_t kIgnoreSection[] = L"ignore";

// Set by the update worker before it loads a model, read while it calculates.
std::wstring& NoUpdateList() {
    static std::wstring list;
    return list;
}

std::string Narrow(const std::wstring& text) { return WideToAnsi(text); }

// Has the ini file answer one load's many section reads from one reading of
// the file, and read it anew afterwards as before.
class ContentsKeptForLoad {
public:
    explicit ContentsKeptForLoad(CIniFile& ini) : ini_(ini), keptHere_(!ini.KeepsContents() && ini.KeepContents()) {}
    ~ContentsKeptForLoad() {
        if (keptHere_) ini_.ForgetContents();
    }
    ContentsKeptForLoad(const ContentsKeptForLoad&) = delete;
    ContentsKeptForLoad& operator=(const ContentsKeptForLoad&) = delete;

private:
    CIniFile& ini_;
    bool keptHere_;
};

std::pair<int, std::wstring> KeyOf(const SFingerItem& item) { return {item.kind, FoldFileName(item.name)}; }

}  // namespace

bool CFingerFile::LoadFinger(CIniFile& ini, const std::wstring& rootSection) {
    Clear();
    ini_ = &ini;
    const std::wstring& file = ini.GetFile();
    if (!FileExists(file)) {
        DownLogErr("finger file notexist! (file:%s)", Narrow(file).c_str());
        return false;
    }
    const ContentsKeptForLoad kept(ini);
    if (!DealSection(rootSection, nullptr)) {
        Clear();
        return false;
    }
    std::wstring directory;
    SplitModulePath(file, &directory, nullptr);
    CopyItems(all_, pending_);
    CalcUpdate(directory, pending_, &current_);
    loaded_ = 1;
    return true;
}

void CFingerFile::Clear() {
    loaded_ = 0;
    ini_ = nullptr;
    root_ = nullptr;
    current_.clear();
    pending_.clear();
    all_.clear();
    byName_.clear();
    sections_.clear();
    items_.clear();
    openSections_.clear();
    sectionWalks_ = 0;
}

SFingerItem* CFingerFile::AddItem(std::unique_ptr<SFingerItem> item, SFingerSection& section) {
    auto key = KeyOf(*item);
    auto found = byName_.find(key);
    SFingerItem* entry;
    if (found != byName_.end()) {
        entry = found->second;
    } else {
        entry = item.get();
        items_.push_back(std::move(item));
        all_.push_back(entry);
        byName_.emplace(std::move(key), entry);
    }
    section.items.push_back(entry);
    return entry;
}

bool CFingerFile::DealSection(const std::wstring& name, SFingerSection* parent) {
    if (name == kErrSection) {
        DownLogErr("DealSectionJobs failed! (sec:'err')");
        return false;
    }
    if (name == kIgnoreSection) return true;
    // Sections made while this one's jobs run are its descendants: on failure
    // they go with it.
    const size_t sectionsBefore = sections_.size();
    sections_.push_back(std::make_unique<SFingerSection>(name, parent));
    SFingerSection* section = sections_.back().get();
    if (!DealSectionJobs(name, *section)) {
        sections_.resize(sectionsBefore);
        return false;
    }
    if (parent != nullptr) {
        parent->items.push_back(section);
    } else {
        root_ = section;
    }
    return true;
}

bool CFingerFile::DealSectionJobs(const std::wstring& name, SFingerSection& section) {
    if (name == kErrSection) {
        DownLogErr("DealSectionJobs failed! (sec:'err')");
        return false;
    }
    if (name == kIgnoreSection) return true;
    for (const std::wstring& open : openSections_) {
        if (SameFileName(open, name)) {
            DownLogErr("DealSectionJobs failed! (sec:'%s' includes itself)", Narrow(name).c_str());
            return false;
        }
    }
    if (openSections_.size() >= kMaxSectionDepth) {
        DownLogErr("DealSectionJobs failed! (sec:'%s' nested deeper than %d sections)", Narrow(name).c_str(),
                   static_cast<int>(kMaxSectionDepth));
        return false;
    }
    if (++sectionWalks_ > kMaxSectionWalks) {
        DownLogErr("DealSectionJobs failed! (sec:'%s', more than %d sections walked)", Narrow(name).c_str(),
                   kMaxSectionWalks);
        return false;
    }
    SIniSection jobs;
    if (!ini_->GetSection(name, jobs)) {
        DownLogErr("Get ini data failed! (errCode:%d, file:%s section:%s)", ini_->GetLastErrorCode(),
                   Narrow(ini_->GetFile()).c_str(), Narrow(name).c_str());
        return false;
    }
    openSections_.push_back(name);
    bool ok = true;
    for (const SIniEntry& entry : jobs.entries) {
        if (entry.key.compare(0, kJobKeyPrefixLength, kJobKeyPrefix) != 0) continue;
        if (!DealJob(entry.value, section)) {
            DownLogErr("DealSectionJobs failed! (key:%ws, value:%ws)", entry.key.c_str(), entry.value.c_str());
            ok = false;
            break;
        }
    }
    openSections_.pop_back();
    return ok;
}

bool CFingerFile::DealJob(const std::wstring& value, SFingerSection& section) {
    const std::wstring word = JobWordOf(value);
    if (word == L"dlfl") {
        std::unique_ptr<SFileTransItem> item = ParseFileEntry(value);
        if (!item) return false;
        AddItem(std::move(item), section);
        return true;
    }
    if (word == L"rmfl") {
        std::unique_ptr<SFingerDelItem> item = ParseDeleteEntry(value);
        if (!item) return false;
        AddItem(std::move(item), section);
        return true;
    }
    if (word == L"swch") return DealSwitchJob(value, section);
    if (word == L"sub") {
        std::wstring name;
        return GetDataFromItemStr(value, 1, name) && DealSubSection(name, section);
    }
    return word == L"ckfl";
}

bool CFingerFile::DealSwitchJob(const std::wstring& value, SFingerSection& section) {
    std::wstring form;
    std::wstring argument;
    if (!GetDataFromItemStr(value, 1, form) || !GetDataFromItemStr(value, 2, argument)) return false;
    if (form == L"var") return DealSectionJobs(argument, section);
    if (form != L"ckfl") return false;
    const std::wstring selector = (FileExists(argument) ? L"1" : L"0") + std::wstring(L":");
    std::wstring field;
    for (int index = 2; GetDataFromItemStr(value, index, field); ++index) {
        if (field.empty()) continue;
        if (field.compare(0, selector.size(), selector) == 0 || field[0] == L':') {
            return DealSubSection(TrimBlanks(field.substr(field.find(L':') + 1)), section);
        }
    }
    return true;
}

bool CFingerFile::DealSubSection(const std::wstring& name, SFingerSection& section) {
    if (name.empty()) return false;
    const std::wstring type = TrimBlanks(ini_->GetString(name, L"SectionType", nullptr, 64));
    if (type.empty() || type == L"files") return DealSectionJobs(name, section);
    return DealSection(name, &section);
}

void CFingerFile::CopyItems(const FingerItemList& source, FingerItemList& destination) {
    destination.insert(destination.end(), source.begin(), source.end());
}

void CFingerFile::CalcUpdate(const std::wstring& directory, FingerItemList& list, FingerItemList* current) {
    auto kept = list.begin();
    for (SFingerItem* item : list) {
        bool done = false;
        if (item->kind == kFingerFile) {
            // Only file entries are of kind kFingerFile.
            done = IsFileCurrent(directory, static_cast<const SFileItem&>(*item));
            if (done && current != nullptr) current->push_back(item);
        } else if (item->kind == kFingerDelete) {
            done = !FileExists(directory + item->name);
        }
        if (!done) *kept++ = item;
    }
    list.erase(kept, list.end());
}

bool CFingerFile::IsFileCurrent(const std::wstring& directory, const SFileItem& item) {
    const std::wstring& noUpdate = NoUpdateList();
    if (!noUpdate.empty() && ListNamesFile(noUpdate, item.name)) {
        DownLogInf("file cfg to unupdate! (file:%s)", Narrow(item.name).c_str());
        return true;
    }
    const std::wstring path = directory + item.name;
    const std::string narrowPath = Narrow(path);
    if (!FileExists(path)) {
        DownLogDbg("file notexist! (file:%s)", narrowPath.c_str());
        return false;
    }
    FileFindData data;
    if (!FindFile(path, data)) {
        DownLogWar("Get fileInfo failed! (file:%s)", narrowPath.c_str());
        return false;
    }
    // Sizes compare whole, so a file of 4 GiB or more never passes for a
    // small one; times in their low 32 bits, as the manifest holds them.
    const auto fileSize = static_cast<int64_t>(data.size);
    if (fileSize != item.size) {
        DownLogDbg("fileSize mismatch(fileSize=%lld, itemSize=%d)! (file:%s)", static_cast<long long>(fileSize),
                   item.size, narrowPath.c_str());
        return false;
    }
    if (static_cast<int32_t>(static_cast<uint32_t>(data.writeTime)) == item.time) return true;
    std::wstring value;
    if (!item.ComputeCheckValue(path, value)) {
        DownLogWar("Calculate file check value err! (file:%s)", narrowPath.c_str());
        return false;
    }
    const int code = item.CompareWithEntry(fileSize, &value);
    if (code != kCheckMatch) {
        DownLogDbg("file checkValue mismatch(%d), (new:%s!=svr:%s)! (file:%s)", code, Narrow(value).c_str(),
                   Narrow(item.checkValue).c_str(), narrowPath.c_str());
        return false;
    }
    if (item.time != 0 && !SetFileTimes(path, item.time)) {
        DownLogWar("Update FileTime failed! (err:%d, file:%s)", LastSystemError(), narrowPath.c_str());
    }
    return true;
}

void CFingerFile::RemoveListed(FingerItemList& list, const FingerItemList& removals, FingerItemList* removed) {
    // Positions of list's entries by kind and folded name, first first, so
    // each removal takes the first entry not yet taken.
    std::map<std::pair<int, std::wstring>, std::deque<size_t>> positions;
    for (size_t i = 0; i < list.size(); ++i) positions[KeyOf(*list[i])].push_back(i);
    std::vector<bool> taken(list.size(), false);
    for (const SFingerItem* removal : removals) {
        auto found = positions.find(KeyOf(*removal));
        if (found == positions.end() || found->second.empty()) continue;
        const size_t at = found->second.front();
        found->second.pop_front();
        taken[at] = true;
        if (removed != nullptr) removed->push_back(list[at]);
    }
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (!taken[i]) list[kept++] = list[i];
    }
    list.resize(kept);
}

void CFingerFile::SetNoUpdateList(const std::wstring& text) {
    std::wstring list = text;
    while (!list.empty() && list.back() == L';') list.pop_back();
    NoUpdateList() = list + L";";
}

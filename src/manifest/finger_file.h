// The finger model: the manifest of one client version, loaded from the job
// sections of its update-info file (qk_update_ini.h), and the update
// calculation that compares its file entries with a directory.
//
// Jobs (the values of keys beginning with "Job_", in file order):
//   dlfl;<eight file-entry fields>   a file to install (ParseFileEntry)
//   rmfl;<name>[;err]                a file to delete (ParseDeleteEntry)
//   sub;<section>                    process another section: its jobs are
//                                    merged in when its "SectionType" is empty
//                                    or "files"; else it becomes a child section
//   swch;var;<section>               merge the section's jobs in
//   swch;ckfl;<path>;<d>:<section>;..  with d 1 when the path exists, else 0,
//                                    the first case starting "<d>:" or ":"
//                                    names a section processed as by "sub";
//                                    no matching case: nothing happens
//   ckfl                             nothing
// The section "err" always fails, "ignore" always succeeds and reads nothing.
// The first job that fails fails its section, every enclosing one and the load.
// So does a section nested more than kMaxSectionDepth deep, or walked after
// kMaxSectionWalks sections were: such a manifest names its sections over and
// over, which would otherwise take exponential time or the worker's stack.
// A load reads the ini file once, however many sections it reads from it.
//
// Used by the update worker's thread only; the process-wide no-update list
// is set by that thread before it loads a model.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "manifest/finger_item.h"
#include "manifest/ini_file.h"

class CFingerFile {
public:
    // A manifest nests a few sections and names each a few times; these are
    // far beyond that.
    static constexpr size_t kMaxSectionDepth = 64;
    static constexpr int kMaxSectionWalks = 1024;

    CFingerFile() = default;
    ~CFingerFile() = default;
    CFingerFile(const CFingerFile&) = delete;
    CFingerFile& operator=(const CFingerFile&) = delete;

    // Clears the model, then builds it from the section rootSection of ini
    // and its jobs, and sorts its entries into those current in the ini
    // file's own directory and those still pending there. Returns false,
    // model empty, when the ini file does not exist or a job fails (each
    // logged). The model keeps a pointer to ini until it is cleared.
    bool LoadFinger(CIniFile& ini, const std::wstring& rootSection);
    // Destroys every section and entry and empties the lists; not loaded.
    void Clear();

    // Takes over item, or destroys it when an entry of the same kind and a
    // name equal ignoring case exists already, and appends the model's entry
    // to section's list. Returns the model's entry.
    SFingerItem* AddItem(std::unique_ptr<SFingerItem> item, SFingerSection& section);

    bool IsLoaded() const { return loaded_ != 0; }
    // Null before a load, or when the root section is "ignore".
    SFingerSection* GetRoot() const { return root_; }
    // Every entry of the manifest, each once, in the order the jobs named them.
    const FingerItemList& GetAllItems() const { return all_; }
    // The entries that were current in the manifest's own directory.
    const FingerItemList& GetCurrentItems() const { return current_; }
    // The entries that still need work in the manifest's own directory.
    const FingerItemList& GetPendingItems() const { return pending_; }

    // Appends every pointer of source to destination.
    static void CopyItems(const FingerItemList& source, FingerItemList& destination);
    // Removes from list, keeping the order of the rest, the file entries that
    // are current in directory (appended to current when given) and the
    // delete entries whose file directory lacks already. directory ends in '\'.
    static void CalcUpdate(const std::wstring& directory, FingerItemList& list, FingerItemList* current);
    // True when directory + the entry's name is current: named in the
    // no-update list; or of the entry's size and time; or of its size and
    // check value, in which case the file is given the entry's time so the
    // next comparison need not read it. False when the file is missing,
    // cannot be examined or differs (each logged).
    static bool IsFileCurrent(const std::wstring& directory, const SFileItem& item);
    // For each entry of removals, removes from list the first entry of the
    // same kind with a name equal ignoring case, appending it to removed
    // when given.
    static void RemoveListed(FingerItemList& list, const FingerItemList& removals, FingerItemList* removed);
    // Sets the process-wide no-update list from the "noupdateFiles" text of
    // testCfg.ini: its trailing ';' removed, one ';' appended. Until it is
    // set, no file is kept from update.
    static void SetNoUpdateList(const std::wstring& text);

private:
    bool DealSection(const std::wstring& name, SFingerSection* parent);
    bool DealSectionJobs(const std::wstring& name, SFingerSection& section);
    bool DealJob(const std::wstring& value, SFingerSection& section);
    bool DealSwitchJob(const std::wstring& value, SFingerSection& section);
    // Processes the section named as by a "sub" job: merged in or as a child.
    bool DealSubSection(const std::wstring& name, SFingerSection& section);

    int loaded_ = 0;
    CIniFile* ini_ = nullptr;  // not owned
    SFingerSection* root_ = nullptr;
    std::vector<std::unique_ptr<SFingerSection>> sections_;  // the root and every section below it
    std::vector<std::unique_ptr<SFingerItem>> items_;        // owns the entries of all_
    FingerItemList all_;
    // all_ by kind and folded name (FoldFileName), for AddItem.
    std::map<std::pair<int, std::wstring>, SFingerItem*> byName_;
    FingerItemList current_;
    FingerItemList pending_;
    // Sections whose jobs are being processed, outermost first, so a section
    // that names itself, directly or through others, fails instead of
    // recursing without end.
    std::vector<std::wstring> openSections_;
    // Sections whose jobs this load has walked, for kMaxSectionWalks.
    int sectionWalks_ = 0;
};

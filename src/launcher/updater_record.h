// The working updater as the shared memory "QKFileDownload" records it. Its
// first 32-bit word is the process id, as every updater writes it; the
// reserved bytes after it hold the same id again (bytes 4-7) and that
// process's creation time (bytes 8-15, 100 ns units since 1601), so that an
// id the system has since given to another program is told from the
// updater that registered it. An updater that keeps no time leaves the
// copy of the id different from the id.
//
// Pure data work on a block the caller guards ("QKFileDownloadMut").
#pragma once

#include <cstdint>
#include <string>

constexpr unsigned kUpdaterRecordSize = 16;

struct SUpdaterRecord {
    uint32_t processId = 0;     // 0: no updater works
    bool timed = false;         // creationTime belongs to processId
    uint64_t creationTime = 0;
};

// Reads the record from a block of at least kUpdaterRecordSize bytes.
SUpdaterRecord ReadUpdaterRecord(const void* block);
// Writes the id with its creation time; an id of 0 clears the record.
void WriteUpdaterRecord(void* block, uint32_t processId, uint64_t creationTime);

// True when the running process that now has the record's id is the updater
// that the record names: of the recorded creation time; or, for a record
// without a time, running a program of one of the updaters' file names
// (ownName, or the older copy "VeltranePrepair.exe"), compared ignoring case.
bool IsRecordedUpdater(const SUpdaterRecord& record, uint64_t creationTime, const std::wstring& imageName,
                       const std::wstring& ownName);

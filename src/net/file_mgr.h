// One file being downloaded: its local file and the record of which byte
// ranges are still missing and which connections work on them. The download
// manager asks it for the next range for an idle connection, passes every
// received block of data through it into the file, and asks whether the file
// is complete. One connection starts with the whole file; once the size is
// known and the server honours ranges, 20480-byte pieces are cut off the tail
// of the first open range that has more than that left.
//
// Offsets are signed 32-bit, as in the transfer protocol: files of 2 GB or
// more are not supported.
//
// Threading: no lock; called only on the download manager's thread.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "net/conn_record.h"
#include "util/binary_file.h"

// One range of the file. A length of -1 runs to the end of the file.
struct SFileBlock {
    int32_t start = 0;
    int32_t length = -1;
    int32_t done = 0;  // bytes written, counted from start

    // Where the next byte of this block comes from.
    int32_t Position() const { return start + done; }
    // -1 for an open length.
    int32_t Remaining() const { return length < 0 ? -1 : length - done; }
    int32_t End() const { return start + length; }
    bool IsFullFile() const { return start == 0 && length == -1; }
};

// One file transfer as the caller asked for it.
struct netTask {
    virtual ~netTask() = default;

    int32_t fileID = -1;
    std::string svrFileName;  // path on the server
    std::string locFileName;  // local path, ANSI code page, '\' separators
    std::string postData;     // request body of transfers from offset 0; usually empty
};

class FileMgr : public netTask {
public:
    static constexpr int32_t kPieceSize = 20480;
    static constexpr int32_t kProbeSize = 100;

    // Results of WriteBlockData.
    enum WriteResult {
        kWriteOk = 0,
        kWriteNotOpen = 1,    // the writer's block is no longer open, or the data lies past the end:
                              // abort that connection
        kWriteFileError = 2,  // seek or write failed
    };

    explicit FileMgr(bool useHttpRange);
    // Deletes the local file when it is still open: an unfinished download.
    ~FileMgr() override;
    FileMgr(const FileMgr&) = delete;
    FileMgr& operator=(const FileMgr&) = delete;

    // Creates the local file's directory tree and the file itself (emptied),
    // and starts the bookkeeping over with one full-file block. Returns false
    // after an error line when the path has no directory, the directory
    // cannot be made or the file cannot be created.
    bool OpenLocalFile();
    // Closes the local file if open, deleting it when deleteFile is set.
    void CloseLocalFile(bool deleteFile);

    // The first block not yet complete, or null.
    SFileBlock* FirstUnfinishedBlock();
    // The block for an idle connection when the file may be fetched in ranges:
    // a block nobody works on, else a piece cut off the tail of an open range,
    // else the first open block again (the last pieces go to several
    // connections at once, the first to finish wins), else the 100-byte probe
    // at the end of the file. Returns null when there is nothing to give.
    SFileBlock* NextTask();
    // Records that record works on block; does nothing when either is null or
    // the block is complete.
    void AssignTask(SFileBlock* block, SConnRecord* record);
    // Takes record off its block; it is idle afterwards.
    void ReleaseTask(SConnRecord* record);
    // Writes length bytes at the absolute position and counts them into the
    // record's block; with the size known, bytes past it are dropped.
    // Returns kWriteOk, kWriteNotOpen (nothing written) when the record's
    // block is complete or no longer lists the record, or the write starts at
    // or past the known size, or kWriteFileError when the seek or write failed.
    int WriteBlockData(SConnRecord* record, const char* data, int32_t position, int32_t length);
    // Retires every open block that a write of length bytes at position has
    // completed, aborting the connections still working on them.
    void CompleteCoveredBlocks(int32_t position, int32_t length);

    // True when no local file is open, or when the size is known and no byte
    // is missing.
    bool IsComplete() const;
    // Bytes still missing; -1 while the size is unknown.
    int32_t MissingBytes() const;
    // Bytes written so far.
    int32_t GetTransforedSize() const;
    // The total size; -1 while unknown.
    int32_t GetFileSize() const { return fileSize_; }
    // Sets the total size and cuts a longer local file to it; with widen, an
    // open full-file block gets that length, and is retired (its connections
    // aborted) if already done.
    void SetFileSize(int32_t size, bool widen);

    bool UseHttpRange() const { return useHttpRange_; }

private:
    struct SUnfinished {
        SFileBlock* block;
        std::list<SConnRecord*> conns;  // connections working on the block
    };

    std::list<SUnfinished>::iterator FindUnfinished(const SFileBlock* block);
    SFileBlock* AppendBlock(int32_t start, int32_t length);
    static void AbortAll(const SUnfinished& entry);

    std::list<SFileBlock> blocks_;  // stable addresses; appended while open
    std::list<SUnfinished> unfinished_;  // in order of creation
    const bool useHttpRange_;
    UniqueFileStream file_;
    int32_t fileSize_ = -1;
};

// One file being downloaded: its local file and the record of which byte
// ranges are still missing, which connections work on them, and which
// server wrote which bytes. The download manager cuts the open ranges for its
// idle connections (work_split.h says where), passes every received block of
// data through it into the file, and asks whether the file is complete. One
// connection starts with the whole file; a block is cut in two when another
// connection takes over its tail.
//
// A block is written only where it still lacks bytes and never past its end,
// so two connections on one block (the last one of a file, fetched twice to
// finish sooner) never write the same byte, and the sources say exactly who
// wrote each byte.
//
// Offsets are signed 32-bit, as in the transfer protocol: files of 2 GB or
// more are not supported.
//
// Threading: no lock; called only on the download manager's thread.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "net/conn_record.h"
#include "net/mutil_transfer.h"
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
    // Results of WriteBlockData.
    enum WriteResult {
        kWriteOk = 0,
        kWriteNotOpen = 1,    // the writer's block is no longer open, or the data skips bytes of it:
                              // nothing written; abort that connection
        kWriteFileError = 2,  // seek or write failed
        kWriteOverLimit = 3,  // the data runs past the size limit: what lay within was written
    };

    // An open block and the connections working on it.
    struct SUnfinished {
        SFileBlock* block;
        std::list<SConnRecord*> conns;
    };

    explicit FileMgr(bool useHttpRange);
    // Deletes the local file when it is still open: an unfinished download.
    ~FileMgr() override;
    FileMgr(const FileMgr&) = delete;
    FileMgr& operator=(const FileMgr&) = delete;

    // Creates the local file's directory tree and the file itself (emptied),
    // and starts the bookkeeping over with one full-file block and no size.
    // Returns false after an error line when the path has no directory, the
    // directory cannot be made or the file cannot be created.
    bool OpenLocalFile();
    // Closes the local file if open, deleting it when deleteFile is set.
    void CloseLocalFile(bool deleteFile);
    // The most bytes of this file any server may send; -1 for no bound.
    void SetSizeLimit(int32_t limit) { sizeLimit_ = limit; }
    int32_t SizeLimit() const { return sizeLimit_; }

    // The first block not yet complete, or null.
    SFileBlock* FirstUnfinishedBlock();
    // The open blocks in order of creation.
    const std::list<SUnfinished>& Unfinished() const { return unfinished_; }
    // Cuts an open block of known length at the offset at, which must lie
    // after its position and before its end: the part from at becomes a new
    // open block nobody works on. Returns it, or null (nothing cut) for an
    // offset outside those bounds.
    SFileBlock* SplitBlock(SFileBlock* block, int32_t at);
    // Records that record works on block for this file; does nothing when
    // either is null or the block is complete.
    void AssignTask(SFileBlock* block, SConnRecord* record);
    // Takes record off its block; it is idle afterwards.
    void ReleaseTask(SConnRecord* record);
    // Writes what record's block still lacks of length bytes at the absolute
    // position, never past the block's end, the known size or the size limit,
    // and counts it into the block and the sources as the record's server's.
    // written is the number of bytes that went into the file. Returns
    // kWriteOk; kWriteNotOpen when the block is complete or no longer lists
    // the record, or the data starts after the block's position; kWriteOverLimit
    // when the data runs past the size limit; kWriteFileError when the seek or
    // write failed.
    int WriteBlockData(SConnRecord* record, const char* data, int32_t position, int32_t length, int32_t& written);
    // Takes a complete block off the open list. Returns the records that
    // worked on it, whose current block is cleared.
    std::list<SConnRecord*> RetireBlock(SFileBlock* block);

    // True when no local file is open, or when the size is known and no byte
    // is missing.
    bool IsComplete() const;
    // Bytes still missing; -1 while the size is unknown.
    int32_t MissingBytes() const;
    // Bytes written so far.
    int32_t GetTransforedSize() const;
    // The total size; -1 while unknown.
    int32_t GetFileSize() const { return fileSize_; }
    // Forgets what was written while the size is unknown, so that it is
    // fetched again from the start; does nothing once the size is known.
    void RestartWholeFile();
    // Sets the total size and cuts a longer local file to it; an open
    // full-file block gets that length, and is retired (its connections
    // aborted) if already done.
    void SetFileSize(int32_t size);
    // Which server wrote which bytes, in the order the ranges began.
    const std::vector<SServedRange>& Sources() const { return sources_; }

    bool UseHttpRange() const { return useHttpRange_; }

private:
    std::list<SUnfinished>::iterator FindUnfinished(const SFileBlock* block);
    SFileBlock* AppendBlock(int32_t start, int32_t length);
    void AddSource(int32_t serverNo, int32_t start, int32_t length);

    std::list<SFileBlock> blocks_;  // stable addresses; appended while open
    std::list<SUnfinished> unfinished_;  // in order of creation
    std::vector<SServedRange> sources_;
    std::map<int32_t, size_t> sourceEnds_;  // end offset to the index of the source ending there
    const bool useHttpRange_;
    UniqueFileStream file_;
    int32_t fileSize_ = -1;
    int32_t sizeLimit_ = -1;
};

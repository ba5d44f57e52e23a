#include "net/file_mgr.h"

#include <algorithm>
#include <iterator>
#include <cstdio>

#include "diag/trace_log.h"
#include "util/code_page.h"
#include "util/file_util.h"

namespace {

std::string TrimSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

FileMgr::FileMgr(bool useHttpRange) : useHttpRange_(useHttpRange) {}

FileMgr::~FileMgr() { CloseLocalFile(true); }

bool FileMgr::OpenLocalFile() {
    std::string directory;
    std::string name;
    size_t split = locFileName.rfind('\\');
    if (split == std::string::npos) split = locFileName.rfind('/');
    if (split != std::string::npos) {
        directory = TrimSpaces(locFileName.substr(0, split + 1));
        name = locFileName.substr(split + 1);
    }
    if (directory.empty()) {
        DownLogErr("local path parse fail[localpath=%s][path=%s][name=%s]", locFileName.c_str(), directory.c_str(),
                   name.c_str());
        return false;
    }
    if (!MakeDirs(AnsiToWide(directory))) {
        DownLogErr("local dir create fail[localpath=%s][path=%s]", locFileName.c_str(), directory.c_str());
        return false;
    }
    file_ = OpenForBinaryWrite(AnsiToWide(locFileName));
    if (!file_) {
        DownLogErr("local file create fail[dest:%s]", locFileName.c_str());
        return false;
    }
    // Unbuffered, so that a full disk fails the write that meets it rather
    // than the close after the download.
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    fileSize_ = -1;
    unfinished_.clear();
    blocks_.clear();
    sources_.clear();
    sourceEnds_.clear();
    AppendBlock(0, -1);
    return true;
}

void FileMgr::CloseLocalFile(bool deleteFile) {
    if (!file_) return;
    file_.reset();
    if (deleteFile) DeleteFileRetry(AnsiToWide(locFileName), false);
}

SFileBlock* FileMgr::FirstUnfinishedBlock() { return unfinished_.empty() ? nullptr : unfinished_.front().block; }

SFileBlock* FileMgr::SplitBlock(SFileBlock* block, int32_t at) {
    if (block == nullptr || block->length < 0 || at <= block->Position() || at >= block->End()) return nullptr;
    if (FindUnfinished(block) == unfinished_.end()) return nullptr;
    const int32_t end = block->End();
    block->length = at - block->start;
    return AppendBlock(at, end - at);
}

void FileMgr::AssignTask(SFileBlock* block, SConnRecord* record) {
    if (block == nullptr || record == nullptr) return;
    auto entry = FindUnfinished(block);
    if (entry == unfinished_.end()) return;
    entry->conns.push_back(record);
    record->curBlock = block;
}

void FileMgr::ReleaseTask(SConnRecord* record) {
    if (record->curBlock == nullptr) return;
    auto entry = FindUnfinished(record->curBlock);
    if (entry != unfinished_.end()) entry->conns.remove(record);
    record->curBlock = nullptr;
}

int FileMgr::WriteBlockData(SConnRecord* record, const char* data, int32_t position, int32_t length,
                            int32_t& written) {
    written = 0;
    auto entry = FindUnfinished(record->curBlock);
    if (entry == unfinished_.end() ||
        std::find(entry->conns.begin(), entry->conns.end(), record) == entry->conns.end()) {
        return kWriteNotOpen;
    }
    SFileBlock* block = entry->block;
    // Data always follows on from what its request brought before; bytes
    // after a gap would leave a hole in the block.
    if (position > block->Position()) return kWriteNotOpen;
    int result = kWriteOk;
    int64_t to = static_cast<int64_t>(position) + length;
    if (sizeLimit_ >= 0 && to > sizeLimit_) {
        to = sizeLimit_;
        result = kWriteOverLimit;
    }
    // The file ends at its size and the block at its end, whatever a server
    // sends beyond them; bytes the block already has are not written again.
    if (block->length >= 0) {
        to = std::min<int64_t>(to, block->End());
    } else if (fileSize_ >= 0) {
        to = std::min<int64_t>(to, fileSize_);
    }
    const int32_t from = block->Position();
    if (to <= from) return result;
    const size_t count = static_cast<size_t>(to - from);
    if (!file_ || std::fseek(file_.get(), from, SEEK_SET) != 0 ||
        std::fwrite(data + (from - position), 1, count, file_.get()) != count) {
        return kWriteFileError;
    }
    block->done = static_cast<int32_t>(to) - block->start;
    written = static_cast<int32_t>(count);
    AddSource(record->serverNo, from, written);
    return result;
}

std::list<SConnRecord*> FileMgr::RetireBlock(SFileBlock* block) {
    std::list<SConnRecord*> workers;
    auto entry = FindUnfinished(block);
    if (entry == unfinished_.end()) return workers;
    workers.swap(entry->conns);
    for (SConnRecord* record : workers) record->curBlock = nullptr;
    if (block->length >= 0) block->done = block->length;
    unfinished_.erase(entry);
    return workers;
}

bool FileMgr::IsComplete() const {
    if (!file_) return true;
    if (fileSize_ < 0) return false;
    return unfinished_.empty() || MissingBytes() == 0;
}

int32_t FileMgr::MissingBytes() const {
    if (fileSize_ < 0) return -1;
    int32_t missing = 0;
    for (const SUnfinished& entry : unfinished_) {
        const SFileBlock* block = entry.block;
        missing += (block->length < 0 ? fileSize_ : block->length) - block->done;
    }
    return missing;
}

int32_t FileMgr::GetTransforedSize() const {
    if (unfinished_.empty()) return fileSize_;
    if (fileSize_ < 0) {
        if (unfinished_.size() != 1) DownLogWar("GetTransforedSize unfiniBlks(%d)!=1", static_cast<int>(unfinished_.size()));
        return unfinished_.front().block->done;
    }
    return fileSize_ - MissingBytes();
}

void FileMgr::RestartWholeFile() {
    // While the size is unknown, the full-file block is the only one.
    if (fileSize_ >= 0 || unfinished_.empty()) return;
    unfinished_.front().block->done = 0;
    sources_.clear();
    sourceEnds_.clear();
}

void FileMgr::SetFileSize(int32_t size) {
    if (fileSize_ >= 0 && fileSize_ != size) {
        DownLogErr("SetFileSize oldSize=%d, newSize:%d", fileSize_, size);
    } else if (fileSize_ < 0) {
        DownLogDbg("SetFileSize oldSize=%d, newSize:%d", fileSize_, size);
    }
    fileSize_ = size;
    if (fileSize_ < 0) return;
    // Bytes that a server without a length sent past the end before the size
    // was known go.
    if (file_ && !CutStreamFile(file_.get(), fileSize_)) {
        DownLogErr("local file cut fail[dest:%s][size:%d]", locFileName.c_str(), fileSize_);
    }
    for (auto entry = unfinished_.begin(); entry != unfinished_.end();) {
        SFileBlock* block = entry->block;
        if (!block->IsFullFile()) {
            ++entry;
            continue;
        }
        block->length = fileSize_;
        DownLogDbg("fullFileBlk became to: [%d~%d]", block->start, block->length);
        if (block->done >= block->length) {
            const auto next = std::next(entry);
            for (SConnRecord* record : RetireBlock(block)) record->conn->Abort();
            entry = next;
        } else {
            ++entry;
        }
    }
}

std::list<FileMgr::SUnfinished>::iterator FileMgr::FindUnfinished(const SFileBlock* block) {
    return std::find_if(unfinished_.begin(), unfinished_.end(),
                        [block](const SUnfinished& entry) { return entry.block == block; });
}

SFileBlock* FileMgr::AppendBlock(int32_t start, int32_t length) {
    blocks_.push_back(SFileBlock{start, length, 0});
    unfinished_.push_back(SUnfinished{&blocks_.back(), {}});
    return &blocks_.back();
}

void FileMgr::AddSource(int32_t serverNo, int32_t start, int32_t length) {
    auto before = sourceEnds_.find(start);
    if (before != sourceEnds_.end() && sources_[before->second].serverNo == serverNo) {
        const size_t index = before->second;
        sourceEnds_.erase(before);
        sources_[index].length += length;
        sourceEnds_[start + length] = index;
        return;
    }
    sources_.push_back(SServedRange{serverNo, start, length});
    sourceEnds_[start + length] = sources_.size() - 1;
}

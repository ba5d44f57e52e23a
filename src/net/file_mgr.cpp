#include "net/file_mgr.h"

#include <algorithm>
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
    AppendBlock(0, -1);
    return true;
}

void FileMgr::CloseLocalFile(bool deleteFile) {
    if (!file_) return;
    file_.reset();
    if (deleteFile) DeleteFileRetry(AnsiToWide(locFileName), false);
}

SFileBlock* FileMgr::FirstUnfinishedBlock() { return unfinished_.empty() ? nullptr : unfinished_.front().block; }

SFileBlock* FileMgr::NextTask() {
    if (unfinished_.empty()) return nullptr;
    for (const SUnfinished& entry : unfinished_) {
        if (entry.conns.empty()) return entry.block;
    }
    for (const SUnfinished& entry : unfinished_) {
        SFileBlock* block = entry.block;
        if (block->Remaining() > kPieceSize) {
            block->length -= kPieceSize;
            return AppendBlock(block->End(), kPieceSize);
        }
    }
    SFileBlock* first = unfinished_.front().block;
    if (!first->IsFullFile()) return first;
    if (fileSize_ <= 0 || !useHttpRange_) return nullptr;
    // A file shorter than the probe is probed whole.
    const int32_t probeStart = std::max(fileSize_ - kProbeSize, 0);
    return AppendBlock(probeStart, fileSize_ - probeStart);
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

int FileMgr::WriteBlockData(SConnRecord* record, const char* data, int32_t position, int32_t length) {
    auto entry = FindUnfinished(record->curBlock);
    if (entry == unfinished_.end() ||
        std::find(entry->conns.begin(), entry->conns.end(), record) == entry->conns.end()) {
        return kWriteNotOpen;
    }
    // The file ends at its size, whatever a server sends beyond it.
    if (fileSize_ >= 0) {
        if (position >= fileSize_) return kWriteNotOpen;
        length = std::min(length, fileSize_ - position);
    }
    if (!file_ || std::fseek(file_.get(), position, SEEK_SET) != 0 ||
        std::fwrite(data, 1, static_cast<size_t>(length), file_.get()) != static_cast<size_t>(length)) {
        return kWriteFileError;
    }
    SFileBlock* block = entry->block;
    block->done = std::max(block->done, position + length - block->start);
    return kWriteOk;
}

void FileMgr::CompleteCoveredBlocks(int32_t position, int32_t length) {
    const int32_t writeEnd = position + length;
    for (auto entry = unfinished_.begin(); entry != unfinished_.end();) {
        SFileBlock* block = entry->block;
        int32_t blockEnd;
        if (block->length >= 0) {
            blockEnd = block->End();
        } else if (fileSize_ >= 0) {
            blockEnd = fileSize_;
        } else {
            ++entry;
            continue;
        }
        if (block->Position() < position || writeEnd < blockEnd) {
            ++entry;
            continue;
        }
        for (SConnRecord* record : entry->conns) {
            if (record->curBlock == nullptr) continue;
            DownLogDbg("[conn%d] abort by range(%d~%d), curRange:(%d~%d, done:%d)", record->connNo, position, length,
                       record->curBlock->start, record->curBlock->length, record->curBlock->done);
            record->conn->Abort();
        }
        block->done = block->length;
        entry = unfinished_.erase(entry);
    }
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

void FileMgr::SetFileSize(int32_t size, bool widen) {
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
    if (!widen) return;
    for (auto entry = unfinished_.begin(); entry != unfinished_.end();) {
        SFileBlock* block = entry->block;
        if (!block->IsFullFile()) {
            ++entry;
            continue;
        }
        block->length = fileSize_;
        DownLogDbg("fullFileBlk became to: [%d~%d]", block->start, block->length);
        if (block->done >= block->length) {
            AbortAll(*entry);
            entry = unfinished_.erase(entry);
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

void FileMgr::AbortAll(const SUnfinished& entry) {
    for (SConnRecord* record : entry.conns) record->conn->Abort();
}

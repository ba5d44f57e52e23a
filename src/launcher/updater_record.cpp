#include "launcher/updater_record.h"

#include <cstring>

#include "update/update_thread.h"
#include "util/text_util.h"

namespace {

const size_t kIdCopyOffset = 4;
const size_t kTimeOffset = 8;

}  // namespace

SUpdaterRecord ReadUpdaterRecord(const void* block) {
    const unsigned char* bytes = static_cast<const unsigned char*>(block);
    SUpdaterRecord record;
    uint32_t idCopy = 0;
    std::memcpy(&record.processId, bytes, sizeof record.processId);
    std::memcpy(&idCopy, bytes + kIdCopyOffset, sizeof idCopy);
    if (record.processId != 0 && idCopy == record.processId) {
        record.timed = true;
        std::memcpy(&record.creationTime, bytes + kTimeOffset, sizeof record.creationTime);
    }
    return record;
}

void WriteUpdaterRecord(void* block, uint32_t processId, uint64_t creationTime) {
    unsigned char* bytes = static_cast<unsigned char*>(block);
    if (processId == 0) creationTime = 0;
    std::memcpy(bytes, &processId, sizeof processId);
    std::memcpy(bytes + kIdCopyOffset, &processId, sizeof processId);
    std::memcpy(bytes + kTimeOffset, &creationTime, sizeof creationTime);
}

bool IsRecordedUpdater(const SUpdaterRecord& record, uint64_t creationTime, const std::wstring& imageName,
                       const std::wstring& ownName) {
    if (record.timed) return creationTime != 0 && creationTime == record.creationTime;
    return EqualsIgnoringCase(imageName, ownName) || EqualsIgnoringCase(imageName, CUpdateThread::kOldUpdaterName);
}

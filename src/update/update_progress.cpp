#include "update/update_progress.h"

int64_t ProgressSizeOf(int32_t transferSize) { return transferSize < 0 ? kUnknownTransferSize : transferSize; }

int TransferPercent(int64_t done, int64_t total) {
    if (total <= 0 || done <= 0) return 0;
    // A server that sends more than the manifest announced must not push the bar out of its band.
    if (done >= total) return 100;
    return static_cast<int>(done * 100 / total);
}

int ScalePercent(int percent, int low, int high) { return percent * (high - low) / 100 + low; }

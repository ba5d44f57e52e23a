// The arithmetic of the update's progress bar. The worker moves through
// fixed bands of the bar (server queries 0-5, manifest 5-7, self-update check
// 7-13, files 13-90, local update and start 90-100); inside a band it
// publishes the percentage of the band's transfer that is done.
#pragma once

#include <cstdint>

// Bytes a file whose transfer size the manifest does not give counts for.
constexpr int64_t kUnknownTransferSize = 3145728;

// The bytes a file counts for in a transfer's total.
int64_t ProgressSizeOf(int32_t transferSize);
// done * 100 / total, integer division, kept within 0 to 100; 0 when total
// is not above 0.
int TransferPercent(int64_t done, int64_t total);
// The bar position of percent within the band low-high:
// percent * (high - low) / 100 + low, integer arithmetic.
int ScalePercent(int percent, int low, int high);

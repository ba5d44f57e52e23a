// What to do about a downloaded file whose copy failed its check value: it is
// fetched again, first from the mirrors that served none of the failing copy,
// then whole from one mirror at a time in order of measured speed, each
// mirror at most once, until a copy verifies or every mirror has had its
// turn. A copy that one mirror served alone proves that mirror damaged.
//
// Threading: one object per file, used by the update worker's thread only.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "net/mutil_transfer.h"

class CRefetchPlan {
public:
    // Records a failing copy by the servers that wrote it. Returns the mirror
    // proven damaged (the one that served the whole copy alone), or -1 when
    // several served it.
    int32_t CopyFailed(const std::vector<SServedRange>& sources);
    // The servers to fetch the file from next, given every server fastest
    // first: the mirrors that served no failing copy (once), else the
    // fastest that has not served a whole copy yet. Empty when every mirror
    // has had its turn.
    std::vector<int32_t> NextServers(const std::vector<int32_t>& bySpeed);

    // The servers that wrote the last failing copy, in server order.
    const std::set<int32_t>& LastCopyServers() const { return lastCopy_; }

private:
    std::set<int32_t> lastCopy_;
    std::set<int32_t> served_;      // wrote part of some failing copy
    std::set<int32_t> wholeTried_;  // asked for a whole copy alone
    bool untouchedTried_ = false;
};

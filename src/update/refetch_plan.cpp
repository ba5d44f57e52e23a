#include "update/refetch_plan.h"

int32_t CRefetchPlan::CopyFailed(const std::vector<SServedRange>& sources) {
    lastCopy_.clear();
    for (const SServedRange& range : sources) lastCopy_.insert(range.serverNo);
    served_.insert(lastCopy_.begin(), lastCopy_.end());
    if (lastCopy_.size() != 1) return -1;
    wholeTried_.insert(*lastCopy_.begin());
    return *lastCopy_.begin();
}

std::vector<int32_t> CRefetchPlan::NextServers(const std::vector<int32_t>& bySpeed) {
    std::vector<int32_t> next;
    if (!untouchedTried_) {
        untouchedTried_ = true;
        for (int32_t serverNo : bySpeed) {
            if (served_.count(serverNo) == 0) next.push_back(serverNo);
        }
        if (!next.empty()) return next;
    }
    for (int32_t serverNo : bySpeed) {
        if (wholeTried_.insert(serverNo).second) return {serverNo};
    }
    return next;
}

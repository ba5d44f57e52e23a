#include "net/work_split.h"

#include <algorithm>

namespace {

// The rate to reckon with: a measured one, else the other's, else 1.
double Rate(const SConnPace& self, const SConnPace& other) {
    if (self.bytesPerMs > 0) return self.bytesPerMs;
    return other.bytesPerMs > 0 ? other.bytesPerMs : 1.0;
}

int64_t RoundTrip(const SConnPace& self, const SConnPace& other) {
    if (self.roundTripMs >= 0) return self.roundTripMs;
    return std::max<int64_t>(other.roundTripMs, 0);
}

}  // namespace

int32_t StealPoint(int32_t position, int32_t end, const SConnPace& victim, const SConnPace& thief) {
    const double remaining = static_cast<double>(end) - position;
    const double victimRate = Rate(victim, thief);
    const double thiefRate = Rate(thief, victim);
    const double roundTrip = static_cast<double>(RoundTrip(thief, victim));
    // The victim goes on while the thief's request travels: V / rv = rtt + T / rt.
    const double share = (remaining - victimRate * roundTrip) * thiefRate / (victimRate + thiefRate);
    if (share < kMinPieceBytes || share < thiefRate * roundTrip) return -1;
    return end - static_cast<int32_t>(share);
}

int64_t SilentAfterMs(const SConnPace& victim, const SConnPace& thief) {
    return std::max<int64_t>(kSilentMinMs, 3 * std::max(victim.roundTripMs, thief.roundTripMs));
}

bool WorthFetchingBeside(int32_t remaining, const SConnPace& victim, int64_t quietMs, const SConnPace& thief) {
    if (quietMs >= SilentAfterMs(victim, thief)) return true;
    if (remaining < 0 || victim.bytesPerMs <= 0 || thief.bytesPerMs <= 0) return false;
    const double victimMs = remaining / victim.bytesPerMs;
    const double thiefMs = static_cast<double>(RoundTrip(thief, victim)) + remaining / thief.bytesPerMs;
    return thiefMs * 3 < victimMs * 2;
}

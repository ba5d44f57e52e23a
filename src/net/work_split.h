// Where an idle connection's work comes from once no range lies unclaimed:
// it takes over the tail of the largest open range, cut so that it and the
// connection already on that range end together, or, near the end, fetches a
// slow or silent connection's range beside it, and the first to finish wins.
// The sizes follow the measured rates and round trips, so that a piece is
// never so small that the round trip dominates it.
//
// Threading: pure functions; any thread.
#pragma once

#include <cstdint>

// The least a connection takes over from another.
constexpr int32_t kMinPieceBytes = 64 * 1024;
// A connection that has brought no byte for this long, or for three of the
// round trips involved if that is longer, counts as silent.
constexpr int64_t kSilentMinMs = 500;

// What the split needs to know of one connection.
struct SConnPace {
    double bytesPerMs = 0;   // its measured speed; 0 when not measured yet
    int64_t roundTripMs = -1;  // from a request to its first byte; -1 when not measured yet
};

// The offset from which thief takes over the open range [position, end) that
// victim works on: both parts take about as long, with the thief's part
// starting a round trip later (unmeasured speeds count as equal). Returns -1
// when the thief's part would be under kMinPieceBytes or under what it
// receives in one round trip.
int32_t StealPoint(int32_t position, int32_t end, const SConnPace& victim, const SConnPace& thief);

// The time after which a connection without a byte counts as silent.
int64_t SilentAfterMs(const SConnPace& victim, const SConnPace& thief);

// True when thief, idle, should fetch the rest of a range beside victim, the
// only connection on it: victim has been quiet (no byte) for quietMs beyond
// SilentAfterMs, or remaining (-1: unknown) bytes would come from a thief
// with a measured speed in less than two thirds of victim's time.
bool WorthFetchingBeside(int32_t remaining, const SConnPace& victim, int64_t quietMs, const SConnPace& thief);

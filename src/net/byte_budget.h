// A bound on the bytes that threads hand to one taker thread before it has
// taken them: a giver waits while the bound is reached, so a taker that
// stalls (a slow disk, a busy handler) holds its givers back instead of
// letting its queue grow without end.
//
// Threading: any thread; one mutex guards the count.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class ByteBudget {
public:
    explicit ByteBudget(int64_t bound) : bound_(bound) {}

    // Waits while the bytes held reach the bound and the bound is kept, then
    // holds n more. Never waits while the bound is lifted.
    void Take(int64_t n);
    // Gives back n bytes held and wakes the givers waiting.
    void Give(int64_t n);
    // Keeps or lifts the bound; lift it whenever the taker does not run, so
    // that nobody waits for it.
    void Keep(bool kept);

private:
    const int64_t bound_;
    std::mutex lock_;
    std::condition_variable room_;
    int64_t held_ = 0;   // guarded by lock_
    bool kept_ = false;  // guarded by lock_
};

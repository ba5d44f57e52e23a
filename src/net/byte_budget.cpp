#include "net/byte_budget.h"

void ByteBudget::Take(int64_t n) {
    std::unique_lock<std::mutex> lock(lock_);
    room_.wait(lock, [this] { return !kept_ || held_ < bound_; });
    held_ += n;
}

void ByteBudget::Give(int64_t n) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        held_ -= n;
    }
    room_.notify_all();
}

void ByteBudget::Keep(bool kept) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        kept_ = kept;
    }
    room_.notify_all();
}

// Manual-reset events of one process that a single thread can wait on
// together: the data, flush and exit events of a card's report thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace bbdev {

class CEventGroup {
public:
    void Set(unsigned index) {
        std::lock_guard lock(mutex_);
        const std::uint32_t bit = 1u << index;
        if (bits_ & bit) return;
        bits_ |= bit;
        cv_.notify_all();
    }
    void Reset(unsigned index) {
        std::lock_guard lock(mutex_);
        bits_ &= ~(1u << index);
    }
    bool IsSet(unsigned index) const {
        std::lock_guard lock(mutex_);
        return bits_ & (1u << index);
    }
    // Lowest signalled index among mask; -1 on time-out. Nothing is reset.
    int WaitAny(std::uint32_t mask, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [&] { return (bits_ & mask) != 0; })) return -1;
        return __builtin_ctz(bits_ & mask);
    }
    int WaitAny(std::uint32_t mask) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return (bits_ & mask) != 0; });
        return __builtin_ctz(bits_ & mask);
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::uint32_t bits_ = 0;  // guarded by mutex_
};

// Event indices within a card's group, in the order the report thread
// serves them.
enum DemEvent : unsigned {
    kDemExitEvent = 0,
    kDemDataEvent0 = 1,
    kDemDataEvent1 = 2,
    kDemFlushEvent0 = 3,
    kDemFlushEvent1 = 4,
    kDemEndedEvent = 5,
};

}  // namespace bbdev

// An unnamed event inside the process (set / reset / wait with time-out).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace bbdev {

class SyncEvent {
public:
    explicit SyncEvent(bool manualReset = true, bool initialState = false)
        : manualReset_(manualReset), signalled_(initialState) {}

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return signalled_;
    }
    // True when signalled within timeoutMs; an auto-reset event is consumed.
    bool Wait(unsigned timeoutMs) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return signalled_; }))
            return false;
        if (!manualReset_) signalled_ = false;
        return true;
    }

private:
    const bool manualReset_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;  // guarded by mutex_
};

}  // namespace bbdev

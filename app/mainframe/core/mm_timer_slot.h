// One periodic multimedia timer of the frame (replay pacing, link monitor,
// telemetry sender).
#pragma once

#include <platform/timer.h>

#include <atomic>
#include <functional>

namespace mainframe {

// The resolution asked for: the device's minimum period, at least 1 and at
// most its maximum period.
unsigned TimerResolution(const plat::TimerCaps& caps);

class MultimediaTimerSlot {
public:
    ~MultimediaTimerSlot() { Kill(); }
    // Queries the capabilities, kills the slot's previous timer and starts a
    // periodic one. False when the timer could not be started.
    bool Start(unsigned periodMs, std::function<void()> callback);
    // The same for a timer that rests after each call until Wake().
    bool StartResting(unsigned periodMs, std::function<void()> callback);
    // Ends the rest of a resting timer; any thread, also while none runs.
    void Wake() {
        if (const plat::TimerId id = id_.load(); id != 0) plat::TimeWakeEvent(id);
    }
    // Waits for a running callback to return.
    void Kill();
    bool Running() const { return id_.load() != 0; }
    unsigned Resolution() const { return resolution_; }

private:
    std::atomic<plat::TimerId> id_{0};  // read by Wake() from other threads
    unsigned resolution_ = 0;
};

}  // namespace mainframe

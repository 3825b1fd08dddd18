// One periodic multimedia timer of the frame (replay pacing, link monitor,
// telemetry sender).
#pragma once

#include <platform/timer.h>

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
    // Waits for a running callback to return.
    void Kill();
    bool Running() const { return id_ != 0; }
    unsigned Resolution() const { return resolution_; }

private:
    plat::TimerId id_ = 0;
    unsigned resolution_ = 0;
};

}  // namespace mainframe

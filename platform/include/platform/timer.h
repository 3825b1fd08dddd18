// Multimedia-timer stand-in: every timer runs its callback on its own thread,
// paced by absolute deadlines so the period does not drift.
#pragma once

#include <functional>

namespace plat {

struct TimerCaps {
    unsigned periodMin;
    unsigned periodMax;
};
bool TimeGetDevCaps(TimerCaps* caps);

// The system timer resolution needs no raising here; these only check the
// period against the capabilities and report whether it is supported.
bool TimeBeginPeriod(unsigned periodMs);
bool TimeEndPeriod(unsigned periodMs);

using TimerId = unsigned;

// First call after delayMs, then every delayMs when periodic (ticks missed in
// a stall of up to 100 ms are made up back to back). resolutionMs is
// accepted for compatibility. 0 on failure (delay 0 or no thread).
TimerId TimeSetEvent(unsigned delayMs, unsigned resolutionMs, std::function<void()> callback,
                     bool periodic);

// Stops the timer and waits until a running callback has returned; may be
// called from inside the callback. False for an unknown id.
bool TimeKillEvent(TimerId id);

}  // namespace plat

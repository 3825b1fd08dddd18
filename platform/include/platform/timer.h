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

// A periodic timer that rests while it has nothing to do: after a call the
// timer sleeps until TimeWakeEvent, then ticks again at its next period
// boundary (ticks stay on the phase of the first one). A wake that comes
// while the callback runs is never lost: the timer then ticks again.
TimerId TimeSetRestingEvent(unsigned periodMs, unsigned resolutionMs,
                            std::function<void()> callback);

// Ends the rest of a resting timer; callable from any thread, at any time.
// False for an unknown id.
bool TimeWakeEvent(TimerId id);

// Stops the timer and waits until a running callback has returned; may be
// called from inside the callback. False for an unknown id.
bool TimeKillEvent(TimerId id);

}  // namespace plat

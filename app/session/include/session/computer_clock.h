// The computer clock as the card session reads and sets it. Setting is a
// replaceable function so that tests record the request instead of changing
// the machine's time.
#pragma once

#include <session/session_texts.h>

namespace session {

// Sets the computer clock to the local time `t`; 0 on success, else an
// errno value (EPERM when the process may not set the clock).
using ClockSetter = int (*)(const LocalTime& t);

// Tries clock_settime(CLOCK_REALTIME) with `t` read as local time.
int SetSystemClock(const LocalTime& t);

// Installs a setter (null restores SetSystemClock) and returns the previous.
ClockSetter SetClockSetter(ClockSetter setter);
ClockSetter CurrentClockSetter();

// The computer's local time now, to the millisecond.
LocalTime LocalNow();

}  // namespace session

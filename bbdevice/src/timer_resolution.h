// The process-wide raised system timer resolution. Every poll engine raises it
// while it exists; the count of raised users is kept under its own lock and
// the resolution goes back when the last user lowers it.
#pragma once

namespace bbdev {

// Raises the resolution to periodMs. True on success.
bool TimeBeginPeriod(unsigned periodMs);
// Undoes one TimeBeginPeriod.
bool TimeEndPeriod(unsigned periodMs);
// Current number of raised users.
unsigned RaisedResolutionUsers();

}  // namespace bbdev

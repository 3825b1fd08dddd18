#include "timer_resolution.h"

#include <mutex>

namespace bbdev {
namespace {

std::mutex g_resolutionLock;
unsigned g_raisedUsers = 0;  // guarded by g_resolutionLock

}  // namespace

// The timer threads of the platform already sleep on absolute deadlines with
// 1 ms granularity, so raising the resolution is bookkeeping only.
bool TimeBeginPeriod(unsigned periodMs) {
    if (periodMs == 0) return false;
    std::lock_guard lock(g_resolutionLock);
    ++g_raisedUsers;
    return true;
}

bool TimeEndPeriod(unsigned periodMs) {
    if (periodMs == 0) return false;
    std::lock_guard lock(g_resolutionLock);
    if (g_raisedUsers == 0) return false;
    --g_raisedUsers;
    return true;
}

unsigned RaisedResolutionUsers() {
    std::lock_guard lock(g_resolutionLock);
    return g_raisedUsers;
}

}  // namespace bbdev

#include "timer_resolution.h"

#include <platform/timer.h>

#include <mutex>

namespace bbdev {
namespace {

std::mutex g_resolutionLock;
unsigned g_raisedUsers = 0;  // guarded by g_resolutionLock

}  // namespace

// The platform checks the period; the count of raised users is ours.
bool TimeBeginPeriod(unsigned periodMs) {
    std::lock_guard lock(g_resolutionLock);
    if (!plat::TimeBeginPeriod(periodMs)) return false;
    ++g_raisedUsers;
    return true;
}

bool TimeEndPeriod(unsigned periodMs) {
    std::lock_guard lock(g_resolutionLock);
    if (g_raisedUsers == 0 || !plat::TimeEndPeriod(periodMs)) return false;
    --g_raisedUsers;
    return true;
}

unsigned RaisedResolutionUsers() {
    std::lock_guard lock(g_resolutionLock);
    return g_raisedUsers;
}

}  // namespace bbdev

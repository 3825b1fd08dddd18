#include <session/computer_clock.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace session {
namespace {
std::atomic<ClockSetter> g_setter{&SetSystemClock};
}  // namespace

int SetSystemClock(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    errno = 0;
    const std::time_t seconds = std::mktime(&tm);
    if (seconds == static_cast<std::time_t>(-1) && errno != 0) return errno;
    timespec ts{};
    ts.tv_sec = seconds;
    ts.tv_nsec = static_cast<long>(t.millisecond) * 1000000L;
    if (::clock_settime(CLOCK_REALTIME, &ts) != 0) return errno != 0 ? errno : EPERM;
    return 0;
}

ClockSetter SetClockSetter(ClockSetter setter) {
    return g_setter.exchange(setter ? setter : &SetSystemClock);
}

ClockSetter CurrentClockSetter() {
    return g_setter.load();
}

LocalTime LocalNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000L);
    return t;
}

}  // namespace session

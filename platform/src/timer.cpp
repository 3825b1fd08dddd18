// Multimedia-timer stand-in. Each timer owns a thread that sleeps to absolute
// CLOCK_MONOTONIC deadlines (a condition-variable wait, so killing a timer
// does not have to sit out the rest of a long period).
#include "platform/timer.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace plat {
namespace {

constexpr unsigned kPeriodMin = 1;
constexpr unsigned kPeriodMax = 1000000;
constexpr std::chrono::milliseconds kMaxCatchUp{100};

struct Timer {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;        // guarded by mutex
    std::uint64_t wakes = 0;  // guarded by mutex; counted by TimeWakeEvent
    std::thread thread;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<TimerId, std::shared_ptr<Timer>> timers;  // guarded by mutex
    TimerId next = 1;                                            // guarded by mutex
};

// Never destroyed: timers still running at exit must not meet a destroyed
// registry or a joinable std::thread in a static destructor.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// A one-shot timer that has fired forgets itself, unless a kill is already
// under way (then the killer joins the thread).
void Retire(TimerId id, const std::shared_ptr<Timer>& timer) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.timers.find(id);
    if (it == r.timers.end() || it->second != timer) return;
    timer->thread.detach();
    r.timers.erase(it);
}

enum class Mode { OneShot, Periodic, Resting };

void Run(TimerId id, std::shared_ptr<Timer> timer, unsigned delayMs, std::function<void()> callback,
         Mode mode) {
    char name[16];
    std::snprintf(name, sizeof name, "mmtimer-%ums", delayMs);
    pthread_setname_np(pthread_self(), name);
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(delayMs);
    auto due = Clock::now() + period;
    for (;;) {
        {
            std::unique_lock lock(timer->mutex);
            if (timer->wake.wait_until(lock, due, [&] { return timer->stop; })) return;
        }
        std::uint64_t wakesBefore = 0;
        if (mode == Mode::Resting) {
            std::lock_guard lock(timer->mutex);
            wakesBefore = timer->wakes;
        }
        callback();
        if (mode == Mode::OneShot) return Retire(id, timer);
        due += period;
        if (mode == Mode::Resting) {
            std::unique_lock lock(timer->mutex);
            timer->wake.wait(lock, [&] { return timer->stop || timer->wakes != wakesBefore; });
            if (timer->stop) return;
            // Back on the period's grid: the first boundary not yet passed.
            const auto now = Clock::now();
            if (due < now) due += ((now - due) / period + 1) * period;
            continue;
        }
        // Ticks missed in a short stall are made up back to back, so a 1 ms
        // timer still ticks 1000 times a second; after a long stall (a
        // suspended machine) the missed ticks are dropped, keeping the phase.
        const auto now = Clock::now();
        if (now - due > std::max<Clock::duration>(period, kMaxCatchUp))
            due += ((now - due) / period) * period;
    }
}

}  // namespace

bool TimeGetDevCaps(TimerCaps* caps) {
    if (!caps) return false;
    *caps = TimerCaps{kPeriodMin, kPeriodMax};
    return true;
}

bool TimeBeginPeriod(unsigned periodMs) {
    return periodMs >= kPeriodMin && periodMs <= kPeriodMax;
}

bool TimeEndPeriod(unsigned periodMs) {
    return TimeBeginPeriod(periodMs);
}

namespace {

TimerId StartTimer(unsigned delayMs, std::function<void()> callback, Mode mode) {
    if (delayMs < kPeriodMin || delayMs > kPeriodMax || !callback) return 0;
    auto timer = std::make_shared<Timer>();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    TimerId id = r.next;
    while (id == 0 || r.timers.count(id)) ++id;
    r.next = id + 1;
    try {
        timer->thread = std::thread(Run, id, timer, delayMs, std::move(callback), mode);
    } catch (const std::system_error&) {
        return 0;
    }
    r.timers.emplace(id, std::move(timer));
    return id;
}

}  // namespace

TimerId TimeSetEvent(unsigned delayMs, unsigned /*resolutionMs*/, std::function<void()> callback,
                     bool periodic) {
    return StartTimer(delayMs, std::move(callback), periodic ? Mode::Periodic : Mode::OneShot);
}

TimerId TimeSetRestingEvent(unsigned periodMs, unsigned /*resolutionMs*/,
                            std::function<void()> callback) {
    return StartTimer(periodMs, std::move(callback), Mode::Resting);
}

bool TimeWakeEvent(TimerId id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.timers.find(id);
    if (it == r.timers.end()) return false;
    Timer& timer = *it->second;
    {
        std::lock_guard timerLock(timer.mutex);
        ++timer.wakes;
    }
    timer.wake.notify_all();
    return true;
}

bool TimeKillEvent(TimerId id) {
    std::shared_ptr<Timer> timer;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.timers.find(id);
        if (it == r.timers.end()) return false;
        timer = std::move(it->second);
        r.timers.erase(it);
    }
    {
        std::lock_guard lock(timer->mutex);
        timer->stop = true;
    }
    timer->wake.notify_all();
    if (timer->thread.get_id() == std::this_thread::get_id()) {
        // Killed from its own callback: the thread ends when the callback returns.
        timer->thread.detach();
    } else {
        timer->thread.join();
    }
    return true;
}

}  // namespace plat

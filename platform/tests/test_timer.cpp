#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/timer.h"
#include "testsupport/wait.h"

namespace plat {
namespace {

using namespace std::chrono_literals;

// Counts callbacks and lets the test wait for a count (bounded so a broken
// timer fails instead of hanging; this is not a timing assertion).
struct Counter {
    std::mutex m;
    std::condition_variable cv;
    int n = 0;
    void Tick() {
        std::lock_guard lock(m);
        ++n;
        cv.notify_all();
    }
    bool WaitFor(int count) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, 10s, [&] { return n >= count; });
    }
    int Value() {
        std::lock_guard lock(m);
        return n;
    }
};

// Time in which a timer that was not stopped would have ticked: another timer
// of the same period ticks `ticks` times.
bool LetTimersTick(int ticks) {
    Counter marker;
    TimerId id = TimeSetEvent(
        1, 1, [&] { marker.Tick(); }, true);
    if (id == 0) return false;
    const bool ticked = marker.WaitFor(ticks);
    TimeKillEvent(id);
    return ticked;
}

TEST(Timer, CapabilitiesAndBadArguments) {
    TimerCaps caps{};
    ASSERT_TRUE(TimeGetDevCaps(&caps));
    EXPECT_EQ(caps.periodMin, 1u);
    EXPECT_GE(caps.periodMax, 1000u);
    EXPECT_FALSE(TimeGetDevCaps(nullptr));
    EXPECT_TRUE(TimeBeginPeriod(caps.periodMin));
    EXPECT_TRUE(TimeEndPeriod(caps.periodMin));
    EXPECT_FALSE(TimeBeginPeriod(0));
    EXPECT_EQ(TimeSetEvent(
                  0, 0, [] {}, true),
              0u);
    EXPECT_EQ(TimeSetEvent(1, 0, nullptr, true), 0u);
    EXPECT_FALSE(TimeKillEvent(0));
    EXPECT_FALSE(TimeKillEvent(0xDEADBEEF));
}

TEST(Timer, PeriodicTicksUntilKilledAndOneShotFiresOnce) {
    Counter periodic, once;
    TimerId oneShot = TimeSetEvent(
        1, 1, [&] { once.Tick(); }, false);
    TimerId id = TimeSetEvent(
        1, 1, [&] { periodic.Tick(); }, true);
    ASSERT_NE(oneShot, 0u);
    ASSERT_NE(id, 0u);
    EXPECT_NE(oneShot, id);
    ASSERT_TRUE(once.WaitFor(1));
    ASSERT_TRUE(periodic.WaitFor(20));
    EXPECT_TRUE(TimeKillEvent(id));
    EXPECT_FALSE(TimeKillEvent(id));
    const int atKill = periodic.Value();
    ASSERT_TRUE(LetTimersTick(20));
    EXPECT_EQ(periodic.Value(), atKill);  // no tick after the kill returned
    EXPECT_EQ(once.Value(), 1);
    TimeKillEvent(oneShot);  // fired already: either answer is fine
}

TEST(Timer, KillWaitsForARunningCallback) {
    std::atomic<bool> inside{false}, entered{false};
    TimerId id = TimeSetEvent(
        1, 1,
        [&] {
            inside = true;
            entered = true;
            std::this_thread::sleep_for(30ms);
            inside = false;
        },
        true);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(talvora::test::WaitUntil([&] { return entered.load(); }, 10s, "the callback"));
    EXPECT_TRUE(TimeKillEvent(id));
    EXPECT_FALSE(inside);
}

TEST(Timer, CallbackMayKillItsOwnTimer) {
    Counter counter;
    std::atomic<TimerId> id{0};
    std::atomic<bool> killed{false};
    std::mutex start;
    std::unique_lock hold(start);  // the callback waits until the id is known
    id = TimeSetEvent(
        1, 1,
        [&] {
            {
                std::lock_guard lock(start);
                if (!killed) killed = TimeKillEvent(id);
            }
            // The detached thread touches nothing of the test after this
            // tick: the test may end as soon as it is counted.
            counter.Tick();
        },
        true);
    ASSERT_NE(id.load(), 0u);
    hold.unlock();
    ASSERT_TRUE(counter.WaitFor(1));
    ASSERT_TRUE(LetTimersTick(20));
    EXPECT_TRUE(killed);
    EXPECT_EQ(counter.Value(), 1);
}

TEST(Timer, ManyTimersRunSideBySide) {
    Counter a, b, c;
    TimerId ia = TimeSetEvent(
        1, 1, [&] { a.Tick(); }, true);
    TimerId ib = TimeSetEvent(
        5, 1, [&] { b.Tick(); }, true);
    TimerId ic = TimeSetEvent(
        2, 1, [&] { c.Tick(); }, true);
    EXPECT_TRUE(a.WaitFor(10) && b.WaitFor(3) && c.WaitFor(5));
    EXPECT_TRUE(TimeKillEvent(ib));
    EXPECT_TRUE(TimeKillEvent(ia));
    EXPECT_TRUE(TimeKillEvent(ic));
}

TEST(Timer, RestingTimerTicksOncePerWakeAndRestsOtherwise) {
    Counter counter;
    TimerId id = TimeSetRestingEvent(1, 1, [&] { counter.Tick(); });
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(counter.WaitFor(1));  // the first tick comes by itself
    ASSERT_TRUE(LetTimersTick(20));
    EXPECT_EQ(counter.Value(), 1);  // then it rests
    for (int k = 2; k <= 50; ++k) {
        EXPECT_TRUE(TimeWakeEvent(id));
        ASSERT_TRUE(counter.WaitFor(k)) << "wake " << k << " was lost";
    }
    ASSERT_TRUE(LetTimersTick(20));
    EXPECT_EQ(counter.Value(), 50);
    EXPECT_TRUE(TimeKillEvent(id));
    EXPECT_FALSE(TimeWakeEvent(id));
    EXPECT_EQ(TimeSetRestingEvent(0, 1, [] {}), 0u);
}

TEST(Timer, WakeDuringTheCallbackBringsAnotherTick) {
    Counter counter;
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, woken = false;
    std::atomic<TimerId> id{0};
    id = TimeSetRestingEvent(1, 1, [&] {
        std::unique_lock lock(m);
        if (counter.Value() == 0) {
            // The first call stays until the wake has been given.
            inside = true;
            cv.notify_all();
            cv.wait_for(lock, 10s, [&] { return woken; });
        }
        lock.unlock();
        counter.Tick();
    });
    ASSERT_NE(id.load(), 0u);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return inside; }));
        EXPECT_TRUE(TimeWakeEvent(id));
        woken = true;
        cv.notify_all();
    }
    EXPECT_TRUE(counter.WaitFor(2)) << "the wake given during the callback was lost";
    EXPECT_TRUE(TimeKillEvent(id));
}

TEST(Timer, KillEndsARestingTimer) {
    Counter counter;
    TimerId id = TimeSetRestingEvent(1, 1, [&] { counter.Tick(); });
    ASSERT_TRUE(counter.WaitFor(1));
    EXPECT_TRUE(TimeKillEvent(id));  // returns although the timer rests without a deadline
    EXPECT_FALSE(TimeWakeEvent(id));
}

}  // namespace
}  // namespace plat

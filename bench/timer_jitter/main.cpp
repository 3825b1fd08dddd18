// Period jitter of the multimedia-timer stand-in: runs one periodic timer for
// a number of ticks and reports how far each interval strays from the period.
//
//   timer_jitter [period_ms=1] [ticks=10000]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/timer.h"

int main(int argc, char** argv) {
    const unsigned periodMs = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1;
    const std::size_t ticks = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 10000;
    if (periodMs == 0 || ticks < 2) {
        std::fprintf(stderr, "usage: timer_jitter [period_ms>=1] [ticks>=2]\n");
        return 2;
    }

    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> stamps(ticks);
    std::atomic<std::size_t> count{0};
    plat::TimerId id = plat::TimeSetEvent(
        periodMs, 1,
        [&] {
            std::size_t i = count.load(std::memory_order_relaxed);
            if (i < ticks) {
                stamps[i] = Clock::now();
                count.store(i + 1, std::memory_order_release);
            }
        },
        true);
    if (id == 0) {
        std::fprintf(stderr, "timer could not be started\n");
        return 1;
    }
    while (count.load(std::memory_order_acquire) < ticks)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    plat::TimeKillEvent(id);

    // |interval - period| in microseconds.
    const double period = periodMs * 1000.0;
    std::vector<double> dev;
    dev.reserve(ticks - 1);
    for (std::size_t i = 1; i < ticks; ++i) {
        double us = std::chrono::duration<double, std::micro>(stamps[i] - stamps[i - 1]).count();
        dev.push_back(us > period ? us - period : period - us);
    }
    std::sort(dev.begin(), dev.end());
    auto at = [&](double q) { return dev[static_cast<std::size_t>(q * (dev.size() - 1))]; };
    const double total = std::chrono::duration<double>(stamps.back() - stamps.front()).count();
    std::printf("period %u ms, %zu ticks over %.3f s (expected %.3f s)\n", periodMs, ticks, total,
                (ticks - 1) * periodMs / 1000.0);
    std::printf("jitter |interval - period|: p50 %.1f us, p99 %.1f us, max %.1f us\n", at(0.5),
                at(0.99), dev.back());
    return 0;
}

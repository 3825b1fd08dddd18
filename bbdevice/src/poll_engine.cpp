#include <bbdevice/poll_engine.h>
#include <platform/notify.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "device_messages.h"
#include "timer_resolution.h"

namespace bbdev {

namespace {

// While nothing changes the worker still looks once a second; the socket
// and the wake descriptor, not this, end its sleep.
constexpr int kQuietWaitMs = 1000;

void SleepUntil(const timespec& due) {
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
}

timespec After(timespec t, unsigned ms) {
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    t.tv_sec += ms / 1000 + t.tv_nsec / 1000000000L;
    t.tv_nsec %= 1000000000L;
    return t;
}

}  // namespace

CPollEngine::CPollEngine(unsigned cardIndex, std::function<int()> waitFd,
                         std::function<void()> onWake)
    : cardIndex_(cardIndex), waitFd_(std::move(waitFd)), onWake_(std::move(onWake)) {
    plat::TimerCaps caps{};
    if (plat::TimeGetDevCaps(&caps)) {
        unsigned period = std::min(std::max(caps.periodMin, 1u), std::max(caps.periodMax, 1u));
        if (TimeBeginPeriod(period)) resolutionMs_ = period;
    }
}

CPollEngine::~CPollEngine() {
    if (running_) Stop(50);
    Join();
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (resolutionMs_ != 0) TimeEndPeriod(resolutionMs_);
}

void CPollEngine::Join() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

bool CPollEngine::Fail(unsigned stage) {
    char text[128];
    std::snprintf(text, sizeof text, "%s失败: Engine(%u-%u)  %u", "启动引擎",
                  RaisedResolutionUsers(), kKind, stage);
    ShowDeviceMessage(text);
    return false;
}

void CPollEngine::Wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

bool CPollEngine::Start(unsigned periodMs) {
    if (running_) return true;
    if (resolutionMs_ == 0) return Fail(0);
    if (worker_.joinable()) worker_.join();  // left over from a timed-out Stop
    if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return Fail(2);
    periodMs_ = std::max(1u, periodMs / resolutionMs_) * resolutionMs_;
    exit_.store(false);
    ended_.Reset();
    try {
        worker_ = std::thread(&CPollEngine::WorkerMain, this);
    } catch (...) {
        return Fail(5);
    }
    running_ = true;
    return true;
}

bool CPollEngine::Stop(unsigned waitMs) {
    if (!running_) return true;
    running_ = false;
    exit_.store(true);
    Wake();
    if (!ended_.Wait(waitMs)) {
        // The worker is kept and joined later, never abandoned while it may
        // still touch the link.
        ShowDeviceMessage("等待销毁线程超时！");
        return false;
    }
    worker_.join();
    return true;
}

void CPollEngine::WorkerMain() {
    pthread_setname_np(pthread_self(), "bb-poll");
    // Above every normal thread where the system allows it (the lowest
    // real-time level is enough for that); never fail because of it.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (param.sched_priority > 0) pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

    while (!exit_.load()) {
        const int fd = waitFd_();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, kQuietWaitMs);
        if (exit_.load()) break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        if (ready <= 0 || fd < 0 || fds[1].revents == 0) continue;
        timespec start{};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        onWake_();
        // Data that keep coming are taken once per period, in one batch.
        SleepUntil(After(start, periodMs_));
    }
    ended_.Set();
}

}  // namespace bbdev

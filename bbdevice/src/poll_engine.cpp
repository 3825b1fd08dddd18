#include <bbdevice/poll_engine.h>
#include <platform/notify.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>

#include "device_messages.h"
#include "timer_resolution.h"

namespace bbdev {

CPollEngine::CPollEngine(unsigned cardIndex, std::function<void()> onWake)
    : cardIndex_(cardIndex), onWake_(std::move(onWake)) {
    plat::TimerCaps caps{};
    if (plat::TimeGetDevCaps(&caps)) {
        unsigned period = std::min(std::max(caps.periodMin, 1u), std::max(caps.periodMax, 1u));
        if (TimeBeginPeriod(period)) resolutionMs_ = period;
    }
}

CPollEngine::~CPollEngine() {
    if (running_) Stop(50);
    Join();
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

bool CPollEngine::Start(unsigned periodMs) {
    if (running_) return true;
    if (resolutionMs_ == 0) return Fail(0);
    if (worker_.joinable()) worker_.join();  // left over from a timed-out Stop
    {
        std::lock_guard lock(mutex_);
        wake_ = false;
        exit_ = false;
    }
    ended_.Reset();
    try {
        worker_ = std::thread(&CPollEngine::WorkerMain, this);
    } catch (...) {
        return Fail(5);
    }
    const unsigned delay = std::max(1u, periodMs / resolutionMs_);
    timer_ = plat::TimeSetEvent(
        delay, resolutionMs_,
        [this] {
            {
                std::lock_guard lock(mutex_);
                wake_ = true;
            }
            cv_.notify_one();
        },
        true);
    if (timer_ == 0) {
        {
            std::lock_guard lock(mutex_);
            exit_ = true;
        }
        cv_.notify_one();
        worker_.join();
        return Fail(1);
    }
    running_ = true;
    return true;
}

bool CPollEngine::Stop(unsigned waitMs) {
    if (!running_) return true;
    running_ = false;
    plat::TimeKillEvent(timer_);
    timer_ = 0;
    {
        std::lock_guard lock(mutex_);
        exit_ = true;
    }
    cv_.notify_one();
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

    for (;;) {
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return wake_ || exit_; });
            if (exit_) break;
            wake_ = false;
        }
        onWake_();
    }
    ended_.Set();
}

}  // namespace bbdev

// CPollEngine: a periodic multimedia timer that wakes a worker thread, which
// drains the engine socket. Kept apart from the link so the link's receive
// path runs on one thread only.
#pragma once

#include <bbdevice/sync_event.h>
#include <platform/timer.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace bbdev {

class CPollEngine {
public:
    // Raises the process-wide timer resolution for as long as the engine exists.
    CPollEngine(unsigned cardIndex, std::function<void()> onWake);
    ~CPollEngine();
    CPollEngine(const CPollEngine&) = delete;
    CPollEngine& operator=(const CPollEngine&) = delete;

    // Starts the timer (periodMs, at least 1) and the worker. On failure shows
    // "启动引擎失败: Engine(users-kind)  stage" and returns false.
    bool Start(unsigned periodMs = 1);
    // Stops the timer and the worker, waiting at most waitMs for the worker to
    // end; on time-out shows "等待销毁线程超时！" and returns false.
    bool Stop(unsigned waitMs);
    // Waits for a worker that outlived Stop's wait; after it returns nothing
    // runs on the worker any more.
    void Join();
    bool running() const { return running_; }

    static constexpr unsigned kKind = 7;

private:
    void WorkerMain();
    bool Fail(unsigned stage);

    [[maybe_unused]] const unsigned cardIndex_;
    std::function<void()> onWake_;
    unsigned resolutionMs_ = 0;  // 0 when the resolution could not be raised
    plat::TimerId timer_ = 0;
    std::thread worker_;
    bool running_ = false;  // owned by the thread calling Start/Stop

    std::mutex mutex_;
    std::condition_variable cv_;
    bool wake_ = false;  // guarded by mutex_
    bool exit_ = false;  // guarded by mutex_
    SyncEvent ended_{true, false};
};

}  // namespace bbdev

// CPollEngine: a worker thread that waits for the engine socket to become
// readable and drains it, at most once per period while data keep coming (so
// a busy link is still read in batches of about a millisecond), and sleeps
// while the socket is quiet. Kept apart from the link so the link's receive
// path runs on one thread only.
#pragma once

#include <bbdevice/sync_event.h>
#include <platform/timer.h>

#include <atomic>
#include <functional>
#include <thread>

namespace bbdev {

class CPollEngine {
public:
    // Raises the process-wide timer resolution for as long as the engine exists.
    // waitFd gives the socket to wait on (-1: none yet); onWake drains it.
    CPollEngine(unsigned cardIndex, std::function<int()> waitFd, std::function<void()> onWake);
    ~CPollEngine();
    CPollEngine(const CPollEngine&) = delete;
    CPollEngine& operator=(const CPollEngine&) = delete;

    // Starts the worker (periodMs, at least 1, between drains). On failure shows
    // "启动引擎失败: Engine(users-kind)  stage" and returns false.
    bool Start(unsigned periodMs = 1);
    // Stops the worker, waiting at most waitMs for it to
    // end; on time-out shows "等待销毁线程超时！" and returns false.
    bool Stop(unsigned waitMs);
    // Waits for a worker that outlived Stop's wait; after it returns nothing
    // runs on the worker any more.
    void Join();
    bool running() const { return running_; }
    // The socket to wait on has changed (connect, reconnect, close): the
    // worker looks again.
    void Wake();

    static constexpr unsigned kKind = 7;

private:
    void WorkerMain();
    bool Fail(unsigned stage);

    [[maybe_unused]] const unsigned cardIndex_;
    std::function<int()> waitFd_;
    std::function<void()> onWake_;
    unsigned resolutionMs_ = 0;  // 0 when the resolution could not be raised
    unsigned periodMs_ = 1;      // set by Start before the worker runs
    int wakeFd_ = -1;            // eventfd: socket changed or exit asked
    std::thread worker_;
    bool running_ = false;  // owned by the thread calling Start/Stop

    std::atomic<bool> exit_{false};
    SyncEvent ended_{true, false};
};

}  // namespace bbdev

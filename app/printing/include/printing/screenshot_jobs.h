// The screenshot workers: one thread per screenshot, each owning what it
// saves and prints; the exit sequence waits for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace printing {

class ScreenshotJobs {
public:
    ScreenshotJobs() = default;
    ScreenshotJobs(const ScreenshotJobs&) = delete;
    ScreenshotJobs& operator=(const ScreenshotJobs&) = delete;
    // Waits for every worker without a limit.
    ~ScreenshotJobs();

    // Runs `job` on a new thread. False when no thread could be started.
    bool Start(std::function<void()> job);
    // Waits until every worker has ended, at most `limit`; true when none is
    // left. Workers still running afterwards are left to finish on their own.
    bool WaitAll(std::chrono::milliseconds limit);
    int Running() const;

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };
    void JoinFinishedLocked(std::unique_lock<std::mutex>& lock);

    mutable std::mutex lock_;
    std::condition_variable ended_;
    std::list<Worker> workers_;  // guarded by lock_
};

}  // namespace printing

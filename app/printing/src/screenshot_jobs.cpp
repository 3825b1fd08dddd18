#include <printing/screenshot_jobs.h>

#include <system_error>

namespace printing {

ScreenshotJobs::~ScreenshotJobs() {
    std::unique_lock lock(lock_);
    ended_.wait(lock, [this] {
        for (const Worker& w : workers_)
            if (!w.done) return false;
        return true;
    });
    JoinFinishedLocked(lock);
}

bool ScreenshotJobs::Start(std::function<void()> job) {
    std::unique_lock lock(lock_);
    JoinFinishedLocked(lock);
    Worker& w = workers_.emplace_back();
    try {
        w.thread = std::thread([this, &w, job = std::move(job)] {
            job();
            std::lock_guard done(lock_);
            w.done = true;
            ended_.notify_all();
        });
    } catch (const std::system_error&) {
        workers_.pop_back();
        return false;
    }
    return true;
}

void ScreenshotJobs::JoinFinishedLocked(std::unique_lock<std::mutex>& lock) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        std::thread t = std::move(it->thread);
        it = workers_.erase(it);
        lock.unlock();
        if (t.joinable()) t.join();
        lock.lock();
    }
}

bool ScreenshotJobs::WaitAll(std::chrono::milliseconds limit) {
    std::unique_lock lock(lock_);
    const bool all = ended_.wait_for(lock, limit, [this] {
        for (const Worker& w : workers_)
            if (!w.done) return false;
        return true;
    });
    JoinFinishedLocked(lock);
    return all;
}

int ScreenshotJobs::Running() const {
    std::lock_guard lock(lock_);
    int n = 0;
    for (const Worker& w : workers_) n += w.done ? 0 : 1;
    return n;
}

}  // namespace printing

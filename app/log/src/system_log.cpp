#include "log/system_log.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/codepage.h"
#include "platform/kernel_objects.h"
#include "platform/paths.h"

namespace applog {

std::string g_strLogFile;

namespace {

// The event is the wake-up; the queue is checked on every wake. A bounded
// wait also picks up a message whose wake-up another holder of the named
// event reset.
constexpr unsigned kWakeCheckMs = 1000;

struct Entry {
    std::tm time;
    std::string message;
};

bool WriteAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct SystemLog::State {
    std::mutex mutex;
    std::deque<Entry> queue;  // guarded by mutex
    bool accepting = false;   // guarded by mutex: posts are queued only while true
    bool stop = false;        // guarded by mutex

    // Set by Start before the thread runs, then read-only.
    std::string path;
    LocalClock clock;
    std::unique_ptr<plat::NamedEvent> event;

    std::atomic<int> result{kLogRunning};
    std::thread thread;  // owned by the thread calling Start/Stop

    void Refuse() {
        std::lock_guard lock(mutex);
        accepting = false;
        queue.clear();
    }

    int Run(const std::tm& startTime) {
        if (path.empty()) return kLogNoPath;
        if (!event) return kLogNoEvent;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return kLogNoFile;
        // A failed write (disk full) loses that record only; the run goes on.
        WriteAll(fd, plat::Utf8ToGbk(FormatFirstRecord(startTime)));

        std::deque<Entry> batch;
        for (;;) {
            if (event->Wait(kWakeCheckMs) == plat::WaitResult::Failed)
                std::this_thread::sleep_for(std::chrono::milliseconds(kWakeCheckMs));
            // Reset before taking the queue: a post after this point signals
            // again, so no message waits for a later post.
            event->Reset();
            bool stopSeen;
            {
                std::lock_guard lock(mutex);
                batch.swap(queue);
                stopSeen = stop;
            }
            if (!batch.empty()) {
                std::string text;
                for (const Entry& e : batch) text += FormatRecord(e.time, e.message);
                WriteAll(fd, plat::Utf8ToGbk(text));
                batch.clear();
            }
            // Stop queues the exit message under the same lock that sets the
            // flag, so it was in this batch and is the last record.
            if (stopSeen) break;
        }
        ::close(fd);
        return kLogOk;
    }
};

SystemLog::SystemLog() : state_(std::make_shared<State>()) {}

SystemLog::~SystemLog() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
        state_->accepting = false;
    }
    if (state_->event) state_->event->Set();
    if (state_->thread.joinable()) state_->thread.join();
}

void SystemLog::Start(const LogOptions& options) {
    State& s = *state_;
    if (s.thread.joinable()) {
        if (s.result.load() == kLogRunning) return;
        s.thread.join();
    }
    s.clock = options.clock ? options.clock : LocalClock(LocalNow);
    const std::tm startTime = s.clock();

    s.path.clear();
    const std::string moduleDir =
        options.moduleDir.empty() ? plat::ModuleDirectory() : options.moduleDir;
    if (!moduleDir.empty()) {
        const std::string dir = moduleDir + "/Log";
        plat::CreateDirectoryPath(dir);  // a failure shows when the file is created
        s.path = dir + "/" + LogFileName(startTime);
    }

    s.event.reset();
    s.event = plat::NamedEvent::Create(options.eventName, true, false);
    {
        std::lock_guard lock(s.mutex);
        s.queue.clear();
        s.stop = false;
        s.accepting = s.event != nullptr && !s.path.empty();
    }
    s.result = kLogRunning;
    s.thread = std::thread([st = state_, startTime] {
        pthread_setname_np(pthread_self(), "log");
        const int r = st->Run(startTime);
        if (r != kLogOk) st->Refuse();
        st->result = r;
    });
}

void SystemLog::Post(std::string message) {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        if (!s.accepting) return;
        s.queue.push_back(Entry{s.clock(), std::move(message)});
    }
    // accepting implies the event exists; it is replaced only by Start.
    s.event->Set();
}

void SystemLog::Stop() {
    State& s = *state_;
    bool wasAccepting;
    {
        std::lock_guard lock(s.mutex);
        wasAccepting = s.accepting;
        s.stop = true;
        if (wasAccepting) s.queue.push_back(Entry{s.clock(), kExitMessage});
        s.accepting = false;
    }
    if (s.event) s.event->Set();
    if (s.thread.joinable()) s.thread.join();
}

std::string SystemLog::FilePath() const {
    return state_->path;
}

int SystemLog::Result() const {
    return state_->result.load();
}

SystemLog& TheSystemLog() {
    static SystemLog log;
    return log;
}

void StartSystemLog(const LogOptions& options) {
    g_strLogFile.clear();
    TheSystemLog().Start(options);
    g_strLogFile = TheSystemLog().FilePath();
}

void PostLog(std::string message) {
    TheSystemLog().Post(std::move(message));
}

void PostLogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    if (n >= 0) PostLog(std::move(text));
}

void StopSystemLog() {
    TheSystemLog().Stop();
}

}  // namespace applog

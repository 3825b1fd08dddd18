// The GUI's message-box sink: shows a QMessageBox on the GUI thread. A caller
// on another thread waits for the answer; a call on the GUI thread shows the
// box directly.
#pragma once

#include <platform/notify.h>

#include <atomic>
#include <chrono>

class QtNotifySink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& request) override;

    // Unattended runs: every box also goes to stderr, and a box still open
    // at the deadline closes itself with its default answer (a box shown
    // after it closes at once). Without a deadline boxes wait for the operator.
    void SetDeadline(std::chrono::steady_clock::time_point at) {
        deadlineNs_ = at.time_since_epoch().count();
    }
    // While the program shuts down, boxes from other threads are answered
    // with their default at once, so no thread waits on a GUI that is leaving.
    void SetShuttingDown(bool on) { shuttingDown_ = on; }

private:
    int ShowOnGuiThread(const plat::MessageRequest& request);
    std::atomic<std::chrono::steady_clock::rep> deadlineNs_{0};  // 0: none
    std::atomic<bool> shuttingDown_{false};
};

// The GUI's message-box sink: shows a QMessageBox on the GUI thread. A caller
// on another thread waits for the answer; a call on the GUI thread shows the
// box directly.
#pragma once

#include <platform/notify.h>

#include <atomic>

class QtNotifySink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& request) override;

    // Unattended runs: every box also goes to stderr and closes itself with
    // its default answer after this many milliseconds (0: never).
    void SetAutoCloseMs(int ms) { autoCloseMs_ = ms; }
    // While the program shuts down, boxes from other threads are answered
    // with their default at once, so no thread waits on a GUI that is leaving.
    void SetShuttingDown(bool on) { shuttingDown_ = on; }

private:
    int ShowOnGuiThread(const plat::MessageRequest& request);
    std::atomic<int> autoCloseMs_{0};
    std::atomic<bool> shuttingDown_{false};
};

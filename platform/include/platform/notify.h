// Modal message boxes through a replaceable sink: the GUI installs one that
// shows a dialog, programs without a GUI print to stderr, tests capture.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_TYPEMASK = 0xF;

inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONSTOP = MB_ICONERROR;
inline constexpr unsigned MB_ICONHAND = MB_ICONERROR;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONEXCLAMATION = MB_ICONWARNING;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_ICONASTERISK = MB_ICONINFORMATION;
inline constexpr unsigned MB_ICONMASK = 0xF0;

inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_DEFMASK = 0xF00;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageRequest {
    std::string text, caption;
    unsigned type;
};

class NotifySink {
public:
    virtual ~NotifySink();
    virtual int Show(const MessageRequest& request) = 0;
};

// The answer of the button that `type` marks as default (MB_DEFBUTTONn).
int DefaultAnswer(unsigned type);

// The buttons of `type` in display order (e.g. {IDYES, IDNO}).
std::vector<int> ButtonsOf(unsigned type);

// Shows the box through the installed sink and returns the answer.
int MessageBox(std::string_view text, std::string_view caption, unsigned type);

// Installs a sink; null restores the default (stderr, default button).
void SetNotifySink(std::shared_ptr<NotifySink> sink);

class StderrSink : public NotifySink {
public:
    int Show(const MessageRequest& request) override;
};

// Records every request and answers from a scripted queue, else with the
// default button. Thread-safe.
class CapturingSink : public NotifySink {
public:
    int Show(const MessageRequest& request) override;
    std::vector<MessageRequest> Shown() const;
    void QueueAnswer(int answer);
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<MessageRequest> shown_;  // guarded by mutex_
    std::deque<int> answers_;            // guarded by mutex_
};

}  // namespace plat

// Message boxes through the installed sink.
#include "platform/notify.h"

#include <cstdio>

namespace plat {
namespace {

std::mutex g_sinkMutex;
std::shared_ptr<NotifySink> g_sink;  // guarded by g_sinkMutex; null means stderr

const char* ButtonText(int id) {
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDABORT:
            return "Abort";
        case IDRETRY:
            return "Retry";
        case IDIGNORE:
            return "Ignore";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
    }
    return "?";
}

}  // namespace

NotifySink::~NotifySink() = default;

std::vector<int> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

int DefaultAnswer(unsigned type) {
    auto buttons = ButtonsOf(type);
    std::size_t index = (type & MB_DEFMASK) >> 8;
    // A default beyond the last button falls back to the first.
    return index < buttons.size() ? buttons[index] : buttons.front();
}

int MessageBox(std::string_view text, std::string_view caption, unsigned type) {
    std::shared_ptr<NotifySink> sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    MessageRequest request{std::string(text), std::string(caption), type};
    if (!sink) return StderrSink().Show(request);
    return sink->Show(request);
}

void SetNotifySink(std::shared_ptr<NotifySink> sink) {
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

int StderrSink::Show(const MessageRequest& request) {
    int answer = DefaultAnswer(request.type);
    std::fprintf(stderr, "[%s] %s (%s)\n", request.caption.c_str(), request.text.c_str(),
                 ButtonText(answer));
    return answer;
}

int CapturingSink::Show(const MessageRequest& request) {
    std::lock_guard lock(mutex_);
    shown_.push_back(request);
    if (answers_.empty()) return DefaultAnswer(request.type);
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::vector<MessageRequest> CapturingSink::Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

void CapturingSink::QueueAnswer(int answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void CapturingSink::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

}  // namespace plat

#include "platform/beep.h"

namespace plat {
namespace {

std::mutex g_beepMutex;
std::shared_ptr<BeepSink> g_beepSink;  // guarded by g_beepMutex

}  // namespace

BeepSink::~BeepSink() = default;

void Beep(unsigned frequencyHz, unsigned durationMs) {
    std::shared_ptr<BeepSink> sink;
    {
        std::lock_guard lock(g_beepMutex);
        sink = g_beepSink;
    }
    if (sink) sink->Beep({frequencyHz, durationMs});
}

void SetBeepSink(std::shared_ptr<BeepSink> sink) {
    std::lock_guard lock(g_beepMutex);
    g_beepSink = std::move(sink);
}

void RecordingBeepSink::Beep(const BeepRequest& request) {
    std::lock_guard lock(mutex_);
    heard_.push_back(request);
}

std::vector<BeepRequest> RecordingBeepSink::Heard() const {
    std::lock_guard lock(mutex_);
    return heard_;
}

void RecordingBeepSink::Clear() {
    std::lock_guard lock(mutex_);
    heard_.clear();
}

}  // namespace plat

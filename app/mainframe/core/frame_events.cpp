#include "frame_events.h"

namespace mainframe {

bool FrameEvents::Create(const std::string& prefix) {
    bool ok = true;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        if (!events_[i])
            events_[i] = plat::NamedEvent::Create(prefix + kFrameEventNames[i], false, false);
        ok = ok && events_[i] != nullptr;
    }
    return ok;
}

void FrameEvents::Close() {
    for (auto& e : events_) e.reset();
}

}  // namespace mainframe

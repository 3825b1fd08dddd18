#include "mm_timer_slot.h"

#include <algorithm>

namespace mainframe {

unsigned TimerResolution(const plat::TimerCaps& caps) {
    return std::min(std::max(caps.periodMin, 1u), caps.periodMax);
}

bool MultimediaTimerSlot::Start(unsigned periodMs, std::function<void()> callback) {
    plat::TimerCaps caps{};
    if (plat::TimeGetDevCaps(&caps)) resolution_ = TimerResolution(caps);
    Kill();
    id_ = plat::TimeSetEvent(periodMs, resolution_, std::move(callback), true);
    return id_ != 0;
}

bool MultimediaTimerSlot::StartResting(unsigned periodMs, std::function<void()> callback) {
    plat::TimerCaps caps{};
    if (plat::TimeGetDevCaps(&caps)) resolution_ = TimerResolution(caps);
    Kill();
    id_ = plat::TimeSetRestingEvent(periodMs, resolution_, std::move(callback));
    return id_ != 0;
}

void MultimediaTimerSlot::Kill() {
    if (const plat::TimerId id = id_.exchange(0); id != 0) plat::TimeKillEvent(id);
}

}  // namespace mainframe

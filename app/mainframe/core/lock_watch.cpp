#include "lock_watch.h"

#include <limits>

namespace mainframe {

namespace {

LampImage Lamp(std::uint32_t word) {
    return word != 0 ? kLampLocked : kLampNotLocked;
}

}  // namespace

LockReading LockWatch::Update(const DemStatus& status, std::uint32_t dataSource,
                              bool superframeMode) {
    LockReading r;
    r.carrier = dataSource != 0 ? kLampNotApplicable : Lamp(status.载波状态);
    r.bitSync = Lamp(status.位同步);
    r.subframeSync = Lamp(status.子帧同步);
    r.superframeSync = superframeMode ? Lamp(status.副帧同步) : kLampNotApplicable;
    r.flags = {status.位同步 != 0, status.子帧同步 != 0, status.副帧同步 != 0};

    bool locked = r.flags.bitSync && r.flags.subframeSync;
    if (superframeMode) locked = locked && r.flags.superframeSync;
    if (locked)
        count_ = 0;
    else if (count_ < std::numeric_limits<int>::max())
        ++count_;
    r.syncLossCount = count_;
    return r;
}

}  // namespace mainframe

// The demodulator's lock state as the status view shows it: the four lamp
// images, the lock flags the network output reports, and the sync-loss
// counter that keeps recording and sending off until the card is in lock.
#pragma once

#include <bbdevice/dev_records.h>

#include <cstdint>

namespace mainframe {

// Lamp bitmaps by resource number.
enum LampImage : int {
    kLampNotLocked = 171,
    kLampNotApplicable = 172,
    kLampLocked = 173,
};

struct LockFlags {
    bool bitSync = false;
    bool subframeSync = false;
    bool superframeSync = false;
};

struct LockReading {
    LampImage carrier = kLampNotLocked;
    LampImage bitSync = kLampNotLocked;
    LampImage subframeSync = kLampNotLocked;
    LampImage superframeSync = kLampNotLocked;
    LockFlags flags;
    int syncLossCount = 0;  // after this reading
};

class LockWatch {
public:
    static constexpr int kInitialSyncLoss = 100;

    explicit LockWatch(int syncLossCount = kInitialSyncLoss) : count_(syncLossCount) {}

    // One status reading. The carrier lamp applies only to the receiver
    // (data source 0), the superframe lamp only in superframe mode; a lock
    // word counts as set when it is non-zero. The counter is 0 while in lock
    // and otherwise grows by one per reading, without wrapping.
    LockReading Update(const DemStatus& status, std::uint32_t dataSource, bool superframeMode);

    int SyncLossCount() const { return count_; }

private:
    int count_;
};

}  // namespace mainframe

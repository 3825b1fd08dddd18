// Lock lamps and the sync-loss counter from demodulator status readings.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "lock_watch.h"

using namespace mainframe;

namespace {

// A status reading with the four lock words at their byte offsets.
DemStatus Status(std::uint32_t carrier, std::uint32_t bit, std::uint32_t subframe,
                 std::uint32_t superframe) {
    unsigned char raw[sizeof(DemStatus)] = {};
    std::memcpy(raw + 28, &carrier, 4);
    std::memcpy(raw + 32, &bit, 4);
    std::memcpy(raw + 36, &subframe, 4);
    std::memcpy(raw + 40, &superframe, 4);
    DemStatus s;
    std::memcpy(&s, raw, sizeof s);
    return s;
}

TEST(LockWatch, SuperframeModeNeedsAllThreeSyncs) {
    struct Case {
        std::uint32_t bit, subframe, superframe;
        bool locked;
    } cases[] = {
        {1, 1, 1, true},  {0, 1, 1, false}, {1, 0, 1, false},
        {1, 1, 0, false}, {0, 0, 0, false}, {7, 0x80000000u, 2, true},  // non-zero counts as set
    };
    for (const Case& c : cases) {
        LockWatch w(5);
        const LockReading r = w.Update(Status(1, c.bit, c.subframe, c.superframe), 0, true);
        EXPECT_EQ(r.syncLossCount, c.locked ? 0 : 6) << c.bit << c.subframe << c.superframe;
        EXPECT_EQ(r.bitSync, c.bit ? kLampLocked : kLampNotLocked);
        EXPECT_EQ(r.subframeSync, c.subframe ? kLampLocked : kLampNotLocked);
        EXPECT_EQ(r.superframeSync, c.superframe ? kLampLocked : kLampNotLocked);
        EXPECT_EQ(r.flags.superframeSync, c.superframe != 0);
    }
}

TEST(LockWatch, OutsideSuperframeModeBitAndSubframeSyncDecide) {
    LockWatch w;
    LockReading r = w.Update(Status(1, 1, 1, 0), 0, false);
    EXPECT_EQ(r.syncLossCount, 0);
    EXPECT_EQ(r.superframeSync, kLampNotApplicable);
    r = w.Update(Status(1, 1, 0, 1), 0, false);
    EXPECT_EQ(r.syncLossCount, 1);
    EXPECT_EQ(r.superframeSync, kLampNotApplicable);
    EXPECT_TRUE(r.flags.superframeSync);  // kept as reported for the network output
}

TEST(LockWatch, CarrierLampAppliesOnlyToTheReceiver) {
    LockWatch w;
    EXPECT_EQ(w.Update(Status(1, 0, 0, 0), 0, true).carrier, kLampLocked);
    EXPECT_EQ(w.Update(Status(0, 0, 0, 0), 0, true).carrier, kLampNotLocked);
    for (std::uint32_t source : {1u, 2u, 3u, 99u}) {
        EXPECT_EQ(w.Update(Status(1, 1, 1, 1), source, true).carrier, kLampNotApplicable);
        EXPECT_EQ(w.Update(Status(0, 1, 1, 1), source, true).carrier, kLampNotApplicable);
    }
    // The carrier does not gate the counter.
    EXPECT_EQ(w.Update(Status(0, 1, 1, 1), 0, true).syncLossCount, 0);
}

TEST(LockWatch, CounterStartsAt100DropsToZeroInLockAndCountsUnlockedReadings) {
    LockWatch w;
    EXPECT_EQ(w.SyncLossCount(), 100);
    EXPECT_EQ(w.Update(Status(1, 1, 1, 1), 0, true).syncLossCount, 0);
    for (int i = 1; i <= 35; ++i) EXPECT_EQ(w.Update(Status(1, 0, 1, 1), 0, true).syncLossCount, i);
    EXPECT_EQ(w.Update(Status(1, 1, 1, 1), 0, true).syncLossCount, 0);
    EXPECT_EQ(w.SyncLossCount(), 0);
}

TEST(LockWatch, CounterSaturatesInsteadOfWrappingNegative) {
    LockWatch w(INT_MAX - 1);
    EXPECT_EQ(w.Update(Status(0, 0, 0, 0), 0, true).syncLossCount, INT_MAX);
    EXPECT_EQ(w.Update(Status(0, 0, 0, 0), 0, true).syncLossCount, INT_MAX);
}

}  // namespace

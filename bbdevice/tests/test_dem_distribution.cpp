// The data channels of a card as the device code drives them: open, a
// demodulator record, engine data and flush messages, and what reaches the
// caller's data callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "bbdevice/dev_records.h"
#include "dem_distribution.h"
#include "platform/notify.h"

using namespace bbdev;
using namespace std::chrono_literals;

namespace {

struct Delivered {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint8_t> bytes[2];
    std::vector<DemChannelDescriptor> descriptors;
    std::vector<std::uint32_t> blockSizes;
    std::uint32_t userValue = 0;
};
Delivered* g_delivered = nullptr;

int Collect(DemReportBlock* block) {
    std::lock_guard lock(g_delivered->m);
    const std::uint32_t k = block->descriptor.channel;
    g_delivered->bytes[k].insert(g_delivered->bytes[k].end(), block->data,
                                 block->data + block->byteCount);
    g_delivered->descriptors.push_back(block->descriptor);
    g_delivered->blockSizes.push_back(block->byteCount);
    g_delivered->userValue = block->userValue;
    g_delivered->cv.notify_all();
    return 0;
}

DemParam Dem(std::uint32_t words, std::uint32_t bits, std::uint32_t minors, std::uint32_t rate) {
    DemParam p;
    FillDefault(p);
    p.子帧长 = words;
    p.字长 = bits;
    p.副帧长 = minors;
    p.码率 = rate;
    return p;
}

// Tagged minor frames as a card sends them: a BCD-like tag with the index in
// its major frame at byte 6, then words carrying the running frame number.
std::vector<std::uint8_t> TaggedFrames(std::uint32_t first, std::uint32_t count,
                                       std::uint32_t wordBytes, std::uint32_t minors) {
    std::vector<std::uint8_t> v;
    for (std::uint32_t f = first; f < first + count; ++f) {
        const std::uint8_t tag[8] = {0x12, 0x34, 0x56, 0x07, 0x08, 0x00, std::uint8_t(f % minors),
                                     0x00};
        v.insert(v.end(), tag, tag + 8);
        for (std::uint32_t b = 0; b < wordBytes; ++b) v.push_back(std::uint8_t(f * 31 + b));
    }
    return v;
}

class DemDistributionTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_delivered = &delivered;
        sink = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink);
    }
    void TearDown() override {
        dist.Close();
        plat::SetNotifySink(nullptr);
        g_delivered = nullptr;
    }
    bool WaitForBytes(std::uint32_t channel, std::size_t n) {
        std::unique_lock lock(delivered.m);
        return delivered.cv.wait_for(lock, 5s,
                                     [&] { return delivered.bytes[channel].size() >= n; });
    }
    void Feed(std::uint32_t channel, const std::vector<std::uint8_t>& stream, std::size_t piece) {
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            const std::size_t n = std::min(piece, stream.size() - at);
            dist.OnDataMessage(channel, std::span(stream).subspan(at, n));
        }
    }

    Delivered delivered;
    std::shared_ptr<plat::CapturingSink> sink;
    CDemDistribution dist{0};
};

}  // namespace

TEST_F(DemDistributionTest, DeliversTheStreamInThresholdBatchesWithItsDescriptor) {
    ASSERT_TRUE(dist.Open(Collect, 0xC0FFEE, 1));
    const DemParam p = Dem(24, 8, 4, 4000000);
    dist.Restart(p, {}, false);
    EXPECT_TRUE(dist.Channel(0).Active());
    EXPECT_FALSE(dist.Channel(1).Active());

    // 64 minor frames in messages that cut across frame boundaries.
    const auto stream = TaggedFrames(0, 64, 24, 4);
    Feed(0, stream, 100);
    ASSERT_TRUE(WaitForBytes(0, stream.size()));
    std::lock_guard lock(delivered.m);
    EXPECT_EQ(delivered.bytes[0], stream);
    for (std::uint32_t n : delivered.blockSizes) EXPECT_EQ(n % 1024, 0u);
    const DemChannelDescriptor& d = delivered.descriptors.front();
    EXPECT_EQ(d.channel, 0u);
    EXPECT_EQ(d.码率, 4000000u);
    EXPECT_EQ(d.bytesPerMajorFrame, 128u);
    EXPECT_EQ(d.tagBytesPerMinorFrame, 8u);
    EXPECT_EQ(delivered.userValue, 0xC0FFEEu);
    EXPECT_TRUE(sink->Shown().empty());
}

TEST_F(DemDistributionTest, FlushDeliversWholeMajorFramesBelowTheThreshold) {
    ASSERT_TRUE(dist.Open(Collect, 1, 1));
    dist.Restart(Dem(24, 8, 4, 4000000), {}, false);
    const auto stream = TaggedFrames(0, 22, 24, 4);  // 5 major frames and 2 minor frames
    Feed(0, stream, 32);
    dist.OnDemodulatorMessage(5, {});
    ASSERT_TRUE(WaitForBytes(0, 5 * 128));
    std::lock_guard lock(delivered.m);
    EXPECT_EQ(delivered.bytes[0], std::vector<std::uint8_t>(stream.begin(), stream.begin() + 640));
    // One block, the flush's: nothing went out below the 1024-byte threshold.
    EXPECT_EQ(delivered.blockSizes, std::vector<std::uint32_t>{640});
}

TEST_F(DemDistributionTest, HostTagsRunFromTheTimeRecordAndTenBitWordsTakeTwoBytes) {
    ASSERT_TRUE(dist.Open(Collect, 1, 1));
    DemParam p = Dem(8, 10, 2, 1000000);  // 80 us per minor frame
    p.配时精度 = 1;
    p.时统模式 = 1;
    std::uint8_t records[32] = {};
    records[16] = 1;  // record 1: day 1, 00:00:00.000; record 0 stays day 0
    records[0] = 7;
    dist.Restart(p, records, false);
    const auto stream = TaggedFrames(0, 42, 16, 2);  // 21 major frames of 48 bytes: 1008
    Feed(0, stream, stream.size());
    ASSERT_TRUE(WaitForBytes(0, stream.size()));
    std::lock_guard lock(delivered.m);
    const auto& got = delivered.bytes[0];
    for (std::uint32_t f = 0; f < 42; ++f) {
        const std::uint8_t* tag = &got[f * 24];
        std::uint64_t t = 0;
        for (int i = 7; i >= 0; --i) t = t << 8 | tag[i];
        EXPECT_EQ(t & 0xFFFFF, 80u * f) << f;
        EXPECT_EQ(t >> 20 & 0x1FFFF, 0u);
        EXPECT_EQ(t >> 37 & 0x1FF, 1u);
        EXPECT_EQ(tag[6], f % 2);
        EXPECT_EQ(tag[7], 0x40);
        EXPECT_EQ(std::memcmp(tag + 8, &stream[f * 24 + 8], 16), 0);
    }
}

TEST_F(DemDistributionTest, TagsAreDroppedWithoutTagDensity) {
    ASSERT_TRUE(dist.Open(Collect, 1, 1));
    DemParam p = Dem(24, 8, 4, 100000);  // slow: one major frame per report
    p.配时密度 = 0;
    dist.Restart(p, {}, false);
    const auto stream = TaggedFrames(0, 8, 24, 4);
    Feed(0, stream, 7);
    ASSERT_TRUE(WaitForBytes(0, 8 * 24));
    std::lock_guard lock(delivered.m);
    ASSERT_EQ(delivered.bytes[0].size(), 8u * 24);
    for (std::uint32_t f = 0; f < 8; ++f) {
        EXPECT_EQ(std::memcmp(&delivered.bytes[0][f * 24], &stream[f * 32 + 8], 24), 0);
    }
    EXPECT_EQ(delivered.descriptors.front().tagBytesPerMinorFrame, 0u);
}

TEST_F(DemDistributionTest, ChannelOneFollowsTheDecipherSwitch) {
    ASSERT_TRUE(dist.Open(Collect, 1, 1));
    const DemParam p = Dem(24, 8, 4, 100000);
    dist.Restart(p, {}, false);
    EXPECT_FALSE(dist.Channel(1).Active());
    dist.Restart(p, {}, true);
    EXPECT_TRUE(dist.Channel(1).Active());
    const auto stream = TaggedFrames(0, 4, 24, 4);
    dist.OnDemodulatorMessage(6, stream);
    ASSERT_TRUE(WaitForBytes(1, stream.size()));
    std::lock_guard lock(delivered.m);
    EXPECT_EQ(delivered.bytes[1], stream);
    EXPECT_EQ(delivered.descriptors.back().channel, 1u);
}

TEST_F(DemDistributionTest, DisabledReportingRefusesDataAndCountsNothing) {
    ASSERT_TRUE(dist.Open(Collect, 1, 1));
    dist.Restart(Dem(24, 8, 4, 100000), {}, false);
    EXPECT_TRUE(dist.EnableReport(0, 0));
    dist.OnDataMessage(0, TaggedFrames(0, 8, 24, 4));
    std::uint32_t count = 99, rate = 99;
    dist.DataMessageStatus(&count, &rate);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(dist.EnableReport(0, 1));
    dist.OnDataMessage(0, TaggedFrames(0, 4, 24, 4));
    dist.OnDataMessage(0, TaggedFrames(4, 4, 24, 4));
    dist.DataMessageStatus(&count, &rate);
    EXPECT_EQ(count, 2u);
    ASSERT_TRUE(WaitForBytes(0, 2 * 128));
    std::lock_guard lock(delivered.m);
    EXPECT_EQ(delivered.bytes[0], TaggedFrames(0, 8, 24, 4));
}

TEST(DemStatusRate, CountsPerSecondAndNoRateWithoutElapsedTime) {
    std::uint32_t count = 0, rate = 0;
    DemStatusRate({10, 1000, 3000}, &count, &rate);
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(rate, 5u);
    DemStatusRate({3, 1000, 1001}, &count, &rate);
    EXPECT_EQ(rate, 3000u);
    DemStatusRate({2, 1000, 1003}, &count, &rate);
    EXPECT_EQ(rate, 667u);  // 666.67 rounded
    DemStatusRate({1, 500, 500}, &count, &rate);
    EXPECT_EQ(rate, 0u);
    DemStatusRate({}, &count, &rate);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(rate, 0u);
}

TEST(DemDistributionOpen, ARingThatCannotBeCreatedFailsTheOpenWithItsMessage) {
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    CDemDistribution dist(0);
    EXPECT_FALSE(dist.Open(Collect, 0, std::size_t{1} << 62));
    EXPECT_FALSE(dist.IsOpen());
    ASSERT_EQ(sink->Shown().size(), 1u);
    EXPECT_EQ(sink->Shown()[0].text, "数据缓冲器创建失败！");
    EXPECT_FALSE(dist.Channel(0).HasRing());
    plat::SetNotifySink(nullptr);
}

namespace {

// Holds the report thread in its first callback until released.
std::atomic<bool> g_holding{false}, g_release{false};
int HoldFirst(DemReportBlock* block) {
    if (!g_holding.exchange(true))
        while (!g_release) std::this_thread::sleep_for(1ms);
    return Collect(block);
}

}  // namespace

TEST_F(DemDistributionTest, DataLostBehindAHeldCallbackAreCountedAndTheRestDelivered) {
    ASSERT_TRUE(dist.Open(HoldFirst, 1, 1));  // the smallest ring, 8 MiB
    dist.Restart(Dem(24, 8, 4, 4000000), {}, false);
    const std::uint64_t capacity = CShareRing::kMinBytes;
    const auto first = TaggedFrames(0, 32, 24, 4);  // one threshold
    Feed(0, first, first.size());
    while (!g_holding) std::this_thread::sleep_for(1ms);
    // 1 MiB more than the ring holds arrives while the callback is held.
    const auto stream = TaggedFrames(32, std::uint32_t((capacity + 1048576) / 32), 24, 4);
    Feed(0, stream, 65536);
    EXPECT_EQ(dist.Channel(0).LostBytes(), 0u);  // nothing is lost until the reader skips
    g_release = true;
    ASSERT_TRUE(WaitForBytes(0, first.size() + capacity));
    EXPECT_EQ(dist.Channel(0).LostBytes(), stream.size() - capacity);
    std::lock_guard lock(delivered.m);
    EXPECT_EQ(delivered.bytes[0].size(), first.size() + capacity);
}

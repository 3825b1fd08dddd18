// Steady frames: with --dem-steady the frames of a staircase and a sine task
// repeat but for the counter words and the tags; a bit error changes only
// the last signal word.
#include <gtest/gtest.h>

#include <vector>

#include "dem_frame_options.h"
#include "dem_frames.h"

namespace {

constexpr std::uint32_t kWords = 8, kMinors = 2;
constexpr std::size_t kRecord = 8 + kWords;
constexpr std::uint32_t kCounterPos = 2, kSinePos = 4;

std::vector<std::uint8_t> Frames(const cardengine::DemFaults& faults, std::size_t frames) {
    DemParam dem{};
    dem.字长 = 8;
    dem.子帧长 = kWords;
    dem.副帧长 = kMinors;
    dem.码率 = 1000000;
    SimParam sim{};
    sim.信号类型 = 2;  // staircase
    sim.信号初值 = 0x21;
    sim.台阶码步进 = 1;
    sim.正弦波使能 = 1;
    sim.正弦波路序 = kSinePos;
    sim.正弦波步进 = 16;
    sim.帧计数低位使能 = 1;
    sim.帧计数低位路序 = kCounterPos;
    cardengine::DemFrameGenerator gen;
    gen.Configure(dem, sim, 0, faults);
    std::vector<std::uint8_t> out(frames * kRecord);
    std::size_t written = 0;
    gen.Generate(out.data(), out.size(), frames, &written);
    EXPECT_EQ(written, out.size());
    return out;
}

// The bytes of minor frame i that differ from minor frame 0, other than the
// tag and the counter word.
std::vector<std::size_t> Changed(const std::vector<std::uint8_t>& f, std::size_t i) {
    std::vector<std::size_t> out;
    for (std::size_t k = 8; k < kRecord; ++k)
        if (k != 8 + kCounterPos - 1 && f[i * kRecord + k] != f[k]) out.push_back(k - 8);
    return out;
}

TEST(DemSteadyTest, FramesRepeatButForTheCounter) {
    cardengine::DemFrameOptions o;
    ASSERT_TRUE(cardengine::ParseDemFrameFlag("--dem-steady", o));
    const std::vector<std::uint8_t> steady = Frames(o.faults, 6);
    for (std::size_t i = 1; i < 6; ++i) EXPECT_TRUE(Changed(steady, i).empty()) << i;
    EXPECT_EQ(steady[8], 0x21);
    EXPECT_NE(steady[8 + kCounterPos - 1], steady[kRecord + 8 + kCounterPos - 1]);
    // Without the switch the staircase and the sine move.
    const std::vector<std::uint8_t> moving = Frames({}, 6);
    EXPECT_FALSE(Changed(moving, 1).empty());
}

TEST(DemSteadyTest, BitErrorFlipsTheLastSignalWordOnly) {
    cardengine::DemFaults f;
    f.steady = true;
    f.bitErrorEvery = 3;
    const std::vector<std::uint8_t> frames = Frames(f, 6);
    EXPECT_TRUE(Changed(frames, 1).empty());
    EXPECT_EQ(Changed(frames, 2), (std::vector<std::size_t>{kWords - 1}));
    EXPECT_EQ(frames[2 * kRecord + 8 + kWords - 1] ^ frames[8 + kWords - 1], 0x01);
    EXPECT_EQ(Changed(frames, 5), (std::vector<std::size_t>{kWords - 1}));
}

}  // namespace

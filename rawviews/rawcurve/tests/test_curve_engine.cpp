// The curve window's data side without a window: what a hand-off becomes as
// points and frame code, the bounded queue, the whole-frame exchange and the
// worker thread.
#include <gtest/gtest.h>
#include <rawcurve/curve_engine.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testsupport/wait.h"

namespace rawcurve {
namespace {

using namespace std::chrono_literals;

_FRAME_STRUCT_PARAM_EX Shape(int words, int subframes, int wordBits, int frames = 1) {
    _FRAME_STRUCT_PARAM_EX f{};
    f.nWordsPerSubframe = std::uint16_t(words);
    f.nSubframes = std::uint16_t(subframes);
    f.nFrameWords = std::int32_t(std::uint32_t(words) * std::uint32_t(subframes));
    f.nWordBits = std::uint8_t(wordBits);
    f.nWordBytes = std::uint8_t((wordBits + 7) / 8);
    f.nTimeBytes = 8;
    f.nBitRate = 4000000;
    f.fFramePeriod = 0.192f;
    f.nFramesPerBuffer = std::int16_t(frames);
    return f;
}

// Frames of 8-bit words: word w (0-based) of subframe r of frame n holds
// (n * 16 + r * 4 + w) & 0xFF; tags are 0xA0 + byte index.
std::vector<std::uint8_t> Frames8(int words, int subframes, int frames, int first = 0) {
    std::vector<std::uint8_t> out;
    for (int n = first; n < first + frames; ++n)
        for (int r = 0; r < subframes; ++r) {
            for (int t = 0; t < 8; ++t) out.push_back(std::uint8_t(0xA0 + t));
            for (int w = 0; w < words; ++w) out.push_back(std::uint8_t(n * 16 + r * 4 + w));
        }
    return out;
}

std::vector<std::uint32_t> Points(const CurveEngine& e, int channel, std::size_t max = 100000) {
    CurveSnapshot s;
    e.Read(s, max);
    return s.channel[channel].values;
}

CurverSettings Channels(std::initializer_list<int> positions) {
    CurverSettings s;
    int k = 0;
    for (int p : positions) s.channel[k++] = p;
    return s;
}

TEST(CurveEngine, SubframeModeGivesOnePointPerSubframeForEveryChannel) {
    CurveEngine e(nullptr, Channels({1, 2, 3, 4, 5, 6, 7, 8}));
    _FRAME_STRUCT_PARAM_EX f = Shape(10, 4, 8, 2);
    std::vector<std::uint8_t> data = Frames8(10, 4, 2);
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    EXPECT_FALSE(e.ProcessOne());
    EXPECT_EQ(Points(e, 0), (std::vector<std::uint32_t>{0, 4, 8, 12, 16, 20, 24, 28}));
    EXPECT_EQ(Points(e, 2), (std::vector<std::uint32_t>{2, 6, 10, 14, 18, 22, 26, 30}));
    EXPECT_EQ(Points(e, 7).size(), 8u);
}

TEST(CurveEngine, WholeFrameModeCountsPositionsThroughTheFrame) {
    CurverSettings s = Channels({1, 12, 40, 41});
    s.nShowWfMode = 1;
    CurveEngine e(nullptr, s);
    _FRAME_STRUCT_PARAM_EX f = Shape(10, 4, 8, 3);
    f.nShowWholeFrame = 1;
    std::vector<std::uint8_t> data = Frames8(10, 4, 3);
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    EXPECT_EQ(Points(e, 0), (std::vector<std::uint32_t>{0, 16, 32}));
    // Position 12: subframe 1, word 1.
    EXPECT_EQ(Points(e, 1), (std::vector<std::uint32_t>{5, 21, 37}));
    EXPECT_EQ(Points(e, 2), (std::vector<std::uint32_t>{21, 37, 53}));
    // Position 41 is beyond the 40 words of the frame: nothing.
    CurveSnapshot snap;
    e.Read(snap, 100);
    EXPECT_FALSE(snap.channel[3].valid);
    EXPECT_TRUE(snap.channel[3].values.empty());
}

TEST(CurveEngine, PositionsOutsideTheFrameOrBeyondTheCapDrawNothing) {
    CurveEngine e(nullptr, Channels({11, 0, -5, 10, 2048, 2049, 1, 1}));
    _FRAME_STRUCT_PARAM_EX small = Shape(10, 2, 8);
    std::vector<std::uint8_t> data = Frames8(10, 2, 1);
    ASSERT_EQ(e.SetData(&small, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    CurveSnapshot s;
    e.Read(s, 100);
    EXPECT_FALSE(s.channel[0].valid);
    EXPECT_FALSE(s.channel[1].valid);
    EXPECT_FALSE(s.channel[2].valid);
    EXPECT_TRUE(s.channel[3].valid);
    EXPECT_EQ(s.channel[3].values, (std::vector<std::uint32_t>{9, 13}));

    // 3000 words per subframe: only the first 2048 are read.
    _FRAME_STRUCT_PARAM_EX wide = Shape(3000, 1, 8);
    std::vector<std::uint8_t> big(8 + 3000, 0x11);
    ASSERT_EQ(e.SetData(&wide, big.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    e.Read(s, 100);
    EXPECT_TRUE(s.channel[4].valid);
    EXPECT_EQ(s.channel[4].values, (std::vector<std::uint32_t>{0x11}));
    EXPECT_FALSE(s.channel[5].valid);
}

TEST(CurveEngine, BitsLimitMasksPointsAndFrameCodeWordsButNotTheTag) {
    CurverSettings s = Channels({1, 2});
    s.nDataBitsLimit = 1;
    CurveEngine e(nullptr, s);
    _FRAME_STRUCT_PARAM_EX f = Shape(6, 1, 12);  // 2 bytes per word
    std::vector<std::uint8_t> data = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xAB, 0xCD,
                                      0x12, 0x34, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03};
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    CurveSnapshot snap;
    e.Read(snap, 10);
    EXPECT_EQ(snap.channel[0].values, (std::vector<std::uint32_t>{0xBCD}));
    EXPECT_EQ(snap.channel[1].values, (std::vector<std::uint32_t>{0x234}));
    EXPECT_EQ(snap.frameCode, "帧码: F1 F2 F3 F4 F5 F6 F7 F8 0B CD 02 34 0F FF 00 01");

    s.nDataBitsLimit = 0;
    e.SetSettings(s);
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    e.Read(snap, 10);
    EXPECT_EQ(snap.channel[0].values, (std::vector<std::uint32_t>{0xBCD, 0xABCD}));
    EXPECT_EQ(snap.frameCode, "帧码: F1 F2 F3 F4 F5 F6 F7 F8 AB CD 12 34 FF FF 00 01");
}

TEST(CurveEngine, FrameCodeShowsWhatAShortFrameHas) {
    CurveEngine e(nullptr, CurverSettings{});
    _FRAME_STRUCT_PARAM_EX f = Shape(2, 1, 8);
    std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8, 0xEB, 0x90};
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    CurveSnapshot snap;
    e.Read(snap, 10);
    EXPECT_EQ(snap.frameCode, "帧码: 01 02 03 04 05 06 07 08 EB 90");
}

TEST(CurveEngine, RecordsWithZeroSizesNegativeCountsOrHugeFramesAreRefused) {
    CurveEngine e(nullptr, CurverSettings{});
    std::vector<std::uint8_t> data = Frames8(10, 4, 1);
    _FRAME_STRUCT_PARAM_EX f = Shape(10, 4, 8);
    f.nWordsPerSubframe = 0;
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    f = Shape(10, 4, 8);
    f.nSubframes = 0;
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    f = Shape(10, 4, 8);
    f.nWordBytes = 0;
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    f = Shape(10, 4, 8, -1);
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    f = Shape(65535, 65535, 32);  // about 16 GiB per frame
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    f = Shape(60000, 300, 32, 2);  // 72 MB in two frames
    EXPECT_EQ(e.SetData(&f, data.data()), 0);
    EXPECT_EQ(e.SetData(nullptr, data.data()), 0);
    f = Shape(10, 4, 8);
    EXPECT_EQ(e.SetData(&f, nullptr), 0);
    EXPECT_EQ(e.Queued(), 0u);
    // No frame count is one frame.
    f = Shape(10, 4, 8, 0);
    EXPECT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    EXPECT_EQ(Points(e, 0).size(), 4u);
}

TEST(CurveEngine, LaggingWorkerDropsTheOldestHandOffsAndCountsThem) {
    CurveEngine e(nullptr, Channels({1}));
    _FRAME_STRUCT_PARAM_EX f = Shape(4, 1, 8);
    for (int n = 0; n < 100; ++n) {
        std::vector<std::uint8_t> data = Frames8(4, 1, 1, n);
        ASSERT_EQ(e.SetData(&f, data.data()), 1);
    }
    EXPECT_EQ(e.Queued(), CurveQueue::kSlots);
    EXPECT_EQ(e.Dropped(), 100u - CurveQueue::kSlots);
    while (e.ProcessOne()) {
    }
    std::vector<std::uint32_t> expect;
    for (int n = 100 - int(CurveQueue::kSlots); n < 100; ++n) expect.push_back((n * 16) & 0xFF);
    EXPECT_EQ(Points(e, 0), expect);
}

TEST(CurveEngine, LargerFramesGrowTheSlotsAndAreCopiedWhole) {
    CurveEngine e(nullptr, Channels({1}));
    // 4 frames of 40,000 bytes: beyond the slots' first size.
    _FRAME_STRUCT_PARAM_EX f = Shape(9992, 4, 8, 4);
    std::vector<std::uint8_t> data(4 * 4 * 10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i / 10000);
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.ProcessOne());
    std::vector<std::uint32_t> expect;
    for (int r = 0; r < 16; ++r) expect.push_back(std::uint32_t(r));
    EXPECT_EQ(Points(e, 0), expect);
}

TEST(CurveEngine, RingKeepsTheNewestTenThousandPointsInOrder) {
    CurveEngine e(nullptr, Channels({1}));
    _FRAME_STRUCT_PARAM_EX f = Shape(1, 100, 16, 10);  // 1000 points per hand-off
    std::vector<std::uint8_t> data(10 * 100 * 10);
    std::uint32_t next = 0;
    for (int h = 0; h < 20; ++h) {
        for (int i = 0; i < 1000; ++i, ++next) {
            data[std::size_t(i) * 10 + 8] = std::uint8_t(next >> 8);
            data[std::size_t(i) * 10 + 9] = std::uint8_t(next);
        }
        ASSERT_EQ(e.SetData(&f, data.data()), 1);
        ASSERT_TRUE(e.ProcessOne());
    }
    const std::vector<std::uint32_t> p = Points(e, 0, 10000);
    ASSERT_EQ(p.size(), 10000u);
    for (std::size_t i = 0; i < p.size(); ++i) ASSERT_EQ(p[i], 10000 + i) << i;
}

TEST(CurveEngine, WholeFrameChoiceOfTheWindowReachesTheCallersRecordAndBack) {
    CurverSettings s;
    s.nShowWfMode = 1;
    _FRAME_STRUCT_PARAM_EX f = Shape(10, 4, 8);
    CurveEngine e(&f, s);
    std::vector<std::uint8_t> data = Frames8(10, 4, 1);
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    EXPECT_EQ(f.nShowWholeFrame, 1);  // the window's stored choice
    int mode = -1;
    EXPECT_FALSE(e.TakeCallerWholeFrame(mode));

    f.nShowWholeFrame = 0;  // the caller switches back
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    ASSERT_TRUE(e.TakeCallerWholeFrame(mode));
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(e.Settings().nShowWfMode, 0);

    s.nShowWfMode = 1;  // and the window's menu again
    e.SetSettings(s);
    f.nShowWholeFrame = 0;
    ASSERT_EQ(e.SetData(&f, data.data()), 1);
    EXPECT_EQ(f.nShowWholeFrame, 1);
}

TEST(CurveEngine, WorkerPreparesWhatTheDataThreadQueuesAndStopsOnRequest) {
    CurveEngine e(nullptr, Channels({1, 2}));
    e.Start();
    EXPECT_TRUE(e.Running());
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        _FRAME_STRUCT_PARAM_EX f = Shape(10, 4, 8, 2);
        std::vector<std::uint8_t> data = Frames8(10, 4, 2);
        while (!stop) {
            e.SetData(&f, data.data());
            std::this_thread::yield();
        }
    });
    EXPECT_WAIT_UNTIL(Points(e, 1).size() >= 1000, 20s);
    stop = true;
    producer.join();
    e.Stop();
    EXPECT_FALSE(e.Running());
    e.Stop();
    const std::vector<std::uint32_t> p = Points(e, 1);
    for (std::size_t i = 0; i < p.size(); ++i) ASSERT_EQ(p[i], 1 + 4 * (i % 8)) << i;
}

TEST(CaptionText, FrameLineOfTheEnginesDefaultTaskAndTheErrorLine) {
    const _FRAME_STRUCT_PARAM_EX f = Shape(24, 4, 8);
    char line[rawviews::kCaptionTextMax];
    rawviews::FormatFrameLine(line, sizeof line, f);
    EXPECT_EQ(std::string("源码曲线显示") + line,
              "源码曲线显示：码速率4000000bps，字长8, 帧格式24×4，帧长96，帧周期0.192ms ");
    _ERROR_CODE_STATISTIC err{};
    err.dCodeCount = 123456;
    err.dErrorCount = 7;
    err.dErrorRate = 7.0 / 123456;
    rawviews::FormatErrorLine(line, sizeof line, err);
    EXPECT_STREQ(line, "    码元计数: 000000123456 误码个数: 000000000007 误码率:5.670036e-05");
}

}  // namespace
}  // namespace rawcurve

// cardengine -> BB_OpenDevice's link -> data channel -> data callback: every generated
// minor frame arrives once and in order. The frames are checked against what
// the demodulator record says they hold, not against the generator's code.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dev_records.h>
#include <bbdevice/wire/engine_message.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

using namespace bbdev;
using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

constexpr std::uint32_t kFrames = 2000;  // minor frames per case, whole major frames
constexpr std::uint32_t kWords = 12, kMinors = 4, kRate = 8000000;
constexpr std::uint32_t kCyclicPosition = kWords + 9;  // word 9 of minor frame 1

struct Collected {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint8_t> bytes;       // channel 0
    std::vector<std::uint8_t> deciphered;  // channel 1
} g_collected;

int Collect(DemReportBlock* block) {
    std::lock_guard lock(g_collected.m);
    auto& to = block->descriptor.channel == 0 ? g_collected.bytes : g_collected.deciphered;
    to.insert(to.end(), block->data, block->data + block->byteCount);
    g_collected.cv.notify_all();
    return 0;
}

// The card opened through the exports, its engine on the loopback port.
class ExportDevice {
public:
    bool Open(std::uint16_t port) {
        ::setenv("TALVORA_ENGINE", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
        CardFunctionInfo info{};
        return BB_OpenDevice(0, Collect, 7, &info) != 0;
    }
    bool SetDem(DemParam& p) { return BB_SetDemParam(0, &p) != 0; }
    void Close() { BB_CloseDevice(0); }
};

struct Case {
    std::uint32_t bits, type, hostTags;
};

std::uint64_t Word(const std::uint8_t* words, std::uint32_t position, std::uint32_t bytes) {
    std::uint64_t v = 0;
    for (std::uint32_t b = 0; b < bytes; ++b) v = v << 8 | words[(position - 1) * bytes + b];
    return v;
}

// Checks every record of one case and counts the minor frames.
void CheckStream(const std::vector<std::uint8_t>& s, const Case& c, const DemParam& p,
                 std::uint32_t* frameCount) {
    const std::uint32_t B = (c.bits + 7) / 8, R = 8 + kWords * B;
    const std::uint64_t mask = (1ull << c.bits) - 1;
    EXPECT_EQ(s.size() % R, 0u);
    const std::uint32_t frames = std::uint32_t(s.size() / R);
    *frameCount = frames;
    // The 16-bit sync pattern, most significant bit first over whole words.
    const std::uint64_t sync0 =
        c.bits >= 16 ? 0xEB90ull << (c.bits - 16) : 0xEB90ull >> (16 - c.bits);
    const std::uint64_t sync1 = c.bits >= 16 ? 0 : (0xEB90ull << (2 * c.bits - 16)) & mask;
    const double stepUs = double(kWords) * c.bits * 1e6 / kRate;
    std::uint64_t firstTagUs = 0;
    for (std::uint32_t f = 0; f < frames; ++f) {
        const std::uint8_t* rec = &s[std::size_t{f} * R];
        const std::uint8_t* w = rec + 8;
        const std::uint32_t index = f % kMinors;
        ASSERT_EQ(rec[6], index) << "frame " << f;
        if (c.hostTags) {
            ASSERT_EQ(rec[7], 0x40) << "frame " << f;
            std::uint64_t tag = 0;
            for (int i = 7; i >= 0; --i) tag = tag << 8 | rec[i];
            const std::uint64_t us = (tag >> 20 & 0x1FFFF) * 1000000 + (tag & 0xFFFFF);
            if (f == 0) firstTagUs = us;
            EXPECT_NEAR(double(us - firstTagUs), f * stepUs, 1.0) << "frame " << f;
        } else {
            ASSERT_EQ(rec[7], 0) << "frame " << f;
            for (int i = 0; i < 4; ++i) {
                ASSERT_LE(rec[i] & 0x0F, 9) << "BCD digit, frame " << f;
                ASSERT_LE(rec[i] >> 4, 9) << "BCD digit, frame " << f;
            }
        }
        ASSERT_EQ(Word(w, 1, B), sync0) << "frame " << f;
        if (c.bits < 16) {
            ASSERT_EQ(Word(w, 2, B), sync1) << "frame " << f;
        }
        // Counter: high, middle, low word at 3, 4, 5.
        const std::uint64_t counter =
            Word(w, 3, B) << (2 * c.bits) | Word(w, 4, B) << c.bits | Word(w, 5, B);
        ASSERT_EQ(counter, f) << "frame counter";
        if (c.type == 2) {
            ASSERT_EQ(Word(w, p.副帧路序, B), (kMinors - 1 - index) & mask) << "ID counts down";
        }
        if (c.type == 3 && index == (kCyclicPosition - 1) / kWords) {
            ASSERT_EQ(Word(w, (kCyclicPosition - 1) % kWords + 1, B), p.副帧同步码 & mask);
        }
    }
}

class DemEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard lock(g_collected.m);
            g_collected.bytes.clear();
        }
        ASSERT_TRUE(engine.started());
        ASSERT_TRUE(device.Open(engine.port()));
    }
    void TearDown() override { device.Close(); }

    void RunCase(const Case& c) {
        SCOPED_TRACE(testing::Message()
                     << "bits " << c.bits << " type " << c.type << " host tags " << c.hostTags);
        DemParam p;
        FillDefault(p);
        p.字长 = c.bits;
        p.子帧长 = kWords;
        p.副帧长 = kMinors;
        p.码率 = kRate;
        p.副帧类型 = c.type;
        p.副帧路序 = c.type == 3 ? kCyclicPosition : 7;
        p.配时精度 = c.hostTags;
        {
            std::lock_guard lock(g_collected.m);
            g_collected.bytes.clear();
        }
        ASSERT_TRUE(device.SetDem(p));
        const std::size_t expected = std::size_t{kFrames} * (8 + kWords * ((c.bits + 7) / 8));
        std::vector<std::uint8_t> got;
        {
            std::unique_lock lock(g_collected.m);
            g_collected.cv.wait_for(lock, 20s,
                                    [&] { return g_collected.bytes.size() >= expected; });
            got = g_collected.bytes;
        }
        std::uint32_t frames = 0;
        CheckStream(got, c, p, &frames);
        EXPECT_EQ(frames, kFrames);
        DemStatus status{};
        ASSERT_TRUE(BB_GetDemStatus(0, 0, &status));
        EXPECT_GT(status.dataMessageCount, 0u) << "data messages since this record";
    }

    EngineProcess engine{{"--dem-frames", std::to_string(kFrames)}};
    ExportDevice device;
};

}  // namespace

TEST_F(DemEngineTest, EveryMinorFrameOnceAndInOrder) {
    for (std::uint32_t bits : {8u, 10u, 16u})
        for (std::uint32_t type : {0u, 2u, 3u})
            for (std::uint32_t host : {0u, 1u}) RunCase({bits, type, host});
}

TEST_F(DemEngineTest, WithTheCipherSwitchOnChannelOneCarriesTheStreamToo) {
    auto decipher = std::make_unique<DecipherParam>();
    ASSERT_TRUE(BB_GetDefaultDecipherParam(0, 1, decipher.get()));
    decipher->加解密开关 = 1;
    ASSERT_TRUE(BB_SetDecipherParam(0, 1, decipher.get()));
    {
        std::lock_guard lock(g_collected.m);
        g_collected.deciphered.clear();
    }
    RunCase({8, 2, 0});
    std::unique_lock lock(g_collected.m);
    g_collected.cv.wait_for(
        lock, 20s, [&] { return g_collected.deciphered.size() >= g_collected.bytes.size(); });
    EXPECT_EQ(g_collected.deciphered, g_collected.bytes);
}

TEST_F(DemEngineTest, ReportEnableAnswersForAnOpenCardOnly) {
    EXPECT_EQ(BB_ReportDemDataEnable(0, 0, 1), 1);
    EXPECT_EQ(BB_ReportDemDataEnable(0, 5, 1), 1);  // any channel but 0 is channel 1
    EXPECT_EQ(BB_ReportDemDataEnable(1, 0, 1), 0);
    device.Close();
    EXPECT_EQ(BB_ReportDemDataEnable(0, 0, 1), 0);
}

// The fault switches put their faults exactly where they say, so that the
// data-path checks of the program have something known to find.
TEST(DemEngineFaults, DroppedFramesCounterJumpsTagGapsAndBitErrorsAppearWhereAsked) {
    EngineProcess engine({"--dem-frames", "400", "--dem-drop", "100", "--dem-counter-jump", "170",
                          "--dem-tag-gap", "120", "--dem-tag-gap-us", "5000", "--dem-bit-error",
                          "90"});
    ASSERT_TRUE(engine.started());
    {
        std::lock_guard lock(g_collected.m);
        g_collected.bytes.clear();
    }
    ExportDevice device;
    ASSERT_TRUE(device.Open(engine.port()));
    DemParam p;
    FillDefault(p);
    p.字长 = 8;
    p.子帧长 = kWords;
    p.副帧长 = kMinors;
    p.码率 = 1000000;  // 96 us per minor frame
    p.副帧类型 = 0;
    const std::size_t R = 8 + kWords;
    ASSERT_TRUE(device.SetDem(p));
    std::vector<std::uint8_t> got;
    {
        std::unique_lock lock(g_collected.m);
        g_collected.cv.wait_for(lock, 20s, [&] { return g_collected.bytes.size() >= 396 * R; });
        got = g_collected.bytes;
    }
    device.Close();
    ASSERT_EQ(got.size(), 396 * R);  // frames 100, 200, 300, 400 (1-based) not sent

    auto bcdUs = [&](const std::uint8_t* tag) {  // microseconds within the minute
        auto d = [](std::uint8_t b) { return (b >> 4) * 10 + (b & 15); };
        return d(tag[2]) * 1e6 + (d(tag[1]) * 100 + d(tag[0])) * 100.0;
    };
    std::vector<std::uint64_t> jumps, gaps, flipped;
    for (std::size_t k = 1; k < 396; ++k) {
        const std::uint8_t* prev = &got[(k - 1) * R];
        const std::uint8_t* rec = &got[k * R];
        const std::uint64_t c0 =
            Word(prev + 8, 3, 1) << 16 | Word(prev + 8, 4, 1) << 8 | Word(prev + 8, 5, 1);
        const std::uint64_t c1 =
            Word(rec + 8, 3, 1) << 16 | Word(rec + 8, 4, 1) << 8 | Word(rec + 8, 5, 1);
        if (c1 != c0 + 1) jumps.push_back(c1 - c0);
        double dt = bcdUs(rec) - bcdUs(prev);
        if (dt < 0) dt += 60e6;
        if (dt > 2 * 96 + 100) gaps.push_back(std::uint64_t(dt / 1000));
        // Staircase words after the sine word step by 3 within a minor frame,
        // except one flipped bit in the last word.
        const std::uint64_t a = Word(rec + 8, kWords - 1, 1), b = Word(rec + 8, kWords, 1);
        if (((b - a) & 0xFF) != 3) flipped.push_back(k);
    }
    // Generated frames 100, 200, 300 (1-based) missing show as counter steps
    // of 2 (frame 400 was the last); the jumps at 170 and 340 as steps of 6.
    EXPECT_EQ(std::count(jumps.begin(), jumps.end(), 2u), 3);
    EXPECT_EQ(std::count(jumps.begin(), jumps.end(), 6u), 2);
    EXPECT_EQ(jumps.size(), 5u);
    EXPECT_EQ(gaps.size(), 3u);  // generated frames 120, 240, 360
    for (std::uint64_t g : gaps) EXPECT_EQ(g, 5u);
    EXPECT_EQ(flipped.size(), 4u);  // generated frames 90, 180, 270, 360
}

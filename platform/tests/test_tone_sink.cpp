// Alarm tones through a real ALSA device: the file plugin keeps the samples
// a sound card would have played, so their pitch and length are measured;
// a device that does not exist sounds the fallback for every tone.
#include <gtest/gtest.h>
#include <platform/tone_sink.h>
#include <stdlib.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/talvora-tone-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::vector<std::int16_t> Samples(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::int16_t(std::uint8_t(bytes[2 * i]) | std::uint8_t(bytes[2 * i + 1]) << 8);
    return out;
}

// Rising zero crossings of samples [from, from + count): cycles of the tone.
int Cycles(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count) {
    int n = 0;
    for (std::size_t i = from + 1; i < from + count && i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++n;
    return n;
}

std::string FileDevice(const fs::path& file) {
    return "file:FILE=" + file.string() + ",FORMAT=raw";
}

}  // namespace

TEST(ToneSink, TonesReachTheDeviceAtTheirPitchAndLength) {
    TempDir tmp;
    const fs::path file = tmp.path / "tones.raw";
    {
        plat::ToneBeepSink sink(FileDevice(file), nullptr);
        sink.Beep({1000, 200});
        sink.Beep({500, 100});
        sink.Beep({1500, 5});
        ASSERT_TRUE(sink.WaitIdle(20s));
        EXPECT_EQ(sink.Played(), 3u);
        EXPECT_EQ(sink.FellBack(), 0u);
    }
    const auto s = Samples(file);
    // 48,000 samples a second, one tone after the other.
    ASSERT_EQ(s.size(), 9600u + 4800u + 240u);
    EXPECT_NEAR(Cycles(s, 0, 9600), 200, 1);    // 1000 Hz for 200 ms
    EXPECT_NEAR(Cycles(s, 9600, 4800), 50, 1);  // 500 Hz for 100 ms
    EXPECT_NEAR(Cycles(s, 14400, 240), 7, 1);   // 1500 Hz for 5 ms
    // Loud enough to hear, and ramped so that no tone starts with a click.
    EXPECT_GT(*std::max_element(s.begin(), s.begin() + 9600), 12000);
    EXPECT_LT(std::abs(s[0]) + std::abs(s[9600]) + std::abs(s[14400]), 100);
}

TEST(ToneSink, WithoutTheDeviceEveryToneSoundsTheFallback) {
    std::mutex m;
    std::vector<plat::BeepRequest> rung;
    plat::ToneBeepSink sink("hw:CARD=NoSuchSoundCard", [&](const plat::BeepRequest& r) {
        std::lock_guard lock(m);
        rung.push_back(r);
    });
    sink.Beep({1000, 5});
    sink.Beep({500, 5});
    ASSERT_TRUE(sink.WaitIdle(20s));
    EXPECT_EQ(sink.Played(), 0u);
    EXPECT_EQ(sink.FellBack(), 2u);
    std::lock_guard lock(m);
    ASSERT_EQ(rung.size(), 2u);
    EXPECT_EQ(rung[0].frequencyHz, 1000u);
    EXPECT_EQ(rung[1].frequencyHz, 500u);
}

// Alarms faster than the device plays them queue up to a bound, the rest is
// dropped instead of piling up without end.
TEST(ToneSink, TonesBeyondTheQueueAreDropped) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    plat::ToneBeepSink sink("hw:CARD=NoSuchSoundCard", [&](const plat::BeepRequest&) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return release; });
    });
    for (int i = 0; i < 200; ++i) sink.Beep({1000, 5});
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(sink.WaitIdle(20s));
    // One tone may have left the queue before the rest arrived.
    EXPECT_GE(sink.FellBack(), plat::kMostPendingTones);
    EXPECT_LE(sink.FellBack(), plat::kMostPendingTones + 1);
    EXPECT_EQ(sink.FellBack() + sink.Dropped(), 200u);
}

TEST(ToneSink, DeviceNamedByTheEnvironment) {
    ::unsetenv("TALVORA_SOUND_DEVICE");
    EXPECT_EQ(plat::AlarmSoundDevice(), "default");
    ::setenv("TALVORA_SOUND_DEVICE", "plughw:1,0", 1);
    EXPECT_EQ(plat::AlarmSoundDevice(), "plughw:1,0");
    ::unsetenv("TALVORA_SOUND_DEVICE");
}

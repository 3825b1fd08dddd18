// The sample database against the software card's frames: frames of the
// default task from cardengine through the device callback, aligned at
// index byte 0, stored for solving and fetched every 100 ms.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dev_records.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "library.h"
#include "testsupport/loopback.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

using namespace prefs;
using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

namespace {

// 8 + 24 bytes per subframe record, 4 subframes; hand-offs of at least 130
// superframes. The engine sends two hand-offs more than are checked, since
// the last part of a stream waits in the accumulation for more data.
constexpr int kRecord = 32, kSuperframes = 8 * 130, kFrames = 4 * kSuperframes;
constexpr int kSentFrames = kFrames + 4 * 2 * 130;

struct Feed {
    std::mutex m;
    ParameterLibrary* lib = nullptr;
    std::vector<std::uint8_t> raw;  // everything the callback received
    bool aligned = false;
    std::size_t stored = 0;
} g_feed;

int OnData(DemReportBlock* block) {
    std::lock_guard g(g_feed.m);
    g_feed.raw.insert(g_feed.raw.end(), block->data, block->data + block->byteCount);
    std::size_t at = g_feed.stored;
    if (!g_feed.aligned) {
        // The stream starts at the first record whose index byte is 0.
        while (at + kRecord <= g_feed.raw.size() && g_feed.raw[at + 6] != 0) at += kRecord;
        if (at + kRecord > g_feed.raw.size()) {
            g_feed.stored = at;
            return 0;
        }
        g_feed.aligned = true;
    }
    const std::size_t whole = (g_feed.raw.size() - at) / (4 * kRecord) * (4 * kRecord);
    if (whole) {
        g_feed.lib->Store(reinterpret_cast<const char*>(g_feed.raw.data() + at), int(whole));
        at += whole;
    }
    g_feed.stored = at;
    return 0;
}

std::int64_t Signed8(int v) {
    v &= 0xFF;
    return v >= 128 ? v - 256 : v;
}

}  // namespace

TEST(CardFrames, SampleDatabaseDescribesTheDefaultTaskFrames) {
    talvora::test::TempHome home;
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    ParameterLibrary lib;
    ASSERT_EQ(lib.Load(), 1);
    std::vector<ParStructEx> lists[3];
    std::vector<ParStructEx>* out[3] = {&lists[0], &lists[1], &lists[2]};
    lib.CopyParameters(out);
    std::map<std::string, std::pair<int, int>> where;  // name -> level, index
    for (int l = 0; l < 3; ++l)
        for (std::size_t i = 0; i < lists[l].size(); ++i) where[lists[l][i].strName] = {l, int(i)};

    EngineProcess engine({"--dem-frames", std::to_string(kSentFrames)});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(talvora::test::RequireLoopback(engine.Address()));
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    g_feed.lib = &lib;
    CardFunctionInfo info{};
    ASSERT_NE(BB_OpenDevice(0, OnData, 0, &info), 0);
    DemParam dem;
    FillDefault(dem);
    ASSERT_NE(BB_SetDemParam(0, &dem), 0);

    std::vector<DealResult> results[3];
    for (int l = 0; l < 3; ++l) {
        results[l].resize(lists[l].size());
        std::memset(static_cast<void*>(results[l].data()), 0,
                    results[l].size() * sizeof(DealResult));
    }
    std::map<std::string, std::vector<std::pair<double, std::int64_t>>> got;
    auto fetch = [&] {
        DealResult* arrays[3] = {results[0].data(), results[1].data(), results[2].data()};
        lib.FetchResults(arrays);
        for (auto& [name, li] : where) {
            DealResult& r = results[li.first][std::size_t(li.second)];
            for (int k = 2000 - r.nNew; k < 2000; ++k)
                got[name].push_back({r.dValue[k], r.nCode[k]});
            r.nNew = 0;
        }
        return got["副帧字"].size() >= std::size_t(kSuperframes);
    };
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] {
            std::this_thread::sleep_for(100ms);  // the windows' fetch period
            return fetch();
        },
        60s, "every superframe solved"))
        << "received " << g_feed.raw.size() << " bytes, stored up to " << g_feed.stored
        << ", superframe samples " << got["副帧字"].size() << ", subframe samples "
        << got["帧计数"].size();
    BB_CloseDevice(0);

    // The raw records at the sample's byte positions: sync EB 90 and the ID
    // word counting down in every subframe record.
    {
        std::lock_guard g(g_feed.m);
        const ParStructEx& sync =
            lists[where["帧同步码"].first][std::size_t(where["帧同步码"].second)];
        const ParStructEx& id = lists[where["ID字"].first][std::size_t(where["ID字"].second)];
        ASSERT_EQ(sync.nBytes, 2);
        ASSERT_GE(g_feed.raw.size(), std::size_t(kFrames) * kRecord);
        for (std::size_t r = 0; r < std::size_t(kFrames); ++r) {
            const std::uint8_t* rec = g_feed.raw.data() + r * kRecord;
            ASSERT_EQ(rec[sync.nBytePos[0]], 0xEB) << r;
            ASSERT_EQ(rec[sync.nBytePos[1]], 0x90) << r;
            ASSERT_EQ(rec[id.nBytePos[0]], 3 - rec[6]) << r;
            ASSERT_EQ(rec[6], r % 4) << r;
        }
    }

    // Subframe samples: all subframes unless a backlog decimated them; each
    // sample is checked against the frame counter solved with it.
    const auto& counter = got["帧计数"];
    ASSERT_GE(counter.size(), 100u);
    std::size_t n = 0;  // the samples of the checked superframes
    while (n < counter.size() && counter[n].second < kFrames) ++n;
    for (const char* name : {"帧同步码", "ID字", "阶梯码", "正弦波", "同步码位15"})
        ASSERT_EQ(got[name].size(), counter.size()) << name;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t k = counter[i].second;
        if (i > 0) {
            ASSERT_GT(k, counter[i - 1].second);
        }
        ASSERT_EQ(got["帧同步码"][i].first, 60304) << i;
        ASSERT_EQ(got["同步码位15"][i].first, 1.0) << i;
        ASSERT_EQ(got["ID字"][i].first, double(3 - k % 4)) << i;
        ASSERT_EQ(got["阶梯码"][i].first, double(Signed8(int(85 + 51 * k)))) << i;
        ASSERT_GE(got["正弦波"][i].first, -2.54 - 1e-9);
        ASSERT_LE(got["正弦波"][i].first, 2.54 + 1e-9);
    }
    // The staircase of the first three frames: 85, -120, -69. A slow run
    // (sanitizers, a loaded machine) may have decimated those first frames
    // away, so their values are checked through the formula every sample met above.
    EXPECT_EQ(Signed8(85 + 51 * 0), 85);
    EXPECT_EQ(Signed8(85 + 51 * 1), -120);
    EXPECT_EQ(Signed8(85 + 51 * 2), -69);
    // Superframe level: never decimated.
    const auto& super = got["副帧字"];
    ASSERT_GE(super.size(), std::size_t(kSuperframes));
    for (std::size_t s = 0; s < std::size_t(kSuperframes); ++s)
        ASSERT_EQ(super[s].first, double((136 + 204 * s) % 256)) << s;
    // The special superframe opens with 0x55 once every 256 subframes.
    ASSERT_GE(got["特殊字1"].size(), std::size_t((kFrames + 255) / 256));
    ASSERT_EQ(got["特殊字23"].size(), got["特殊字1"].size());
    for (auto& v : got["特殊字1"]) EXPECT_EQ(v.first, 136);
    for (auto& v : got["特殊字23"]) EXPECT_EQ(v.first, 48110);
    EXPECT_TRUE(sink->Shown().empty());
    plat::SetNotifySink(nullptr);
}

// Recording live frames from cardengine through the BB_ exports and playing
// the file back through the same engine: the caller sees the file's frames,
// in order, with fresh tags.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dem_file.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "device_fixture.h"

namespace {

using namespace bbdev::enginetest;
using namespace cardengine::testkit;
namespace fs = std::filesystem;

constexpr std::uint32_t kFrames = 3200;  // whole reports of 1024 bytes
constexpr std::size_t kRecord = 8 + 24;

struct Collected {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint8_t> bytes;  // channel 0
} g_collected;

int Collect(DemReportBlock* block) {
    if (block->descriptor.channel != 0) return 0;
    std::lock_guard lock(g_collected.m);
    g_collected.bytes.insert(g_collected.bytes.end(), block->data, block->data + block->byteCount);
    g_collected.cv.notify_all();
    return 0;
}

bool WaitForBytes(std::size_t n) {
    std::unique_lock lock(g_collected.m);
    return g_collected.cv.wait_for(lock, std::chrono::seconds(20),
                                   [&] { return g_collected.bytes.size() >= n; });
}

std::size_t CollectedBytes() {
    std::lock_guard lock(g_collected.m);
    return g_collected.bytes.size();
}

std::vector<std::uint8_t> TakeCollected() {
    std::lock_guard lock(g_collected.m);
    return std::exchange(g_collected.bytes, {});
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class RecordEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TALVORA_OBJECT_NAMESPACE", ("rec-" + std::to_string(::getpid())).c_str(), 1);
        char t[] = "/tmp/demrec-XXXXXX";
        dir_ = ::mkdtemp(t);
        plat::SetModuleDirectory(dir_);
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
        TakeCollected();
    }
    void TearDown() override {
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
        fs::remove_all(dir_);
    }
    bool OpenWithFrames(EngineProcess& engine) {
        if (!engine.started()) return false;
        PointAt(engine.port());
        CardFunctionInfo info{};
        return BB_OpenDevice(0, Collect, 0, &info) != 0;
    }
    bool SetDem() {
        DemParam p;
        if (!BB_GetDefaultDemParam(0, &p)) return false;
        p.子帧长 = 24;
        p.字长 = 8;
        p.副帧长 = 4;
        p.码率 = 1000000;
        return BB_SetDemParam(0, &p) != 0;
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (const auto& r : sink_->Shown()) texts.push_back(r.text);
        return texts;
    }

    std::string dir_;
    std::shared_ptr<plat::CapturingSink> sink_;
};

TEST_F(RecordEngineTest, RecordedFramesComeBackThroughReplayInTheSameOrder) {
    EngineProcess engine({"--dem-frames", std::to_string(kFrames)});
    ASSERT_TRUE(OpenWithFrames(engine));
    ASSERT_TRUE(BB_StartSaveDemData(0, 0, nullptr));
    ASSERT_TRUE(SetDem());
    ASSERT_TRUE(WaitForBytes(kFrames * kRecord));
    double recorded = 0;
    ASSERT_TRUE(BB_GetSaveDemDataBytes(0, 0, &recorded));
    EXPECT_EQ(recorded, double(kFrames * kRecord));
    ASSERT_TRUE(BB_StopSaveDemData(0, 0));
    const std::vector<std::uint8_t> live = TakeCollected();
    ASSERT_EQ(live.size(), kFrames * kRecord);

    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(dir_) / "DATA0"))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    auto file = ReadFile(files[0]);
    ASSERT_EQ(file.size(), 1024 + live.size());
    EXPECT_TRUE(std::equal(live.begin(), live.end(), file.begin() + 1024));
    // The engine would make the same frames again: what comes back must be
    // the file's, so the file's frames are changed first.
    for (std::size_t r = 0; r < kFrames; ++r)
        for (std::size_t i = 8; i < kRecord; ++i) file[1024 + r * kRecord + i] ^= 0xA5;
    std::ofstream(files[0], std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));

    ASSERT_TRUE(BB_StartupFileReplay(0, files[0].c_str(), 0, 0, kFrames, 0, nullptr, 0));
    double percent = 0;
    std::uint64_t records = 0;
    ASSERT_TRUE(
        WaitUntil([&] { return BB_IsFileReplayFinished(0, &percent, &records) != 0; }, 20000));
    ASSERT_TRUE(WaitForBytes(kFrames * kRecord)) << "replayed bytes: " << CollectedBytes();
    EXPECT_EQ(records, kFrames);
    EXPECT_GE(percent, 99.9);
    const std::vector<std::uint8_t> replayed = TakeCollected();
    ASSERT_EQ(replayed.size(), live.size());
    for (std::size_t r = 0; r < kFrames; ++r) {
        const auto* a = file.data() + 1024 + r * kRecord + 8;
        const auto* b = replayed.data() + r * kRecord + 8;
        ASSERT_TRUE(std::equal(a, a + 24, b)) << "minor frame " << r;
    }
    EXPECT_TRUE(BB_StopFileReplay(0));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(RecordEngineTest, ClosingTheCardFinishesARecordingOnChannelOne) {
    EngineProcess engine({"--dem-frames", "640"});
    ASSERT_TRUE(OpenWithFrames(engine));
    DemSaveRequest request{};
    const std::string path = dir_ + "/closed/DS-test.dem";
    std::snprintf(request.path, sizeof request.path, "%s", path.c_str());
    ASSERT_TRUE(BB_StartSaveDemData(0, 1, &request));
    // Channel 1 carries nothing while decryption is off; channel 0 shows
    // that the frames went by.
    ASSERT_TRUE(SetDem());
    ASSERT_TRUE(WaitForBytes(640 * kRecord));
    ASSERT_TRUE(BB_CloseDevice(0));
    const auto file = ReadFile(path);
    ASSERT_EQ(file.size(), 1024u);
    EXPECT_EQ(file[336], 0x00);
    EXPECT_EQ(file[337], 0x04);  // header length 1024: the header was rewritten
    EXPECT_EQ(file[768], 1);     // channel
}

TEST_F(RecordEngineTest, AFileThatIsNotARecordingShowsTheMessageAndNothingIsPlayed) {
    EngineProcess engine;
    ASSERT_TRUE(OpenWithFrames(engine));
    ASSERT_TRUE(SetDem());
    const std::string path = dir_ + "/notes.dem";
    std::ofstream(path) << std::string(5000, 'x');
    EXPECT_FALSE(BB_StartupFileReplay(0, path.c_str(), 0, 0, 10, 0, nullptr, 0));
    const std::string text =
        "错误代码：0x00000002\n    启动回放时发生以下错误：\n    打开回放文件：" + path + "失败！";
    ASSERT_EQ(Shown(), std::vector<std::string>{text});
    // The failure stays with the signal-source unit; the open card's own
    // store still reads as the open left it.
    char stored[2048] = "x";
    std::uint32_t code = 0;
    ASSERT_TRUE(BB_GetLastError(0, stored, sizeof stored, &code));
    EXPECT_EQ(code, 0x1FFFFu);
    EXPECT_STREQ(stored, "");
    // A command sent afterwards marks the end of what the failed start sent.
    ASSERT_TRUE(BB_SetTimeSystemHandFly(0, 3));
    ASSERT_TRUE(engine.WaitFor([&] {
        for (const auto& c : engine.Received())
            if (c.module == 5 && c.operation == 6) return true;
        return false;
    }));
    for (const auto& c : engine.Received())
        EXPECT_FALSE(c.module == 4 && c.operation >= 5) << c.operation;
}

}  // namespace

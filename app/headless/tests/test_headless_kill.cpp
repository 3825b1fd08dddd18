// The headless program killed with SIGKILL in the middle of a recording and
// started again: the cut file keeps every whole record it reached the disk
// with, replays through the card and converts with talvora-export, and the
// new run records into a file of its own without touching the old one.
#include <bbdevice/bbdevice.h>
#include <bbdevice/dem_file.h>
#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <recording/dat_header.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <testsupport/child_process.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "loopback_network.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string BinDir() {
    const char* b = std::getenv("TALVORA_BIN_DIR");
    return b ? b : ".";
}

using Child = talvora::test::ChildProcess;
using talvora::test::ReadText;

std::uint64_t U64(const std::string& f, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(f[at + i]);
    return v;
}

// The before-decryption data files (the sent-data files lie beside them).
std::vector<fs::path> Recordings(const fs::path& home) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(home, ec))
        if (e.is_regular_file() && e.path().extension() == ".dat" &&
            e.path().filename().string().find("解密前") != std::string::npos)
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// The highest recorded_bytes of the status lines so far.
std::uint64_t RecordedBytes(const std::string& output) {
    std::uint64_t best = 0;
    for (std::size_t at = output.find("recorded_bytes="); at != std::string::npos;
         at = output.find("recorded_bytes=", at + 1))
        best = std::max<std::uint64_t>(best, std::strtoull(output.c_str() + at + 15, nullptr, 10));
    return best;
}

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

class HeadlessKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        const cfg::NetworkConfig net = headlesstest::LoopbackNetwork();
        ASSERT_TRUE(cfg::SaveNetworkConfig(home_.path(), net));
        runtime_ = home_ / "run";
        fs::create_directories(runtime_);
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        sink_ = std::make_shared<plat::CapturingSink>();
        plat::SetNotifySink(sink_);
    }
    void TearDown() override {
        if (BB_GetActiveBandCaseSumInApp() > 0) BB_CloseDevice(0);
        plat::SetNotifySink(nullptr);
        plat::SetModuleDirectory("");
    }
    std::vector<std::string> Program(const std::string& engine) const {
#ifdef TALVORA_HEADLESS_VIA_TALVORA
        std::vector<std::string> a{BinDir() + "/Talvora", "--headless"};
#else
        std::vector<std::string> a{BinDir() + "/talvora-headless"};
#endif
        a.insert(a.end(), {"--home", home_.path(), "--engine", engine});
        return a;
    }
    // Starts a run and waits until it has recorded at least `bytes`.
    std::unique_ptr<Child> RunUntilRecorded(const std::string& engine, const std::string& name,
                                            std::uint64_t bytes) {
        auto run = std::make_unique<Child>(Program(engine), home_ / (name + ".out"),
                                           home_ / (name + ".err"));
        if (!run->Started()) return nullptr;
        const bool recorded = talvora::test::WaitUntil(
            [&] { return RecordedBytes(run->Output()) >= bytes; }, 90s, "recorded bytes");
        EXPECT_TRUE(recorded) << run->Output() << run->Errors();
        return recorded ? std::move(run) : nullptr;
    }

    talvora::test::TempHome home_;
    std::string runtime_;
    std::shared_ptr<plat::CapturingSink> sink_;
};

TEST_F(HeadlessKillTest, AKilledRecordingReplaysExportsAndTheRestartRecordsANewFile) {
    constexpr std::uint64_t kEnough = 64 * 1024;
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());

    // The first run, killed without warning while it writes.
    auto first = RunUntilRecorded(engine.Address(), "first", kEnough);
    ASSERT_TRUE(first);
    first->Signal(SIGKILL);
    const auto killed = first->WaitStatus(30s);
    ASSERT_TRUE(killed && WIFSIGNALED(*killed) && WTERMSIG(*killed) == SIGKILL);
    EXPECT_EQ(first->Output().find("summary "), std::string::npos);

    const std::vector<fs::path> afterKill = Recordings(home_.path());
    ASSERT_EQ(afterKill.size(), 1u);
    const fs::path cut = afterKill[0];
    const std::string cutBytes = ReadText(cut);
    ASSERT_GE(cutBytes.size(), recording::kHeaderBytes + kEnough);

    // The header was never rewritten; the reader goes by the whole records
    // in the file.
    const std::vector<std::uint8_t> head(cutBytes.begin(),
                                         cutBytes.begin() + recording::kHeaderBytes);
    DemParam noHeader{};
    const recording::FileDescription d = recording::ParseHeader(head, noHeader);
    ASSERT_EQ(d.headerLength, recording::kHeaderBytes);
    ASSERT_TRUE(recording::DescriptionValid(d.info));
    const std::uint64_t recordBytes = recording::RecordBytes(d.info);
    ASSERT_EQ(recordBytes, 32u);
    const std::uint64_t whole = recording::RecordCount(cutBytes.size(), d.headerLength, d.info);
    EXPECT_EQ(whole, (cutBytes.size() - recording::kHeaderBytes) / recordBytes);
    EXPECT_LT(U64(cutBytes, recording::kOffRecordCount), whole);

    // The second run starts at once (no lock or named object of the killed
    // one stands in its way) and records into a new file.
    auto second = RunUntilRecorded(engine.Address(), "second", kEnough);
    ASSERT_TRUE(second);
    second->Signal(SIGTERM);
    const auto ended = second->WaitStatus(60s);
    ASSERT_TRUE(ended && WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0) << second->Errors();
    const std::vector<fs::path> afterRestart = Recordings(home_.path());
    ASSERT_EQ(afterRestart.size(), 2u);
    EXPECT_NE(std::find(afterRestart.begin(), afterRestart.end(), cut), afterRestart.end());
    EXPECT_TRUE(ReadText(cut) == cutBytes) << "the killed run's file changed";
    const fs::path fresh = afterRestart[0] == cut ? afterRestart[1] : afterRestart[0];
    const std::string freshBytes = ReadText(fresh);
    EXPECT_EQ((freshBytes.size() - recording::kHeaderBytes) % recordBytes, 0u);
    EXPECT_EQ(U64(freshBytes, recording::kOffRecordCount),
              (freshBytes.size() - recording::kHeaderBytes) / recordBytes);

    // talvora-export converts every whole record of the cut file.
    const std::string ch10 = home_ / "cut.ch10";
    Child exporter({BinDir() + "/talvora-export", "--ch10", cut.string(), ch10},
                   home_ / "export.out", home_ / "export.err");
    ASSERT_TRUE(exporter.Started());
    const auto exported = exporter.WaitStatus(120s);
    ASSERT_TRUE(exported && WIFEXITED(*exported) && WEXITSTATUS(*exported) == 0)
        << exporter.Errors();
    EXPECT_NE(exporter.Output().find("exported " + std::to_string(whole) + " records"),
              std::string::npos)
        << exporter.Output();
    EXPECT_GT(fs::file_size(ch10), whole * recordBytes);

    // The cut file's last whole records come back through the card's
    // replay as they are in the file. This engine sends one live frame
    // only, so what comes back after it is the replay.
    cardengine::testkit::EngineProcess player({"--dem-frames", "1"});
    ASSERT_TRUE(player.started());
    ::setenv("TALVORA_OBJECT_NAMESPACE", ("kill-" + std::to_string(::getpid())).c_str(), 1);
    ::setenv("TALVORA_ENGINE", player.Address().c_str(), 1);
    plat::SetModuleDirectory(home_.path());
    CardFunctionInfo info{};
    ASSERT_TRUE(BB_OpenDevice(0, Collect, 0, &info));
    DemParam p{};
    ASSERT_TRUE(BB_GetDefaultDemParam(0, &p));
    p.子帧长 = d.info.子帧长;
    p.字长 = d.info.字长;
    p.副帧长 = d.info.副帧长;
    p.码率 = 1000000;
    ASSERT_TRUE(BB_SetDemParam(0, &p));
    constexpr std::uint64_t kReplayed = 2000;
    const std::uint64_t from = whole > kReplayed ? whole - kReplayed : 0;
    {
        std::lock_guard lock(g_collected.m);
        g_collected.bytes.clear();
    }
    ASSERT_TRUE(BB_StartupFileReplay(0, cut.c_str(), std::uint32_t(from), std::uint32_t(from >> 32),
                                     std::uint32_t(whole), std::uint32_t(whole >> 32), &d.info,
                                     d.headerLength));
    double percent = 0;
    std::uint64_t records = 0;
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] { return BB_IsFileReplayFinished(0, &percent, &records) != 0; }, 60s,
        "replay finished"));
    EXPECT_EQ(records, whole - from);
    EXPECT_TRUE(BB_StopFileReplay(0));
    // What came back holds the replayed frames in order.
    std::vector<std::uint8_t> back;
    {
        std::unique_lock lock(g_collected.m);
        g_collected.cv.wait_for(lock, 20s,
                                [&] { return g_collected.bytes.size() >= kReplayed * 32; });
        back = g_collected.bytes;
    }
    const std::size_t frameBytes = recordBytes - recording::kTagBytes;
    std::string replayed;
    for (std::size_t at = 0; at + recordBytes <= back.size(); at += recordBytes)
        replayed.append(reinterpret_cast<const char*>(back.data() + at + recording::kTagBytes),
                        frameBytes);
    std::string expected;
    for (std::uint64_t r = from; r < whole; ++r)
        expected.append(cutBytes, recording::kHeaderBytes + r * recordBytes + recording::kTagBytes,
                        frameBytes);
    EXPECT_NE(replayed.find(expected), std::string::npos)
        << "the replayed frames are not the file's " << whole - from << " last records";
}

}  // namespace

// The headless program against the software card engine on loopback, with
// stationrx receiving its telemetry: recording, forwarding, the status lines,
// the exit on SIGTERM and the refusals of bad input.
#include <cardengine/testkit/engine_process.h>
#include <config/para_config.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <headless/status_line.h>
#include <platform/codepage.h>
#include <platform/profile.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <taskbook/task_store.h>
#include <testsupport/child_process.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

using Child = talvora::test::ChildProcess;
using talvora::test::ReadText;

std::uint32_t U32(const std::string& f, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(f[at + i]);
    return v;
}

class HeadlessRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        net_ = headlesstest::LoopbackNetwork();
        ASSERT_TRUE(cfg::SaveNetworkConfig(home_.path(), net_));
        // A private runtime directory and object namespace, so no other
        // copy's lock or named objects count.
        runtime_ = home_ / "run";
        fs::create_directories(runtime_);
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::setenv("TALVORA_OBJECT_NAMESPACE", ("headless-" + std::to_string(::getpid())).c_str(), 1);
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
    std::string Ini() const {
        return cfg::ParaIniPath(home_.path());
    }
    talvora::test::TempHome home_;
    cfg::NetworkConfig net_;
    std::string runtime_;
};

TEST_F(HeadlessRunTest, RecordsAndForwardsEveryRecordThenLeavesCleanlyOnSigterm) {
    // The steady engine's records: 8 tag bytes and 24 words, a counter in
    // word 5 and four sub-frames to a frame.
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(plat::WritePrivateProfileInt("Headless", "FrameCountStat", 1, Ini()));
    cfg::FrameCountConfig fc;
    fc.lowWordPos = 5;
    ASSERT_TRUE(cfg::SaveFrameCountConfig(home_.path(), fc));

    Child rx({BinDir() + "/stationrx", "--group", net_.multicastAddr, "--port",
              std::to_string(net_.multicastDestPort), "--interface", "127.0.0.1", "--record-bytes",
              "32", "--subframes", "4", "--counter", "5:1", "--late-ms", "1000", "--seconds", "120",
              "--json", "--quiet"},
             home_ / "rx.out", home_ / "rx.err");
    ASSERT_TRUE(rx.Started());
    Child run(Program(engine.Address()), home_ / "run.out", home_ / "run.err");
    ASSERT_TRUE(run.Started());

    // Ten status lines: ten seconds of recording and sending.
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] { return run.Output().find("status t=10 ") != std::string::npos; }, 60s,
        "ten status lines"))
        << ReadText(home_ / "run.err");
    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(30s), 0) << ReadText(home_ / "run.err");
    rx.Signal(SIGTERM);
    ASSERT_EQ(rx.Wait(30s), 0);

    // Every status line parses; the later ones show the card in lock and
    // data recorded and sent.
    std::optional<std::map<std::string, std::string>> last, summary;
    int statusLines = 0;
    for (const std::string& l : Lines(run.Output())) {
        if (l.starts_with("status")) {
            last = headless::ParseFields(l, "status");
            ASSERT_TRUE(last) << l;
            for (const char* key :
                 {"t", "bit", "sub", "super", "sync_loss", "day", "frames_per_s", "recorded_bytes",
                  "packets_sent", "frame_jumps", "id_jumps", "time_jumps"})
                EXPECT_EQ(last->count(key), 1u) << key << " in " << l;
            ++statusLines;
        } else if (l.starts_with("summary")) {
            summary = headless::ParseFields(l, "summary");
        }
    }
    EXPECT_GE(statusLines, 10);
    ASSERT_TRUE(last && summary) << run.Output();
    EXPECT_EQ(last->at("bit"), "1");
    EXPECT_EQ(last->at("sync_loss"), "0");
    EXPECT_GT(std::stoull(last->at("frames_per_s")), 1000u);
    EXPECT_GT(std::stoull(last->at("packets_sent")), 0u);
    EXPECT_EQ(last->at("frame_jumps"), "0");
    EXPECT_EQ(last->at("id_jumps"), "off");

    // The recording's header counts exactly the records in the file.
    const std::string path = summary->at("recording");
    ASSERT_NE(path, "-");
    const std::string file = ReadText(path);
    ASSERT_GT(file.size(), 1024u + 10000u * 32u);
    EXPECT_EQ((file.size() - 1024) % 32, 0u);
    EXPECT_EQ(U32(file, 384), (file.size() - 1024) / 32);
    EXPECT_EQ(std::stoull(summary->at("recorded_bytes")), file.size() - 1024);

    // stationrx saw each record once, in order, with the counter running on.
    const std::string json = rx.Output();
    auto number = [&](const std::string& key) {
        const std::size_t at = json.find("\"" + key + "\":");
        return at == std::string::npos ? -1LL : std::atoll(json.c_str() + at + key.size() + 3);
    };
    EXPECT_GT(number("records"), 10000) << json;
    EXPECT_EQ(number("lost"), 0) << json;
    EXPECT_EQ(number("duplicates"), 0) << json;
    EXPECT_EQ(number("reordered"), 0) << json;
    EXPECT_EQ(number("malformed"), 0) << json;
    EXPECT_EQ(number("counter_breaks"), 0) << json;

    // The journal is complete: its last record is the exit message.
    std::vector<fs::path> logs;
    for (const auto& e : fs::directory_iterator(home_ / "Log")) logs.push_back(e.path());
    ASSERT_EQ(logs.size(), 1u);
    const std::vector<std::string> log = Lines(plat::GbkToUtf8(ReadText(logs[0].string())));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("退出软件！"), std::string::npos) << log.back();
}

TEST_F(HeadlessRunTest, BurstWhileTheDataThreadIsHeldReachesEveryConsumerWhole) {
    // 4000 records of 32 bytes in four messages, sent at once 3 s after the
    // demodulator record, when recording and the frame count run; the first
    // block taken while recording holds the data thread 50 ms, so the rest
    // reach the program in blocks longer than 64 KiB.
    cardengine::testkit::EngineProcess engine({"--full-speed", "--dem-frames", "4000",
                                               "--dem-message-bytes", "32000", "--dem-settle-ms",
                                               "3000"});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(plat::WritePrivateProfileInt("Headless", "FrameCountStat", 1, Ini()));
    cfg::FrameCountConfig fc;
    fc.lowWordPos = 5;
    ASSERT_TRUE(cfg::SaveFrameCountConfig(home_.path(), fc));
    ::setenv("TALVORA_TEST_HOLD_DATA_MS", "50", 1);

    Child rx({BinDir() + "/stationrx", "--group", net_.multicastAddr, "--port",
              std::to_string(net_.multicastDestPort), "--interface", "127.0.0.1", "--record-bytes",
              "32", "--subframes", "4", "--counter", "5:1", "--late-ms", "1000", "--seconds", "120",
              "--json", "--quiet"},
             home_ / "rx.out", home_ / "rx.err");
    ASSERT_TRUE(rx.Started());
    Child run(Program(engine.Address()), home_ / "run.out", home_ / "run.err");
    ::unsetenv("TALVORA_TEST_HOLD_DATA_MS");
    ASSERT_TRUE(run.Started());

    auto lastStatus = [&] {
        std::optional<std::map<std::string, std::string>> last;
        for (const std::string& l : Lines(run.Output()))
            if (l.starts_with("status")) last = headless::ParseFields(l, "status");
        return last;
    };
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] {
            const auto last = lastStatus();
            return last && last->count("recorded_bytes") &&
                   std::stoull(last->at("recorded_bytes")) >= 4000u * 32;
        },
        60s, "the burst recorded"))
        << run.Output() << ReadText(home_ / "run.err");
    // One more status line: the sender has had a second to empty its buffer.
    const std::string seen = run.Output();
    ASSERT_TRUE(talvora::test::WaitUntil([&] { return run.Output().size() > seen.size() + 10; },
                                         30s, "one more status line"));
    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(30s), 0) << ReadText(home_ / "run.err");
    rx.Signal(SIGTERM);
    ASSERT_EQ(rx.Wait(30s), 0);

    std::optional<std::map<std::string, std::string>> summary;
    for (const std::string& l : Lines(run.Output()))
        if (l.starts_with("summary")) summary = headless::ParseFields(l, "summary");
    ASSERT_TRUE(summary) << run.Output();
    EXPECT_EQ(summary->at("frame_jumps"), "0");
    EXPECT_EQ(summary->at("ring_lost"), "0");
    EXPECT_EQ(summary->at("send_dropped"), "0");

    // The recording holds the 4000 records, each once, counters in order.
    const std::string file = ReadText(summary->at("recording"));
    ASSERT_EQ(file.size(), 1024u + 4000u * 32) << run.Output();
    for (std::size_t i = 1; i < 4000; ++i) {
        const std::size_t at = 1024 + i * 32 + 8 + 4;
        ASSERT_EQ(std::uint8_t(file[at] - file[at - 32]), 1u) << "record " << i;
    }

    const std::string json = rx.Output();
    auto number = [&](const std::string& key) {
        const std::size_t at = json.find("\"" + key + "\":");
        return at == std::string::npos ? -1LL : std::atoll(json.c_str() + at + key.size() + 3);
    };
    EXPECT_EQ(number("records"), 4000) << json;
    EXPECT_EQ(number("lost"), 0) << json;
    EXPECT_EQ(number("duplicates"), 0) << json;
    EXPECT_EQ(number("counter_breaks"), 0) << json;
}

TEST_F(HeadlessRunTest, UnknownTaskExitsWithTwoListsTheTasksAndKeepsTheWorkingState) {
    // The store as the program finds it, with its start-up task.
    taskbook::TaskStore& store = taskbook::TaskStore::Instance();
    auto before = std::make_unique<taskbook::TaskRecords>();
    ASSERT_TRUE(store.Load("当前任务", *before));
    store.ResetForTest();

    const int closedPort = cardengine::testkit::FreeLoopbackPort();
    std::vector<std::string> argv = Program("127.0.0.1:" + std::to_string(closedPort));
    argv.insert(argv.end(), {"--task", "没有这个任务"});
    Child run(argv, home_ / "run.out", home_ / "run.err");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(60s), 2);
    const std::string err = ReadText(home_ / "run.err");
    EXPECT_NE(err.find("no task named \"没有这个任务\""), std::string::npos) << err;
    // The store's start-up task is in the list.
    EXPECT_NE(err.find("  当前任务"), std::string::npos) << err;
    // Nothing was saved over the start-up task by the refused run.
    auto after = std::make_unique<taskbook::TaskRecords>();
    ASSERT_TRUE(store.Load("当前任务", *after));
    EXPECT_EQ(
        std::memcmp(&before->streams[0].dem, &after->streams[0].dem, sizeof before->streams[0].dem),
        0);
    EXPECT_EQ(std::memcmp(&before->info, &after->info, sizeof before->info), 0);
    store.ResetForTest();
}

TEST_F(HeadlessRunTest, ASecondCopyIsRefusedWhileTheFirstRuns) {
    const int closedPort = cardengine::testkit::FreeLoopbackPort();
    const std::string engine = "127.0.0.1:" + std::to_string(closedPort);
    Child first(Program(engine), home_ / "first.out", home_ / "first.err");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(talvora::test::WaitUntil(
        [&] { return first.Output().find("status t=1 ") != std::string::npos; }, 60s,
        "first status line"))
        << ReadText(home_ / "first.err");

    Child second(Program(engine), home_ / "second.out", home_ / "second.err");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.Wait(30s), 1);
    EXPECT_NE(ReadText(home_ / "second.err").find("应用程序已经运行！"), std::string::npos);

    first.Signal(SIGINT);
    EXPECT_EQ(first.Wait(30s), 0);
    EXPECT_NE(first.Output().find("summary "), std::string::npos);
}

// The engine dies under the run and comes back on its port: the status line
// says the link is down and the card is not in lock, the summary counts the
// loss, and the journal has a line for each change.
TEST_F(HeadlessRunTest, EngineLossAndReturnShowInTheStatusLineSummaryAndJournal) {
    auto engine = std::make_unique<cardengine::testkit::EngineProcess>(
        std::vector<std::string>{"--dem-steady"});
    ASSERT_TRUE(engine->started());
    const std::string address = engine->Address();
    Child run(Program(address), home_ / "run.out", home_ / "run.err");
    ASSERT_TRUE(run.Started());
    auto lastStatus = [&] {
        std::optional<std::map<std::string, std::string>> last;
        for (const std::string& l : Lines(run.Output()))
            if (l.starts_with("status ")) last = headless::ParseFields(l, "status");
        return last;
    };
    auto showing = [&](const char* link, const char* bit) {
        return [&, link, bit] {
            const auto f = lastStatus();
            return f && f->count("link") && f->at("link") == link && f->at("bit") == bit;
        };
    };
    ASSERT_TRUE(talvora::test::WaitUntil(showing("up", "1"), 60s, "link up and in lock"))
        << run.Output() << ReadText(home_ / "run.err");

    engine.reset();
    ASSERT_TRUE(talvora::test::WaitUntil(showing("down", "0"), 30s, "link down, no lock"))
        << run.Output();
    engine = std::make_unique<cardengine::testkit::EngineProcess>(
        std::vector<std::string>{"--dem-steady", "--listen", address});
    ASSERT_TRUE(engine->started());
    ASSERT_TRUE(talvora::test::WaitUntil(showing("up", "1"), 30s, "link up again")) << run.Output();

    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(30s), 0) << ReadText(home_ / "run.err");
    std::optional<std::map<std::string, std::string>> summary;
    for (const std::string& l : Lines(run.Output()))
        if (l.starts_with("summary ")) summary = headless::ParseFields(l, "summary");
    ASSERT_TRUE(summary) << run.Output();
    EXPECT_EQ(summary->at("link"), "up");
    EXPECT_EQ(summary->at("link_losses"), "1");

    std::string journal;
    for (const auto& e : fs::directory_iterator(home_ / "Log"))
        journal += plat::GbkToUtf8(ReadText(e.path().string()));
    EXPECT_NE(journal.find("基带卡链路中断"), std::string::npos) << journal;
    EXPECT_NE(journal.find("基带卡链路恢复"), std::string::npos) << journal;
}

}  // namespace

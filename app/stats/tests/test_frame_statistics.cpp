#include <gtest/gtest.h>
#include <platform/notify.h>
#include <stats/frame_statistics.h>
#include <sys/stat.h>
#include <testsupport/temp_home.h>
#include <testsupport/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "record_bytes.h"

namespace {

using namespace std::chrono_literals;
using stats::Check;
using stats_test::BcdTag;
using stats_test::Records;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// 4 one-byte words, 4 subframes per frame, 1 Mbit/s, BCD tags.
datapath::DataGeometry Geometry() {
    datapath::DataGeometry g;
    g.wordBits = 8;
    g.wordBytes = 1;
    g.subframeWords = 4;
    g.superframeLength = 4;
    g.codeRate = 1000000;
    g.subframeRecord = 12;
    g.superframeRecord = 48;
    return g;
}

// One frame whose counter (word 2) starts at `first` and jumps after the
// second record when `jump` is set.
Records Frame(std::uint8_t first, bool jump) {
    Records r;
    for (unsigned i = 0; i < 4; ++i) {
        const auto c = std::uint8_t(first + i + (jump && i >= 2 ? 5 : 0));
        r.Add(BcdTag(8, 0, 0, i, 0), {0xEB, c, std::uint8_t(i), 0});
    }
    return r;
}

class FrameStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        plat::SetNotifySink(sink_);
        stats_.SetReportOpener([this](const std::string& p) { opened_.push_back(p); });
    }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& r : sink_->Shown()) out.push_back(r.text);
        return out;
    }

    talvora::test::TempDir dir_;
    std::shared_ptr<plat::CapturingSink> sink_ = std::make_shared<plat::CapturingSink>();
    std::atomic<int> frameOn_{0}, idOn_{0}, timeOn_{0};
    stats::FrameStatistics stats_{frameOn_, idOn_, timeOn_};
    std::vector<std::string> opened_;
};

TEST_F(FrameStatisticsTest, ReportHasTheHeadAndTheBlocksLinesAndStopOffersIt) {
    ASSERT_TRUE(stats_.StartFrameCount(dir_.path(), 0, 2));
    EXPECT_EQ(frameOn_.load(), 1);
    const std::string path = dir_ / "ZhenJiShu.ini";
    EXPECT_EQ(stats_.Path(Check::FrameCount), path);
    const Records good = Frame(1, false), bad = Frame(5, true);
    stats_.CountFrames(good.bytes.data(), good.bytes.size(), Geometry());
    stats_.CountFrames(bad.bytes.data(), bad.bytes.size(), Geometry());
    EXPECT_EQ(stats_.Jumps(Check::FrameCount), 1);

    sink_->QueueAnswer(plat::IDYES);
    stats_.Stop(Check::FrameCount);
    EXPECT_EQ(frameOn_.load(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"现在是否查看帧计数统计报告！"});
    ASSERT_EQ(sink_->Shown()[0].type & plat::MB_TYPEMASK, plat::MB_YESNO);
    EXPECT_EQ(opened_, std::vector<std::string>{path});

    const std::string report = ReadFile(path);
    // "统计报告\r\n\r\n统计时间：  " in GBK, then the date.
    const std::string head =
        "\xcd\xb3\xbc\xc6\xb1\xa8\xb8\xe6\r\n\r\n"
        "\xcd\xb3\xbc\xc6\xca\xb1\xbc\xe4\xa3\xba  ";
    EXPECT_EQ(report.substr(0, head.size()), head);
    // One line after the head, for 0x07 expected and 0x0C read.
    const std::size_t headEnd = report.find("\r\n", head.size()) + 2;
    const std::string lines = report.substr(headEnd);
    EXPECT_NE(lines.find("0x07"), std::string::npos);
    EXPECT_NE(lines.find("0x0C,\r\n "), std::string::npos);
    EXPECT_EQ(lines.size() - lines.find("0x0C,\r\n ") - 8, 0u) << "exactly one line";
}

TEST_F(FrameStatisticsTest, CheckWithoutJumpsClosesWithoutTheQuestion) {
    ASSERT_TRUE(stats_.StartIdCount(dir_.path(), 3));
    const Records good = Frame(1, false);
    stats_.CountIds(good.bytes.data(), good.bytes.size(), Geometry());
    stats_.Stop(Check::IdCount);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(idOn_.load(), 0);
}

TEST_F(FrameStatisticsTest, AnsweringNoLeavesTheReportClosed) {
    ASSERT_TRUE(stats_.StartTimeContinuity(dir_.path()));
    Records r;
    r.Add(BcdTag(8, 0, 0, 0, 0), {0, 0, 0, 0});
    r.Add(BcdTag(8, 0, 1, 0, 0), {0, 0, 0, 0});  // a second later
    // P is 0.032 ms here, below the tags' resolution: equal tags pass.
    r.Add(BcdTag(8, 0, 1, 0, 0), {0, 0, 0, 0});
    r.Add(BcdTag(8, 0, 1, 0, 0), {0, 0, 0, 0});
    stats_.CheckTimeContinuity(r.bytes.data(), r.bytes.size(), Geometry(), 1000000);
    EXPECT_EQ(stats_.Jumps(Check::TimeContinuity), 1);
    sink_->QueueAnswer(plat::IDNO);
    stats_.Stop(Check::TimeContinuity);
    EXPECT_EQ(Texts(), std::vector<std::string>{"现在是否查看时间连续统计报告！"});
    EXPECT_TRUE(opened_.empty());
}

TEST_F(FrameStatisticsTest, ReportThatCannotBeCreatedLeavesTheCheckStopped) {
    const std::string missing = dir_ / "no-such-dir";
    EXPECT_FALSE(stats_.StartFrameCount(missing, 0, 2));
    EXPECT_FALSE(stats_.StartIdCount(missing, 3));
    EXPECT_FALSE(stats_.StartTimeContinuity(missing));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"创建帧计数统计报告失败！", "创建ID计数统计报告失败！",
                                        "创建时间连续统计报告失败！"}));
    EXPECT_EQ(frameOn_ + idOn_ + timeOn_, 0);
    // Blocks reach no check, and stop asks nothing.
    const Records bad = Frame(5, true);
    stats_.CountFrames(bad.bytes.data(), bad.bytes.size(), Geometry());
    stats_.Stop(Check::FrameCount);
    EXPECT_EQ(stats_.Jumps(Check::FrameCount), 0);
    EXPECT_EQ(sink_->Shown().size(), 3u);
}

TEST_F(FrameStatisticsTest, ReadOnlyDirectoryGivesTheCreationMessage) {
    std::string ro = dir_ / "ro";
    ASSERT_EQ(::mkdir(ro.c_str(), 0555), 0);
    // Permissions do not bind root; no one creates files in /proc.
    if (::access(ro.c_str(), W_OK) == 0) ro = "/proc";
    EXPECT_FALSE(stats_.StartIdCount(ro, 3));
    EXPECT_EQ(Texts(), std::vector<std::string>{"创建ID计数统计报告失败！"});
    EXPECT_EQ(idOn_.load(), 0);
}

TEST_F(FrameStatisticsTest, RestartTruncatesTheReportAndClearsTheCounter) {
    ASSERT_TRUE(stats_.StartFrameCount(dir_.path(), 0, 2));
    const Records bad = Frame(5, true);
    stats_.CountFrames(bad.bytes.data(), bad.bytes.size(), Geometry());
    sink_->QueueAnswer(plat::IDNO);
    stats_.Stop(Check::FrameCount);
    const std::size_t withLine = ReadFile(dir_ / "ZhenJiShu.ini").size();
    ASSERT_TRUE(stats_.StartFrameCount(dir_.path(), 0, 2));
    EXPECT_EQ(stats_.Jumps(Check::FrameCount), 0);
    EXPECT_LT(ReadFile(dir_ / "ZhenJiShu.ini").size(), withLine);
    // The new start takes its counter from its own first block.
    const Records good = Frame(40, false);
    stats_.CountFrames(good.bytes.data(), good.bytes.size(), Geometry());
    EXPECT_EQ(stats_.Jumps(Check::FrameCount), 0);
    stats_.StopAll();
}

TEST_F(FrameStatisticsTest, StopWhileBlocksArriveNeverWritesAfterTheClose) {
    ASSERT_TRUE(stats_.StartFrameCount(dir_.path(), 0, 2));
    std::atomic<bool> done{false};
    std::atomic<long> calls{0};
    std::thread producer([&] {
        const Records bad = Frame(5, true);
        while (!done) {
            stats_.CountFrames(bad.bytes.data(), bad.bytes.size(), Geometry());
            calls.fetch_add(1);
        }
    });
    ASSERT_WAIT_UNTIL(calls.load() > 200, 10s);
    sink_->QueueAnswer(plat::IDNO);
    stats_.Stop(Check::FrameCount);
    const int jumps = stats_.Jumps(Check::FrameCount);
    const std::string atStop = ReadFile(dir_ / "ZhenJiShu.ini");
    const long callsAtStop = calls.load();
    ASSERT_WAIT_UNTIL(calls.load() > callsAtStop + 200, 10s);
    done = true;
    producer.join();
    EXPECT_EQ(ReadFile(dir_ / "ZhenJiShu.ini"), atStop);
    EXPECT_EQ(stats_.Jumps(Check::FrameCount), jumps);
    // Every line counted is in the file, whole.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = atStop.find("\r\n ", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(int(lines), jumps);
}

TEST(StatisticsReadoutTest, TextsOfRunningChecksAndEmptyOnesOfStoppedChecks) {
    stats::StatisticsReadout r;
    r.running = {true, false, true};
    r.jumps = {0, 7, 12};
    EXPECT_EQ(stats::StatisticsTexts(r),
              (std::array<std::string, 3>{"帧计数错误:0个", "", "时间不连续:12个"}));
}

TEST(StatisticsRefusalTest, WideWordsPositionsBeyondTheSubframeAndBadRates) {
    datapath::DataGeometry g = Geometry();
    g.subframeWords = 24;
    EXPECT_EQ(stats::FrameCountRefusal(g, 0, 24), "");
    EXPECT_EQ(stats::FrameCountRefusal(g, 0, 25), "路序超出子帧长（24）！");
    EXPECT_EQ(stats::FrameCountRefusal(g, 30, 5), "路序超出子帧长（24）！");
    EXPECT_EQ(stats::IdCountRefusal(g, 2048), "路序超出子帧长（24）！");
    g.wordBytes = 3;
    EXPECT_EQ(stats::FrameCountRefusal(g, 0, 5), "字长超过16位，不能进行帧计数统计！");
    EXPECT_EQ(stats::IdCountRefusal(g, 5), "字长超过16位，不能进行ID计数统计！");
    // The time check does not read words: only the period matters.
    EXPECT_EQ(stats::TimeContinuityRefusal(g, 1000000), "");
    g.wordBytes = 1;
    EXPECT_EQ(stats::TimeContinuityRefusal(g, 0), "码率为0，无法进行帧周期连续统计！");
    EXPECT_EQ(stats::TimeContinuityRefusal(g, 2000000), "帧周期太短，无法进行帧周期连续统计！");
    EXPECT_EQ(stats::TimeContinuityRefusal(g, 1920000), "");  // exactly 0.1 ms
}

// The viewer of the report: missing, or ending with an error (xdg-open finds
// nothing to open the file with). Either way the box names the report.
TEST(OpenWithDesktop, ReportThatCannotBeOpenedIsNamedInTheBox) {
    talvora::test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string report = dir / "ZhenJiShu.ini";
    std::ofstream(report) << "report";
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    auto boxesNaming = [&] {
        int n = 0;
        for (const auto& r : sink->Shown()) n += r.text.find(report) != std::string::npos;
        return n;
    };

    // No xdg-open anywhere on the path.
    const std::string empty = dir / "empty";
    ASSERT_EQ(::mkdir(empty.c_str(), 0755), 0);
    ::setenv("PATH", empty.c_str(), 1);
    stats::OpenWithDesktop(report);
    EXPECT_TRUE(talvora::test::WaitUntil([&] { return boxesNaming() == 1; }, 10s));

    // An xdg-open that finds no method, as on a system without a desktop.
    const std::string bin = dir / "bin";
    ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
    const std::string fake = bin + "/xdg-open";
    std::ofstream(fake)
        << "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\n"
           "exit 3\n";
    ASSERT_EQ(::chmod(fake.c_str(), 0755), 0);
    ::setenv("PATH", bin.c_str(), 1);
    stats::OpenWithDesktop(report);
    EXPECT_TRUE(talvora::test::WaitUntil([&] { return boxesNaming() == 2; }, 10s));
    ::setenv("PATH", oldPath.c_str(), 1);
    plat::SetNotifySink(nullptr);
}

}  // namespace

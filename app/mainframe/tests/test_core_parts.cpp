// The frame's plain-C++ parts: tiling, command line, buffers, timers and the
// single-instance lock.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include "command_line.h"
#include "frame_buffers.h"
#include "frame_events.h"
#include "mm_timer_slot.h"
#include "single_instance_lock.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"
#include "tiling.h"

using namespace mainframe;
using namespace std::chrono_literals;

TEST(Tiling, SpectrumOnTopCurveAndTableSideBySideAboveTheBar) {
    const TileLayout t = ComputeTiling({0, 0, 1600, 900}, 260);
    EXPECT_EQ(t.spectrum, (TileRect{0, 0, 1597, 300}));
    EXPECT_EQ(t.curve, (TileRect{0, 300, 800, 300}));
    EXPECT_EQ(t.table, (TileRect{800, 300, 800, 300}));
    // An odd width: the table starts at the same half the curve ends.
    const TileLayout odd = ComputeTiling({10, 20, 1001, 900}, 0);
    EXPECT_EQ(odd.curve, (TileRect{10, 320, 500, 560}));
    EXPECT_EQ(odd.table, (TileRect{510, 320, 500, 560}));
}

TEST(Tiling, SmallFrameGivesNoNegativeSizes) {
    const TileLayout t = ComputeTiling({0, 0, 2, 200}, 260);
    EXPECT_EQ(t.spectrum.width, 0);
    EXPECT_EQ(t.curve.height, 0);
    EXPECT_EQ(t.table.height, 0);
}

TEST(CommandLine, AcceptsEveryOption) {
    auto r =
        ParseCommandLine({"--engine", "127.0.0.1:10001", "--home", "/tmp/h", "--snapshot", "s.png",
                          "--quit-after", "20", "--command", "32775", "--command", "32822"});
    ASSERT_TRUE(r.line) << r.error;
    EXPECT_EQ(r.line->commands, (std::vector<unsigned>{32775, 32822}));
    EXPECT_EQ(r.line->engine, "127.0.0.1:10001");
    EXPECT_EQ(r.line->home, "/tmp/h");
    EXPECT_EQ(r.line->snapshot, "s.png");
    EXPECT_EQ(r.line->quitAfterSeconds, 20);
    EXPECT_TRUE(ParseCommandLine({}).line);
}

TEST(CommandLine, RejectsBadValuesAndUnknownArguments) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--engine", "127.0.0.1"},
             {"--engine", "127.0.0.1:0"},
             {"--engine", "127.0.0.1:65536"},
             {"--engine", ":10001"},
             {"--engine", "host:10001x"},
             {"--engine", "bad host:1"},
             {"--quit-after", "0"},
             {"--quit-after", "-5"},
             {"--quit-after", "99999999999"},
             {"--quit-after", "3s"},
             {"--snapshot", "s.png"},  // needs --quit-after
             {"--home"},
             {"--home", ""},
             {"--command", "0"},
             {"--command", "65536"},
             {"--command", "abc"},
             {"--command"},
             {"file.dat"},
         }) {
        EXPECT_FALSE(ParseCommandLine(bad).line) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    }
    std::vector<std::string> many;
    for (std::size_t i = 0; i <= kMaxStartCommands; ++i) {
        many.push_back("--command");
        many.push_back("32775");
    }
    EXPECT_FALSE(ParseCommandLine(many).line);
    EXPECT_TRUE(IsValidEngineAddress("192.168.1.100:10001"));
}

TEST(FrameBuffers, ExactSizesAllocatedOnceAndFreed) {
    FrameBuffers b;
    EXPECT_FALSE(b.Allocated());
    b.Allocate();
    ASSERT_TRUE(b.Allocated());
    std::uint8_t* first = b.FrameA();
    // The last byte of each buffer is usable (ASan catches a short one).
    b.WorkA()[kWorkBufferSize - 1] = 1;
    b.WorkB()[kWorkBufferSize - 1] = 1;
    b.FrameA()[kFrameBufferSize - 1] = 1;
    b.FrameB()[kFrameBufferSize - 1] = 1;
    b.Allocate();
    EXPECT_EQ(b.FrameA(), first);
    b.Free();
    EXPECT_FALSE(b.Allocated());
    EXPECT_EQ(kWorkBufferSize, 1048576u);
    EXPECT_EQ(kFrameBufferSize, 20971520u);
    EXPECT_EQ(kSuperframeBufferSize, 8388608u);
    EXPECT_EQ(kSendBufferSize, 262144u);

    DataPathBuffers d;
    d.Allocate();
    d.send[kSendBufferSize - 1] = 1;
    d.superframe[kSuperframeBufferSize - 1] = 1;
    d.Free();
    EXPECT_EQ(d.send, nullptr);
}

TEST(MultimediaTimer, ResolutionIsTheMinimumClampedToOneAndTheMaximum) {
    EXPECT_EQ(TimerResolution({0, 1000000}), 1u);
    EXPECT_EQ(TimerResolution({1, 1000000}), 1u);
    EXPECT_EQ(TimerResolution({5, 1000000}), 5u);
    EXPECT_EQ(TimerResolution({5, 3}), 3u);
}

TEST(MultimediaTimer, RestartingASlotReplacesItsTimer) {
    std::atomic<int> first{0}, second{0};
    MultimediaTimerSlot slot;
    ASSERT_TRUE(slot.Start(1, [&] { ++first; }));
    ASSERT_TRUE(slot.Start(1, [&] { ++second; }));
    const int firstAfterRestart = first.load();
    ASSERT_WAIT_UNTIL(second.load() >= 3, 10s);
    EXPECT_EQ(first.load(), firstAfterRestart);
    slot.Kill();
    EXPECT_FALSE(slot.Running());
    EXPECT_FALSE(slot.Start(0, [] {}));  // a zero period cannot start
}

TEST(FrameEvents, FiveAutoResetEventsByName) {
    FrameEvents ev;
    const std::string prefix = "test-" + std::to_string(::getpid()) + "-";
    ASSERT_TRUE(ev.Create(prefix));
    auto opened = plat::NamedEvent::Open(prefix + "ExitNewThreadEvent");
    ASSERT_TRUE(opened);
    opened->Set();
    EXPECT_EQ(ev.ExitNewThread()->Wait(0), plat::WaitResult::Signaled);
    EXPECT_EQ(ev.ExitNewThread()->Wait(0), plat::WaitResult::Timeout);  // auto reset
    for (std::size_t i = 0; i < kFrameEventNames.size(); ++i) EXPECT_NE(ev.Get(i), nullptr);
    ev.Close();
    EXPECT_EQ(ev.ExitNewThread(), nullptr);
}

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(tmp_.path().empty()); }
    talvora::test::TempDir tmp_;
    const std::string dir_ = tmp_.path();
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstIsGone) {
    bool exists = true;
    auto first = SingleInstanceLock::Create(dir_, kInstanceMutexName, &exists);
    ASSERT_TRUE(first);
    EXPECT_FALSE(exists);
    auto second = SingleInstanceLock::Create(dir_, kInstanceMutexName, &exists);
    EXPECT_FALSE(second);
    EXPECT_TRUE(exists);
    first.reset();
    auto third = SingleInstanceLock::Create(dir_, kInstanceMutexName, &exists);
    EXPECT_TRUE(third);
    EXPECT_FALSE(exists);
}

TEST_F(InstanceLockTest, LockOfADeadProcessIsFree) {
    const pid_t child = ::fork();
    if (child == 0) {
        bool e = false;
        auto l = SingleInstanceLock::Create(dir_, kInstanceMutexName, &e);
        ::_exit(l ? 0 : 1);  // dies holding the lock
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    bool exists = true;
    EXPECT_TRUE(SingleInstanceLock::Create(dir_, kInstanceMutexName, &exists));
    EXPECT_FALSE(exists);
}

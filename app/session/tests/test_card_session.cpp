// The card session against the software card engine and a fresh task store:
// what the engine receives at open, on apply notifications, for the lift-off
// commands and the clock calibration, and what the operator is told.
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <session/card_session.h>
#include <session/computer_clock.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "session_fixture.h"
#include "testsupport/wait.h"

using namespace session;
using cardengine::testkit::EngineProcess;
using Received = cardengine::testkit::ReceivedCommand;

namespace {

constexpr LocalTime kLeapMarchFirst{2024, 3, 1, 10, 20, 30, 456};

std::atomic<int> g_blocks{0};
int CountBlocks(DemReportBlock*) {
    ++g_blocks;
    return 0;
}

// Stands in for the computer clock: records the request, answers as told.
std::atomic<int> g_clockCalls{0};
std::atomic<int> g_clockAnswer{0};
LocalTime g_clockSet;
int RecordClock(const LocalTime& t) {
    g_clockSet = t;
    ++g_clockCalls;
    return g_clockAnswer;
}

::testing::AssertionResult WaitUntil(const std::function<bool()>& pred) {
    return talvora::test::WaitUntil(pred, std::chrono::seconds(10), "the engine's commands");
}

bool Is(const Received& r, unsigned module, unsigned op) {
    return r.module == module && r.operation == op;
}

class CardSessionTest : public sessiontest::SessionFixture {
protected:
    void SetUp() override {
        previousSetter_ = SetClockSetter(&RecordClock);
        g_clockCalls = 0;
        g_clockAnswer = 0;
        SessionFixture::SetUp();
    }

    void TearDown() override {
        SessionFixture::TearDown();
        SetClockSetter(previousSetter_);
    }

    void AddHooks(SessionHooks& hooks) override {
        hooks.localTime = [] { return kLeapMarchFirst; };
        hooks.resetSuperframeAssembly = [this] { ++superframeResets_; };
        hooks.frameGeometry = [this](const FrameGeometry& g) {
            std::lock_guard lock(logMutex_);
            geometry_.push_back(g);
        };
        hooks.discardStandardFrame = [this] { ++discards_; };
        hooks.demodulatorRecordChanged = [this](const DemParam& dem) {
            std::lock_guard lock(logMutex_);
            handedOver_.push_back(dem);
        };
    }
    DemDataCallback DataCallback() override { return &CountBlocks; }

    // What the frame does at creation: the stream's default task.
    void LoadDefaultTask() {
        ASSERT_NE(GetDefaultTaskPara(info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get(),
                                     session_->Stream()),
                  0);
        ASSERT_TRUE(session_->SaveWorkingState());
    }

    // An open card with the default task applied; returns the number of
    // commands the open sent.
    std::size_t OpenWithDefaultTask() {
        LoadDefaultTask();
        session_->OpenCard();
        EXPECT_EQ(flags_.cardOpen, 1);
        std::size_t n = 0;
        EXPECT_TRUE(WaitUntil([&] { return (n = Commands().size()) >= 6; }));
        sink_->Clear();
        return n;
    }

    // Records the task-macro dialog hands over: the default task with `edit`
    // applied to stream 1.
    void DialogApplies(int code, const std::function<void(taskbook::TaskRecords&)>& edit) {
        auto r = std::make_unique<taskbook::TaskRecords>();
        taskbook::FillDefaultRecords(*r);
        std::strcpy(r->info.任务名, "试验任务");
        edit(*r);
        taskbook::TaskStore::Instance().ApplyAndNotify(code, *r);
    }

    // Parameter commands received so far, in order (module 1 and the link's
    // own messages left out). When a starved engine misses heartbeats the
    // watchdog reconnects and re-sends the records it keeps at the start of
    // the new connection; those copies of what was already sent are left out,
    // so the count is what the session sent.
    std::vector<Received> Commands() const {
        const std::vector<std::string> lines = engine_->LogLines();
        int connections = 0;
        for (const std::string& l : lines)
            if (l.rfind("accept", 0) == 0) ++connections;
        std::vector<Received> commands;
        std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> last;
        for (int c = 1; c <= connections; ++c) {
            bool resending = c > 1;
            for (Received& r : cardengine::testkit::ParseReceived(lines, c)) {
                if (r.module <= 1) continue;
                const std::pair key{r.module, r.operation};
                if (resending) {
                    const auto it = last.find(key);
                    if (it != last.end() && it->second == r.payload) continue;
                    resending = false;
                }
                last[key] = r.payload;
                commands.push_back(std::move(r));
            }
        }
        return commands;
    }

    // The commands after the first `n` up to a marker command sent now: once
    // the marker has arrived, everything sent before it has too, so a command
    // that is missing then was never sent.
    std::vector<Received> CommandsAfterUntilMarker(std::size_t n) {
        EXPECT_NE(BB_SetTimeSystemHandFly(0, kMarkerValue), 0);
        std::vector<Received> c;
        auto isMarker = [](const Received& r) { return Is(r, 5, 6) && r.Word(0) == kMarkerValue; };
        EXPECT_TRUE(WaitUntil([&] {
            c = CommandsAfter(n);
            return !c.empty() && isMarker(c.back());
        })) << "the marker command did not arrive";
        if (!c.empty() && isMarker(c.back())) c.pop_back();
        return c;
    }
    static constexpr std::uint32_t kMarkerValue = 0;

    std::vector<Received> CommandsAfter(std::size_t n) const {
        std::vector<Received> all = Commands();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end()};
    }

    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (const auto& r : sink_->Shown()) texts.push_back(r.text);
        return texts;
    }

    ClockSetter previousSetter_ = nullptr;
    std::vector<FrameGeometry> geometry_;
    std::vector<DemParam> handedOver_;  // demodulator records handed to the data path
    DemParam LastHandedOver() {
        std::lock_guard lock(logMutex_);
        return handedOver_.empty() ? DemParam{} : handedOver_.back();
    }
    std::atomic<int> superframeResets_{0}, discards_{0};
};

// --- open ---

TEST_F(CardSessionTest, OpenSendsTheDefaultTaskMarkedAsFirstSendingThenTheLiftOffCommands) {
    StartEngine();
    LoadDefaultTask();
    session_->OpenCard();

    EXPECT_EQ(flags_.cardOpen, 1);
    EXPECT_EQ(flags_.cardInitialising, 0);
    EXPECT_EQ(flags_.paramsApplied, 1);
    EXPECT_TRUE(Logged("基带卡初始化成功"));
    EXPECT_TRUE(Shown().empty());

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = Commands()).size() >= 6; }));
    ASSERT_TRUE(Is(c[0], 2, 3));
    ASSERT_EQ(c[0].payload.size(), 768u);
    EXPECT_EQ(c[0].Word(84), 1u);
    EXPECT_EQ(c[0].Word(696), 1u);
    EXPECT_EQ(c[0].Word(28), 4000000u);  // the default bit rate: the stored task went out
    ASSERT_TRUE(Is(c[1], 4, 3));
    ASSERT_EQ(c[1].payload.size(), 776u);
    EXPECT_EQ(c[1].Word(720), 1u);
    ASSERT_TRUE(Is(c[2], 5, 3));
    ASSERT_EQ(c[2].payload.size(), 72u);
    EXPECT_EQ(c[2].Word(0), 61u);  // 1 March of a leap year
    EXPECT_EQ(c[2].Half(4), 10);
    EXPECT_EQ(c[2].Half(6), 20);
    EXPECT_EQ(c[2].Half(8), 30);
    EXPECT_EQ(c[2].Half(10), 456);
    EXPECT_EQ(c[2].Word(12), 0u);
    // Lift-off disabled in the default task: enable 0, a cleared record, enable 0.
    ASSERT_TRUE(Is(c[3], 5, 5));
    EXPECT_EQ(c[3].Word(0), 0u);
    ASSERT_TRUE(Is(c[4], 5, 4));
    ASSERT_EQ(c[4].payload.size(), 64u);
    EXPECT_EQ(c[4].Word(24), 0u);
    EXPECT_EQ(c[4].Word(40), 0u);
    ASSERT_TRUE(Is(c[5], 5, 5));
    EXPECT_EQ(c[5].Word(0), 0u);

    EXPECT_STREQ(info_->任务名, "当前任务");
    ASSERT_FALSE(geometry_.empty());
    EXPECT_EQ(geometry_.back(), (FrameGeometry{8, 24, 4}));
    EXPECT_EQ(session_->Geometry(), (FrameGeometry{8, 24, 4}));
    // The data path works with the record that went out.
    EXPECT_EQ(LastHandedOver().码率, 4000000u);
    EXPECT_EQ(LastHandedOver().receiverSettings[0], 1u);
    // The engine's frames reach the frame's data callback.
    EXPECT_TRUE(WaitUntil([] { return g_blocks > 0; }));
}

TEST_F(CardSessionTest, TimedLiftOffAtOpenCountsTheDayBeforeOnAFreeRunningSystemTimeCard) {
    StartEngine();
    ASSERT_NE(GetDefaultTaskPara(info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get(), 1),
              0);
    time_->起飞使能 = 1;
    time_->定时起飞使能 = 1;
    time_->定时起飞时间 = DayTime{200, 8, 30, 15, 500};
    time_->定时起飞时间附加字 = 7;
    time_->basic.内时统基准模式 = 0;
    time_->basic.内时统同步模式 = 0;
    time_->basic.内时统校准使能 = 1;
    dem_->dem.时统模式 = 0;
    session_->OpenCard();

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = Commands()).size() >= 7; }));
    ASSERT_TRUE(Is(c[3], 5, 5));
    EXPECT_EQ(c[3].Word(0), 0u);  // switched off before the record changes
    ASSERT_TRUE(Is(c[4], 5, 5));
    EXPECT_EQ(c[4].Word(0), 1u);
    ASSERT_TRUE(Is(c[5], 5, 4));
    EXPECT_EQ(c[5].Word(0), 199u);
    EXPECT_EQ(c[5].Half(4), 8);
    EXPECT_EQ(c[5].Half(6), 30);
    EXPECT_EQ(c[5].Half(8), 15);
    EXPECT_EQ(c[5].Half(10), 500);
    EXPECT_EQ(c[5].Word(12), 7u);
    EXPECT_EQ(c[5].Word(24), 1u);  // lift-off on
    EXPECT_EQ(c[5].Word(32), 0u);  // route
    EXPECT_EQ(c[5].Word(36), 0u);  // external
    EXPECT_EQ(c[5].Word(40), 1u);  // timed
    ASSERT_TRUE(Is(c[6], 5, 5));
    EXPECT_EQ(c[6].Word(0), 1u);
    EXPECT_EQ(flags_.liftOffEnable, 1);
}

TEST_F(CardSessionTest, ExternalLiftOffWinsOverRouteAndTimedKeepsItsDayOnAnExternallyTimedCard) {
    StartEngine();
    ASSERT_NE(GetDefaultTaskPara(info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get(), 1),
              0);
    time_->起飞使能 = 1;
    time_->定时起飞使能 = 1;
    time_->选路起飞使能 = 1;
    time_->外部起飞使能 = 1;
    time_->定时起飞时间.day = 200;
    time_->参考波道 = 12;
    time_->参考门限 = 3000;
    dem_->dem.时统模式 = 1;  // external time tags: the day stays
    session_->OpenCard();

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = Commands()).size() >= 7; }));
    ASSERT_TRUE(Is(c[5], 5, 4));
    EXPECT_EQ(c[5].Word(0), 200u);
    EXPECT_EQ(c[5].Word(16), 12u);
    EXPECT_EQ(c[5].Word(20), 3000u);
    EXPECT_EQ(c[5].Word(32), 0u);
    EXPECT_EQ(c[5].Word(36), 1u);
    EXPECT_EQ(c[5].Word(40), 0u);
}

TEST_F(CardSessionTest, FailedOpenTellsTheOperatorAndLeavesTheCardClosed) {
    ::setenv("TALVORA_ENGINE",
             ("127.0.0.1:" + std::to_string(cardengine::testkit::FreeLoopbackPort())).c_str(), 1);
    LoadDefaultTask();
    session_->OpenCard();
    EXPECT_EQ(flags_.cardOpen, 0);
    EXPECT_EQ(flags_.cardInitialising, 0);
    EXPECT_EQ(flags_.paramsApplied, 0);
    EXPECT_TRUE(Logged("基带卡初始化失败"));
    const auto shown = sink_->Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "设备连接打开失败！");
    EXPECT_EQ(shown[0].caption, "初始化基带卡");
    EXPECT_EQ(shown[0].type & plat::MB_ICONMASK, plat::MB_ICONERROR);
    EXPECT_FALSE(geometry_.empty());  // the search still gets the geometry
}

TEST_F(CardSessionTest, RecordsResentAfterAReconnectAreNotCountedAsSentAgain) {
    StartEngine({"--close-after-sec", "2"});
    const std::size_t n0 = OpenWithDefaultTask();
    // The engine drops the link; the watchdog reconnects and re-sends the
    // demodulator and simulator records it keeps, demodulator last.
    ASSERT_TRUE(WaitUntil([&] {
        int dems = 0;
        for (const Received& r : cardengine::testkit::ParseReceived(engine_->LogLines(), 2))
            dems += Is(r, 2, 3);
        return dems >= 2;
    })) << "no re-send on a second connection";
    EXPECT_EQ(Commands().size(), n0);
    EXPECT_GE(engine_->Received().size(), n0 + 3);  // the copies did arrive
}

// --- apply notification ---

TEST_F(CardSessionTest,
       WholeCardWithOnlyTheReceiverSelectedSendsDemodulatorAndSimulatorAndReportsFailure) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    DialogApplies(taskbook::kApplyWholeCard, [](taskbook::TaskRecords& r) {
        r.info.streams[0] = {0, 1, 0, 0, 0};  // receiver only
        // Only the receiver record is fetched; the working demodulator and
        // simulator records are the ones sent.
        r.streams[0].dem.dem.码率 = 2000000;
        r.streams[0].recv.dem.码率 = 1000000;
    });
    session_->OnApplyNotification(taskbook::kApplyWholeCard);

    // No time-code record among what was sent.
    const std::vector<Received> c = CommandsAfterUntilMarker(n0);
    ASSERT_EQ(c.size(), 2u);
    ASSERT_TRUE(Is(c[0], 2, 3));
    EXPECT_EQ(c[0].Word(28), 4000000u);
    EXPECT_EQ(c[0].Word(84), 1u);
    EXPECT_EQ(c[0].Word(696), 0u);
    ASSERT_TRUE(Is(c[1], 4, 3));
    EXPECT_EQ(c[1].Word(720), 0u);
    EXPECT_EQ(recv_->dem.码率, 1000000u);

    EXPECT_TRUE(
        LoggedStartingWith("YC-整体设置（解调器参数-成功）\r\n-------解调器参数---------："));
    EXPECT_TRUE(
        LoggedStartingWith("YC-整体设置（模拟器参数-成功）\r\n-------模拟器参数---------："));
    EXPECT_TRUE(Logged("(YC)板卡整体设置失败！\n"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"板卡整体设置失败！"});
    EXPECT_EQ(flags_.cardInitialising, 0);
    EXPECT_STREQ(info_->任务名, "试验任务");
}

TEST_F(CardSessionTest, WholeCardFollowsTheSelectionOfTheStreamInUse) {
    flags_.streamNo = 2;
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    DialogApplies(taskbook::kApplyWholeCard, [](taskbook::TaskRecords& r) {
        r.info.streams[0] = {0, 0, 0, 0, 0};
        r.info.streams[1] = {0, 0, 1, 1, 1};
        r.streams[1].dem.dem.码率 = 2000000;
    });
    session_->OnApplyNotification(taskbook::kApplyWholeCard);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = CommandsAfter(n0)).size() >= 3; }));
    ASSERT_TRUE(Is(c[0], 2, 3));
    EXPECT_EQ(c[0].Word(28), 2000000u);
    EXPECT_TRUE(Is(c[1], 4, 3));
    EXPECT_TRUE(Is(c[2], 5, 3));
    EXPECT_EQ(Shown(), std::vector<std::string>{"板卡整体设置成功！"});
}

TEST_F(CardSessionTest, EverythingSendsAllThreeAndReportsSuccess) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    flags_.bitErrorOn = 1;
    flags_.stdFrameCaptured = 1;
    DialogApplies(taskbook::kApplyEverything, [](taskbook::TaskRecords&) {});
    session_->OnApplyNotification(taskbook::kApplyEverything);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = CommandsAfter(n0)).size() >= 6; }));
    EXPECT_TRUE(Is(c[0], 2, 3));
    EXPECT_TRUE(Is(c[1], 4, 3));
    ASSERT_TRUE(Is(c[2], 5, 3));
    EXPECT_EQ(c[2].Word(0), 61u);
    EXPECT_TRUE(Logged("YC-整体设置（时码器参数-成功）"));
    EXPECT_TRUE(Logged("(YC)板卡整体设置成功！\n"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"板卡整体设置成功！"});
    // Bit-error measurement is switched off and its standard frame dropped.
    EXPECT_EQ(flags_.bitErrorOn, 0);
    EXPECT_EQ(flags_.stdFrameCaptured, 0);
    EXPECT_EQ(discards_, 1);
}

TEST_F(CardSessionTest, ApplyWhileRecordingIsRefusedAndSendsNothing) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    flags_.recording = 1;
    flags_.replayRunning = 1;
    DialogApplies(taskbook::kApplyEverything,
                  [](taskbook::TaskRecords& r) { r.streams[0].dem.dem.码率 = 2000000; });
    session_->OnApplyNotification(taskbook::kApplyEverything);
    EXPECT_TRUE(CommandsAfterUntilMarker(n0).empty());
    EXPECT_EQ(Shown(),
              std::vector<std::string>{"正在进行数据存盘，如需修改设备工作参数请先停止数据存盘。"});
    EXPECT_EQ(dem_->dem.码率, 4000000u);  // the records were not fetched
    EXPECT_STREQ(info_->任务名, "当前任务");
}

TEST_F(CardSessionTest, ActivityCheckNamesTheFirstActivityInItsOrder) {
    struct Case {
        std::atomic<int>* flag;
        const char* text;
    };
    const Case cases[] = {
        {&flags_.replayRunning, "正在进行模飞，如需修改设备工作参数请先停止模飞。"},
        {&flags_.frameCountStatOn,
         "正在进行数据帧计数统计，如需修改设备工作参数请先停止帧计数统计。"},
        {&flags_.idStatOn, "正在进行数据ID计数统计，如需修改设备工作参数请先停止ID计数统计。"},
        {&flags_.timeStatOn,
         "正在进行数据时间连续统计，如需修改设备工作参数请先停止时间连续统计。"},
    };
    // Each activity with every later one also running.
    for (const Case& c : cases) *c.flag = 1;
    for (const Case& c : cases) {
        sink_->Clear();
        EXPECT_FALSE(session_->CheckActivity());
        EXPECT_EQ(Shown(), std::vector<std::string>{c.text});
        *c.flag = 0;
    }
    sink_->Clear();
    EXPECT_TRUE(session_->CheckActivity());
    EXPECT_TRUE(Shown().empty());
}

TEST_F(CardSessionTest, ApplyWithoutCardIsRefusedAfterTheRecordsWereFetched) {
    LoadDefaultTask();
    DialogApplies(15, [](taskbook::TaskRecords& r) { r.streams[0].dem.dem.码率 = 2000000; });
    session_->OnApplyNotification(15);
    EXPECT_EQ(Shown(), std::vector<std::string>{"未识别基带卡，不能设置设备参数！"});
    EXPECT_EQ(dem_->dem.码率, 2000000u);
    EXPECT_EQ(dem_->dem.receiverSettings[0], 0u);  // word 696: a later sending
    EXPECT_EQ(flags_.cardInitialising, 1);         // untouched: the open never ran
    // A replay is framed by the record fetched, even without a card.
    EXPECT_EQ(LastHandedOver().码率, 2000000u);
}

TEST_F(CardSessionTest, DemodulatorApplyReportsAndResetsTheAssembly) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    flags_.afterDecryption = 1;
    const int resetsBefore = superframeResets_;
    const std::size_t geometriesBefore = geometry_.size();
    DialogApplies(15, [](taskbook::TaskRecords& r) {
        r.streams[0].dem.dem.字长 = 12;
        r.streams[0].dem.dem.子帧长 = 32;
        r.streams[0].dem.dem.副帧长 = 8;
    });
    session_->OnApplyNotification(15);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return !(c = CommandsAfter(n0)).empty(); }));
    ASSERT_TRUE(Is(c[0], 2, 3));
    EXPECT_EQ(c[0].Word(36), 12u);
    EXPECT_EQ(Shown(), std::vector<std::string>{"设置解调器成功！"});
    EXPECT_TRUE(LoggedStartingWith("(YC)解调器参数设置成功\n\r\n-------解调器参数---------：\r\n"));
    EXPECT_EQ(flags_.afterDecryption, 0);  // decryption switch 0
    EXPECT_EQ(superframeResets_, resetsBefore + 1);
    ASSERT_EQ(geometry_.size(), geometriesBefore + 1);
    EXPECT_EQ(geometry_.back(), (FrameGeometry{8, 64, 8}));
    EXPECT_EQ(LastHandedOver().字长, 12u);
    EXPECT_EQ(LastHandedOver().子帧长, 32u);
}

TEST_F(CardSessionTest, TimeCodeApplyClearsTheLiftOffRecordAndResendsIt) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    DialogApplies(19, [](taskbook::TaskRecords& r) { r.streams[0].time.起飞使能 = 1; });
    session_->OnApplyNotification(19);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = CommandsAfter(n0)).size() >= 4; }));
    ASSERT_TRUE(Is(c[0], 5, 3));
    EXPECT_EQ(c[0].Word(0), 61u);
    ASSERT_TRUE(Is(c[1], 5, 5));
    EXPECT_EQ(c[1].Word(0), 1u);
    ASSERT_TRUE(Is(c[2], 5, 4));
    EXPECT_EQ(c[2].Word(24), 0u);
    ASSERT_TRUE(Is(c[3], 5, 5));
    EXPECT_TRUE(Logged("(YC)时码器设置成功\n"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"设置时码器成功！"});
    EXPECT_EQ(flags_.liftOffEnable, 1);
}

TEST_F(CardSessionTest, ReceiverApplySendsBothHalvesAndTakesItsInputFrequency) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    const int resetsBefore = superframeResets_;
    DialogApplies(13, [](taskbook::TaskRecords& r) {
        r.streams[0].recv.dem.输入频率 = 2250000000.0;
        r.streams[0].recv.sim.Sim输出功率 = 17;
    });
    session_->OnApplyNotification(13);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = CommandsAfter(n0)).size() >= 2; }));
    ASSERT_TRUE(Is(c[0], 2, 3));
    double frequency;
    std::memcpy(&frequency, c[0].payload.data(), 8);
    EXPECT_EQ(frequency, 2250000000.0);
    ASSERT_TRUE(Is(c[1], 4, 3));
    EXPECT_EQ(c[1].Word(136), 17u);
    EXPECT_EQ(dem_->dem.输入频率, 2250000000.0);
    EXPECT_EQ(LastHandedOver().输入频率, 2250000000.0);
    EXPECT_TRUE(LoggedStartingWith("(YC)接收机设置成功\n\r\n-------接收机参数---------：\r\n"));
    EXPECT_EQ(Shown(), std::vector<std::string>{"中频接收机设置成功！"});
    EXPECT_EQ(superframeResets_, resetsBefore + 1);
}

TEST_F(CardSessionTest, StreamPageAndBranchSendEveryUnitOfTheStreamInTheOrderOfEverything) {
    StartEngine();
    std::size_t n = OpenWithDefaultTask();
    for (const int code : {taskbook::ApplyStreamPage(1), taskbook::ApplyStreamBranch(1)}) {
        SCOPED_TRACE(code);
        sink_->Clear();
        DialogApplies(code, [code](taskbook::TaskRecords& r) {
            r.info.streams[0] = {0, 0, 0, 0, 0};  // the selection plays no part
            r.streams[0].dem.dem.码率 = 1000000u + std::uint32_t(code);
            r.streams[0].sim.sim.码率 = 3000000;
        });
        session_->OnApplyNotification(code);

        const std::vector<Received> c = CommandsAfterUntilMarker(n);
        ASSERT_GE(c.size(), 3u);
        ASSERT_TRUE(Is(c[0], 2, 3));
        EXPECT_EQ(c[0].Word(28), 1000000u + std::uint32_t(code));
        ASSERT_TRUE(Is(c[1], 4, 3));
        EXPECT_EQ(c[1].Word(36), 3000000u);
        ASSERT_TRUE(Is(c[2], 5, 3));
        EXPECT_EQ(c[2].Word(0), 61u);  // stamped with the computer's day
        EXPECT_EQ(Shown(),
                  std::vector<std::string>{"遥测流1设备参数设置成功！（解调器、模拟器、时码器）"});
        EXPECT_TRUE(Logged("(YC)遥测流1设备参数设置成功！（解调器、模拟器、时码器）\n"));
        EXPECT_TRUE(LoggedStartingWith("YC-整体设置（解调器参数-成功）"));
        EXPECT_EQ(dem_->dem.码率, 1000000u + std::uint32_t(code));
        n = Commands().size();
    }
    EXPECT_EQ(flags_.cardInitialising, 0);
}

TEST_F(CardSessionTest, CodesOfAnotherStreamSendNothingAndNameTheStreamInUse) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    const DemParam before = dem_->dem;
    const char* const stream2 =
        "所应用的参数属于遥测流2，本程序运行遥测流1，未向基带卡发送任何参数。";
    const char* const stream3 =
        "所应用的参数属于遥测流3，本程序运行遥测流1，未向基带卡发送任何参数。";
    const std::pair<int, const char*> cases[] = {
        {4, stream2},  {8, stream2},  {21, stream2}, {23, stream2}, {25, stream2},
        {27, stream2}, {29, stream2}, {5, stream3},  {9, stream3},  {33, stream3},
        {35, stream3}, {37, stream3}, {39, stream3},
    };
    for (const auto& [code, text] : cases) {
        SCOPED_TRACE(code);
        sink_->Clear();
        DialogApplies(code, [](taskbook::TaskRecords& r) {
            for (auto& stream : r.streams) stream.dem.dem.码率 = 2000000;
        });
        session_->OnApplyNotification(code);
        EXPECT_EQ(Shown(), std::vector<std::string>{text});
    }
    EXPECT_TRUE(CommandsAfterUntilMarker(n0).empty());
    EXPECT_EQ(std::memcmp(&dem_->dem, &before, sizeof before), 0);  // nothing fetched
    EXPECT_STREQ(info_->任务名, "当前任务");
    EXPECT_TRUE(Logged(std::string("(YC)") + stream2 + "\n"));
    EXPECT_EQ(flags_.cardInitialising, 0);

    // The same codes for the stream in use are applied.
    flags_.streamNo = 2;
    sink_->Clear();
    DialogApplies(25, [](taskbook::TaskRecords& r) { r.streams[1].dem.dem.码率 = 2000000; });
    session_->OnApplyNotification(25);
    EXPECT_EQ(Shown(), std::vector<std::string>{"设置解调器成功！"});
    EXPECT_EQ(dem_->dem.码率, 2000000u);
}

TEST_F(CardSessionTest, ApplyThatReframesTheDataDropsTheStandardFrame) {
    StartEngine();
    OpenWithDefaultTask();
    flags_.stdFrameCaptured = 1;
    // Receiver and time-code applies leave the frame as it is.
    DialogApplies(19, [](taskbook::TaskRecords&) {});
    session_->OnApplyNotification(19);
    DialogApplies(15, [](taskbook::TaskRecords&) {});
    session_->OnApplyNotification(15);
    EXPECT_EQ(flags_.stdFrameCaptured, 1);
    EXPECT_EQ(discards_, 0);
    DialogApplies(15, [](taskbook::TaskRecords& r) { r.streams[0].dem.dem.子帧长 = 32; });
    session_->OnApplyNotification(15);
    EXPECT_EQ(flags_.stdFrameCaptured, 0);
    EXPECT_EQ(discards_, 1);
    EXPECT_TRUE(Logged("帧结构已改变，误码统计的标准帧已作废，请重新采集标准帧\n"));
}

TEST_F(CardSessionTest, TaskInformationApplySendsNothing) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    DialogApplies(taskbook::kApplyTaskInfo, [](taskbook::TaskRecords&) {});
    session_->OnApplyNotification(taskbook::kApplyTaskInfo);
    DialogApplies(taskbook::kApplyAntenna, [](taskbook::TaskRecords&) {});
    session_->OnApplyNotification(taskbook::kApplyAntenna);
    EXPECT_TRUE(CommandsAfterUntilMarker(n0).empty());
    EXPECT_EQ(Shown(), std::vector<std::string>{"任务信息应用成功！"});
    EXPECT_EQ(flags_.cardInitialising, 0);
}

// --- working state and the task-macro dialog ---

TEST_F(CardSessionTest, WorkingStateIsSavedAsTheCurrentTask) {
    ASSERT_NE(GetDefaultTaskPara(info_.get(), dem_.get(), sim_.get(), time_.get(), recv_.get(), 1),
              0);
    std::strcpy(info_->任务名, "另一任务");
    info_->执行地点[0] = '\0';
    dem_->dem.码率 = 1234567;
    ASSERT_TRUE(session_->SaveWorkingState());
    EXPECT_STREQ(info_->执行时间, "2024-3-1 10:20:30");

    auto info = std::make_unique<TaskInfoRecord>();
    auto dem = std::make_unique<DemTaskRecord>();
    auto sim = std::make_unique<SimTaskRecord>();
    auto time = std::make_unique<TimeTaskRecord>();
    auto recv = std::make_unique<RecvTaskRecord>();
    ASSERT_NE(GetDefaultTaskPara(info.get(), dem.get(), sim.get(), time.get(), recv.get(), 1), 0);
    EXPECT_STREQ(info->任务名, "当前任务");
    EXPECT_STREQ(info->任务描述, "当前任务，系统自动保存的设备工作状态参数");
    EXPECT_STREQ(info->执行地点, "未知");
    EXPECT_EQ(dem->dem.码率, 1234567u);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(CardSessionTest, WorkingStateThatCannotBeWrittenIsReported) {
    LoadDefaultTask();
    taskbook::TaskStore::Instance().SetReadOnlyForTest(true);
    sink_->Clear();
    EXPECT_FALSE(session_->SaveWorkingState());
    const auto shown = Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "参数保存到当前状态失败！");
}

TEST_F(CardSessionTest, DialogMasksFollowTheCard) {
    int owner = 0;
    LoadDefaultTask();
    flags_.streamNo = 7;  // any other value counts as stream 3
    session_->TaskManagement(&owner);
    auto caller = taskbook::TaskStore::Instance().LastCaller();
    EXPECT_EQ(caller.owner, &owner);
    EXPECT_EQ(caller.stream, 3);
    EXPECT_EQ(caller.mode, 1);
    EXPECT_EQ(caller.mask, 128u);
    session_->DeviceManagement(&owner);
    caller = taskbook::TaskStore::Instance().LastCaller();
    EXPECT_EQ(caller.mode, 2);
    EXPECT_EQ(caller.mask, 255u);

    flags_.cardOpen = 1;
    EXPECT_EQ(session_->TaskManagementMask(), 127u);
    EXPECT_EQ(session_->DeviceManagementMask(), 127u);

    // Device management is refused while statistics run; the dialog stays shut.
    flags_.idStatOn = 1;
    session_->TaskManagement(nullptr);
    session_->DeviceManagement(&owner);
    EXPECT_EQ(taskbook::TaskStore::Instance().LastCaller().owner, nullptr);
    EXPECT_EQ(Shown().back(), "正在进行数据ID计数统计，如需修改设备工作参数请先停止ID计数统计。");
}

// --- lift-off ---

TEST_F(CardSessionTest, AllowLiftOffTogglesAndManualLiftOffFollowsTheSwitch) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    session_->AllowLiftOff();
    EXPECT_EQ(flags_.liftOffEnable, 1);
    EXPECT_EQ(time_->起飞使能, 1u);
    session_->ManualLiftOff();
    EXPECT_EQ(session_->LiftOffRecord().reserved28, 1u);
    session_->liftOffSeen = 1;
    session_->AllowLiftOff();
    EXPECT_EQ(flags_.liftOffEnable, 0);
    EXPECT_EQ(session_->liftOffSeen, 0);
    EXPECT_EQ(session_->headerLiftOffDay, 367u);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return (c = CommandsAfter(n0)).size() >= 4; }));
    ASSERT_TRUE(Is(c[0], 5, 5));
    EXPECT_EQ(c[0].Word(0), 1u);
    ASSERT_TRUE(Is(c[1], 5, 6));
    EXPECT_EQ(c[1].Word(0), 1u);
    ASSERT_TRUE(Is(c[2], 5, 5));
    EXPECT_EQ(c[2].Word(0), 0u);
    ASSERT_TRUE(Is(c[3], 5, 6));
    EXPECT_EQ(c[3].Word(0), 0u);
}

// --- clock calibration ---

TEST_F(CardSessionTest, CalibrationAgainstAStoppedCardClockEndsWithTheCompletionMessage) {
    StartEngine({"--status-ms", "600000"});  // one time record at connect, then none
    const std::size_t n0 = OpenWithDefaultTask();
    ASSERT_TRUE(session_->StartClockCalibration());
    ASSERT_TRUE(WaitUntil([&] { return !session_->CalibrationRunning(); }));
    EXPECT_EQ(Shown(), std::vector<std::string>{kCompletionText});
    EXPECT_EQ(g_clockCalls, 0);
    EXPECT_TRUE(CommandsAfterUntilMarker(n0).empty());
}

TEST_F(CardSessionTest, CalibrationSetsTheClockFromTheCardAndSendsTheStampedTimeCode) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    time_->basic.内时统基准模式 = 1;
    time_->basic.内时统校准使能 = 0;
    ASSERT_TRUE(session_->StartClockCalibration());
    ASSERT_TRUE(WaitUntil([&] { return !session_->CalibrationRunning(); }));
    ASSERT_EQ(g_clockCalls, 1);
    EXPECT_EQ(Shown(), std::vector<std::string>{kCompletionText});
    const LocalTime set = g_clockSet;
    EXPECT_EQ(set.year, 2024);  // the computer's date
    EXPECT_EQ(set.month, 3);
    EXPECT_EQ(set.day, 1);
    EXPECT_GE(set.millisecond, 100);

    std::vector<Received> c;
    ASSERT_TRUE(WaitUntil([&] { return !(c = CommandsAfter(n0)).empty(); }));
    ASSERT_TRUE(Is(c[0], 5, 3));
    EXPECT_EQ(c[0].Word(0), 61u);
    EXPECT_EQ(c[0].Half(4), set.hour);
    EXPECT_EQ(c[0].Half(6), set.minute);
    EXPECT_EQ(c[0].Half(8), set.second);
    EXPECT_EQ(c[0].Half(10), set.millisecond);
    EXPECT_EQ(c[0].Word(16), 0u);
    EXPECT_EQ(c[0].Word(20), 0u);
    EXPECT_EQ(c[0].Word(24), 1u);
}

TEST_F(CardSessionTest, RefusedClockIsReportedPlainlyAndTheTimeCodeUnitKeepsItsSettings) {
    StartEngine();
    const std::size_t n0 = OpenWithDefaultTask();
    g_clockAnswer = EPERM;
    ASSERT_TRUE(session_->StartClockCalibration());
    ASSERT_TRUE(WaitUntil([&] { return !session_->CalibrationRunning(); }));
    EXPECT_EQ(g_clockCalls, 1);
    EXPECT_EQ(Shown(), std::vector<std::string>{kClockRefusedText});
    EXPECT_TRUE(CommandsAfterUntilMarker(n0).empty());
}

}  // namespace

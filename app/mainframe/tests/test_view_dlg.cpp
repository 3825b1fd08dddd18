// The status view inside the main frame: its form, the lock lamps and the
// sync-loss counter against a loopback card engine, and a card replay that
// ends, loops and is moved with the slider and the jump fields.
#include <bbdevice/bbdevice.h>
#include <datapath/data_path.h>
#include <platform/codepage.h>
#include <recording/recording_files.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSlider>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>

#include "command_ids.h"
#include "dock_page_bar.h"
#include "frame_fixture.h"
#include "testsupport/wait.h"
#include "view_dlg.h"

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;
using cardengine::testkit::ReceivedCommand;
using mainframe::kLampLocked;
using mainframe::kLampNotApplicable;
using mainframe::kLampNotLocked;
using talvora::test::WaitUntil;

namespace {

constexpr unsigned kReplayModule = 4, kOpBegin = 5, kOpData = 6, kOpEndOfFill = 7, kOpStop = 8;

// Every message box text, answered with its default.
class CapturingSink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& r) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(r.text);
        return plat::DefaultAnswer(r.type);
    }
    int Count(const std::string& text) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& t : texts_) n += t == text;
        return n;
    }
    int CountContaining(const std::string& part) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& t : texts_) n += t.find(part) != std::string::npos;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

bool ContainsColour(const QImage& image, QRgb colour) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFFu) == (colour & 0xFFFFFFu)) return true;
    }
    return false;
}

class StatusViewTest : public FrameTest {
protected:
    CViewDlg* View() { return frame_->StatusView(); }
    int SyncLoss() { return frame_->GetDataPath()->syncLossCount.load(); }
    // Waits until the view has refreshed `n` more times: the marker that a
    // state has had its chance to change.
    bool RefreshesPass(int n) {
        const std::uint64_t from = View()->RefreshCount();
        return WaitUntil([&] { return View()->RefreshCount() >= from + n; }, 20s);
    }
    bool CardOpened() {
        return WaitUntil([&] { return frame_->m_bCardOpen && !frame_->m_bCardInitialising; }, 20s);
    }
    void CloseFrame() {
        sink_->AnswerExit(plat::IDOK);
        plat::SetNotifySink(sink_);
        frame_->close();
    }
    // The journal of this run, as UTF-8.
    std::string Journal() const {
        std::string all;
        const QDir logs(QString::fromStdString(Home()) + "/Log");
        for (const QString& name : logs.entryList(QDir::Files)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                all += plat::GbkToUtf8(file.readAll().toStdString());
        }
        return all;
    }
    bool Logged(const std::string& text) const { return Journal().find(text) != std::string::npos; }
};

TEST_F(StatusViewTest, PageHoldsEveryControlOnTheDarkBackgroundInsideAScrollArea) {
    CMainFrame* f = MakeFrame();
    CViewDlg* v = View();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(f->StatusBarDock()->Pages()->widget(0), v);
    EXPECT_EQ(v->objectName(), QStringLiteral("CViewDlg"));
    std::vector<int> ids;
    for (int id = 1001; id <= 1066; ++id) ids.push_back(id);
    const std::set<int> unused = {1002, 1003, 1006, 1019, 1023, 1024, 1025, 1026, 1027, 1046,
                                  1047, 1048, 1049, 1059, 1061, 1062, 1063, 1064, 1065};
    for (int id : ids) {
        if (unused.count(id)) continue;
        QWidget* w = v->Control(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_EQ(w->objectName(), QString::number(id));
    }
    for (int id : {1124, 1125, 1126}) ASSERT_NE(v->Control(id), nullptr) << id;
    // The whole form scrolls inside the bar.
    ASSERT_NE(v->ScrollArea(), nullptr);
    QWidget* form = v->ScrollArea()->widget();
    EXPECT_GT(form->width(), v->ScrollArea()->viewport()->width());
    auto* slider = qobject_cast<QSlider*>(v->Control(1016));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 1000);

    ASSERT_TRUE(RefreshesPass(2));
    EXPECT_FALSE(slider->isEnabled());  // no replay
    EXPECT_FALSE(v->Control(1031)->isEnabled());
    EXPECT_TRUE(v->ColourLampOf(1028)->IsOn());
    EXPECT_FALSE(v->ColourLampOf(1029)->IsOn());
    // The home's network output opened on loopback: its endpoints are ready,
    // but nothing is switched on.
    for (int id : {1020, 1021, 1022}) {
        EXPECT_TRUE(v->ColourLampOf(id)->IsOn()) << id;
        EXPECT_FALSE(v->ColourLampOf(id)->IsHighlighted()) << id;
    }
    const QImage shot = form->grab().toImage();
    EXPECT_TRUE(ContainsColour(shot, qRgb(0, 30, 50)));
    EXPECT_TRUE(ContainsColour(shot, qRgb(0, 255, 0)));
    EXPECT_TRUE(ContainsColour(shot, qRgb(200, 0, 0)));
}

TEST_F(StatusViewTest, WithoutACardTheCounterStaysAt100AndTheLampsAsTheyWere) {
    MakeFrame();  // the fixture's engine is a closed loopback port
    ASSERT_TRUE(WaitUntil([&] { return frame_->m_bCardInitialising == 0; }, 20s));
    ASSERT_TRUE(RefreshesPass(20));
    EXPECT_EQ(frame_->m_bCardOpen.load(), 0);
    EXPECT_EQ(SyncLoss(), 100);
    EXPECT_EQ(frame_->GetDataPath()->dayOfYear.load(), 0u);
    for (int id : {1007, 1008, 1009, 1010}) EXPECT_EQ(View()->LampImageOf(id), kLampNotApplicable);
    EXPECT_TRUE(View()->TextOf(1018).isEmpty());
}

TEST_F(StatusViewTest, LoopbackCardLightsTheSyncLampsAndRunsTheCardTime) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    CViewDlg* v = View();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return v->LampImageOf(1008) == kLampLocked && v->LampImageOf(1009) == kLampLocked &&
                   v->LampImageOf(1010) == kLampLocked;
        },
        20s, "bit, subframe and superframe sync lamps lit"));
    // The default task's data source is the self-test: no carrier to lock.
    EXPECT_EQ(v->LampImageOf(1007), kLampNotApplicable);
    EXPECT_EQ(v->TextOf(1001), QStringLiteral("PCM自检"));
    EXPECT_TRUE(v->TextOf(1004).endsWith(QStringLiteral("MHz")));
    EXPECT_EQ(SyncLoss(), 0);
    EXPECT_TRUE(v->LastLockFlags().bitSync && v->LastLockFlags().subframeSync);
    EXPECT_EQ(frame_->m_bBitSyncLock.load(), 1);

    // The card's time code runs and its day is kept for the recording.
    const QString first = v->TextOf(1018);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return v->TextOf(1018) != first; }, 10s, "the time code"));
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const unsigned day = frame_->GetDataPath()->dayOfYear.load();
    EXPECT_TRUE(day == unsigned(local.tm_yday + 1) || day == unsigned(local.tm_yday)) << day;
    EXPECT_TRUE(v->TextOf(1018).startsWith(QString::number(day) + "-"));
    EXPECT_TRUE(v->TextOf(1032).isEmpty());  // lift-off not enabled
    CloseFrame();
}

TEST_F(StatusViewTest, LiftOffTimeShowsOnceTheCardReportsTheLiftOff) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    frame_->m_bLiftOffEnable = 1;
    ASSERT_TRUE(RefreshesPass(3));
    EXPECT_TRUE(View()->TextOf(1032).isEmpty());
    ASSERT_TRUE(BB_SetTimeSystemHandFly(0, 1));
    ASSERT_TRUE(WaitUntil([&] { return !View()->TextOf(1032).isEmpty(); }, 10s, "lift-off"));
    const QString shown = View()->TextOf(1032);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+-\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                    .match(shown)
                    .hasMatch())
        << shown.toStdString();
    // Lift-off switched off: a blank again.
    frame_->m_bLiftOffEnable = 0;
    ASSERT_TRUE(WaitUntil([&] { return View()->TextOf(1032).isEmpty(); }, 10s));
    CloseFrame();
}

TEST_F(StatusViewTest, LockMaskOfTheEngineShowsOnlyTheChosenLocks) {
    EngineProcess engine({"--dem-lock", "3"});  // carrier and bit sync
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    CViewDlg* v = View();
    ASSERT_TRUE(WaitUntil([&] { return v->LampImageOf(1008) == kLampLocked; }, 20s));
    EXPECT_EQ(v->LampImageOf(1009), kLampNotLocked);
    EXPECT_EQ(v->LampImageOf(1010), kLampNotLocked);
    ASSERT_TRUE(WaitUntil([&] { return SyncLoss() > 105; }, 20s, "the counter growing"));
    CloseFrame();
}

TEST(CardEngineLockSwitches, BadValuesKeepTheEngineFromStarting) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--dem-lock", "16"},
                                          {"--dem-lock", "x"},
                                          {"--dem-lock-loss", "1"},
                                          {"--dem-lock-loss", "-1:4"},
                                          {"--dem-lock-loss", "1:"}}) {
        EngineProcess engine(args);
        EXPECT_FALSE(engine.started()) << args[0] << " " << args[1];
    }
    EngineProcess good({"--dem-lock", "0x5", "--dem-lock-loss", "0.5:2"});
    EXPECT_TRUE(good.started());
}

TEST_F(StatusViewTest, LockLossRaisesTheCounterPast30AndLockBringsItBackToZero) {
    EngineProcess engine({"--dem-lock-loss", "1:4"});
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    // 0 while in lock, past 30 while the lock is lost, 0 again after.
    int phase = 0;
    int highest = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const int c = SyncLoss();
            if (phase == 0 && c == 0) phase = 1;
            if (phase == 1 && c > 30) phase = 2, highest = c;
            if (phase == 2 && View()->LampImageOf(1008) == kLampNotLocked) phase = 3;
            if (phase == 3 && c == 0) phase = 4;
            return phase == 4;
        },
        30s, "lock, loss, lock"))
        << "phase " << phase;
    EXPECT_GT(highest, 30);
    EXPECT_EQ(View()->LampImageOf(1008), kLampLocked);
    CloseFrame();
}

TEST_F(StatusViewTest, CounterAndTimeKeepRunningWhileTheBarIsHidden) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    frame_->StatusBarDock()->hide();
    QApplication::processEvents();
    ASSERT_FALSE(View()->isVisible());
    ASSERT_TRUE(CardOpened());
    ASSERT_TRUE(WaitUntil([&] { return SyncLoss() == 0; }, 20s, "the counter reaching 0"));
    EXPECT_NE(frame_->GetDataPath()->dayOfYear.load(), 0u);
    EXPECT_TRUE(frame_->StatusBarDock()->isHidden());
    CloseFrame();
}

// --- card replay ---

class CardReplayTest : public StatusViewTest {
protected:
    void SetUp() override {
        StatusViewTest::SetUp();
        engine_ = std::make_unique<EngineProcess>();
        ASSERT_TRUE(engine_->started());
        UseEngine(engine_->Address());
        MakeFrame();
        ASSERT_TRUE(CardOpened());
        capture_ = std::make_shared<CapturingSink>();
        plat::SetNotifySink(capture_);
        ASSERT_NO_FATAL_FAILURE(Record());
    }
    void TearDown() override {
        if (frame_) {
            frame_->m_bReplayRunning = 0;
            CloseFrame();
        }
        StatusViewTest::TearDown();
    }

    // Records the card's frames through the device library into a .dem file.
    void Record() {
        path_ = Home() + "/replay.dem";
        auto request = std::make_unique<DemSaveRequest>();
        std::memset(request.get(), 0, sizeof *request);
        std::snprintf(request->path, sizeof request->path, "%s", path_.c_str());
        ASSERT_TRUE(BB_StartSaveDemData(0, 0, request.get()));
        ASSERT_TRUE(WaitUntil(
            [&] {
                double bytes = 0;
                return BB_GetSaveDemDataBytes(0, 0, &bytes) && bytes >= 40000;
            },
            20s, "recorded bytes"));
        ASSERT_TRUE(BB_StopSaveDemData(0, 0));
        std::ifstream in(path_, std::ios::binary);
        std::uint8_t header[1024] = {};
        ASSERT_TRUE(in.read(reinterpret_cast<char*>(header), sizeof header));
        std::uint64_t count = 0;
        std::memcpy(&count, header + 384, 8);
        ASSERT_GT(count, 100u);
        mainframe::ReplayState& r = frame_->m_replay;
        r.path = path_;
        std::memcpy(&r.description, header + 704, sizeof r.description);
        r.dataOffset = 1024;
        r.kind = 2;
        r.recordCount = count;
        r.fileStartMs = 10 * 3600000.0;
        r.fileEndMs = 11 * 3600000.0;
    }

    // A card replay from `start` as the replay command starts one.
    void StartReplay(std::uint64_t start, bool loop) {
        mainframe::ReplayState& r = frame_->m_replay;
        r.startRecord = start;
        r.loop = loop;
        ASSERT_TRUE(BB_StartupFileReplay(0, r.path.c_str(), std::uint32_t(start), 0,
                                         std::uint32_t(r.recordCount), 0, &r.description,
                                         r.dataOffset));
        frame_->m_nReplayKind = 2;
        frame_->m_bReplayRunning = 1;
        frame_->m_bTelemetrySending = 1;
    }

    std::vector<ReceivedCommand> Replay() const {
        std::vector<ReceivedCommand> out;
        for (auto& c : engine_->Received())
            if (c.module == kReplayModule) out.push_back(c);
        return out;
    }
    int Count(unsigned op) const {
        int n = 0;
        for (auto& c : Replay()) n += c.operation == op;
        return n;
    }
    // The first data message and the end-of-fill command after each begin.
    struct Start {
        std::vector<std::uint8_t> firstData;
        std::uint32_t totalWordsLess1 = 0;
    };
    std::vector<Start> Starts() const {
        std::vector<Start> out;
        for (auto& c : Replay()) {
            if (c.operation == kOpBegin) out.emplace_back();
            if (out.empty()) continue;
            if (c.operation == kOpData && out.back().firstData.empty())
                out.back().firstData = c.payload;
            if (c.operation == kOpEndOfFill) out.back().totalWordsLess1 = c.Word(4);
        }
        return out;
    }

    std::unique_ptr<EngineProcess> engine_;
    std::shared_ptr<CapturingSink> capture_;
    std::string path_;
};

TEST_F(CardReplayTest, LoopedReplayStartsAgainAtTheSameRecord) {
    const std::uint64_t start = frame_->m_replay.recordCount / 3;
    StartReplay(start, true);
    ASSERT_TRUE(WaitUntil([&] { return Starts().size() >= 3 && Count(kOpEndOfFill) >= 3; }, 30s,
                          "two restarts"));
    const auto starts = Starts();
    ASSERT_FALSE(starts[0].firstData.empty());
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_EQ(starts[i].firstData, starts[0].firstData) << "start " << i;
        EXPECT_EQ(starts[i].totalWordsLess1, starts[0].totalWordsLess1) << "start " << i;
    }
    EXPECT_GE(Count(kOpStop), 2);
    EXPECT_EQ(frame_->m_bReplayRunning.load(), 1);
    EXPECT_EQ(frame_->m_replay.startRecord, start);
    EXPECT_EQ(capture_->Count("数据回放完成！"), 0);
}

TEST_F(CardReplayTest, ReplayWithoutLoopEndsOnceAndSwitchesSendingOff) {
    StartReplay(0, false);
    ASSERT_TRUE(WaitUntil([&] { return capture_->Count("数据回放完成！") >= 1; }, 30s,
                          "the end of the replay"));
    EXPECT_EQ(frame_->m_bReplayRunning.load(), 0);
    EXPECT_EQ(frame_->m_bTelemetrySending.load(), 0);
    EXPECT_EQ(View()->TextOf(1011), QStringLiteral("100%"));
    ASSERT_TRUE(RefreshesPass(20));
    EXPECT_EQ(capture_->Count("数据回放完成！"), 1);
    EXPECT_EQ(Count(kOpBegin), 1);
    // Without a replay the controls are off and the texts empty.
    EXPECT_FALSE(View()->Control(1016)->isEnabled());
    EXPECT_TRUE(View()->TextOf(1011).isEmpty());
    EXPECT_TRUE(View()->TextOf(1017).isEmpty());
}

TEST_F(CardReplayTest, SliderAtItsEndReplaysTheLastRecordRatherThanNone) {
    StartReplay(0, true);
    ASSERT_TRUE(WaitUntil([&] { return View()->Control(1016)->isEnabled(); }, 10s));
    EXPECT_EQ(View()->TextOf(1017), QStringLiteral("10:00:00:0-11:00:00:0"));
    ASSERT_TRUE(WaitUntil([&] { return !View()->RestartPending(); }, 10s));
    const std::size_t before = Starts().size();
    auto* slider = qobject_cast<QSlider*>(View()->Control(1016));
    slider->setValue(1000);
    View()->OnSliderReleased();
    // One record of 24 one-byte words: 6 words, sent as 6 - 1 (a replay of
    // no records would be sent as 0xFFFFFFFF).
    const auto& r = frame_->m_replay;
    const std::uint32_t words = (r.description.字长 + 7) / 8 * r.description.子帧长 / 4;
    // The looped replay may restart from its start once more before the
    // slider's start arrives: look for the slider's among the new starts.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto s = Starts();
            for (std::size_t i = before; i < s.size(); ++i)
                if (s[i].totalWordsLess1 == words - 1) return true;
            return false;
        },
        10s, "the replay of the last record from the slider"));
    const auto starts = Starts();
    for (std::size_t i = before; i < starts.size(); ++i)
        EXPECT_NE(starts[i].totalWordsLess1, 0xFFFFFFFFu) << "a replay of no records";
    EXPECT_EQ(frame_->m_replay.startRecord, r.recordCount - 1);
    EXPECT_EQ(frame_->m_bReplayRunning.load(), 1);
}

TEST_F(CardReplayTest, JumpRefusesBadFieldsAndTimesOutsideTheFile) {
    StartReplay(0, true);
    ASSERT_TRUE(WaitUntil([&] { return View()->Control(1031)->isEnabled(); }, 10s));
    // The fields are read at once; the looped replay must not be between a
    // stop and its start then.
    ASSERT_TRUE(WaitUntil([&] { return !View()->RestartPending(); }, 10s));
    auto field = [&](int id) { return qobject_cast<QLineEdit*>(View()->Control(id)); };
    auto enter = [&](const char* h, const char* m, const char* s, const char* ms) {
        field(1030)->setText(QString::fromUtf8(h));
        field(1124)->setText(QString::fromUtf8(m));
        field(1125)->setText(QString::fromUtf8(s));
        field(1126)->setText(QString::fromUtf8(ms));
        View()->OnJump();
    };
    enter("", "0", "0", "0");
    enter("10", "61", "0", "0");
    enter("10", "x", "0", "0");
    EXPECT_EQ(capture_->Count("请输入有效的跳转时间！"), 3);
    enter("9", "59", "59", "999");
    EXPECT_EQ(capture_->Count("您设置的回放时间必须大于文件开始时间！"), 1);
    enter("11", "0", "0", "0");
    EXPECT_EQ(capture_->Count("您设置的回放时间必须小于文件结束时间！"), 1);
    // A valid time: half way through the file, after a pause.
    const int stopsBefore = Count(kOpStop);
    ASSERT_TRUE(WaitUntil([&] { return !View()->RestartPending(); }, 10s));
    enter("10", "30", "0", "0");
    ASSERT_TRUE(WaitUntil([&] { return frame_->m_replay.startRecord != 0; }, 10s));
    EXPECT_EQ(frame_->m_replay.startRecord, frame_->m_replay.recordCount / 2);
    EXPECT_GT(Count(kOpStop), stopsBefore);
    EXPECT_EQ(frame_->m_bReplayRunning.load(), 1);
}

}  // namespace

namespace {

TEST_F(CardReplayTest, LoopThatCannotStartAgainStopsInsteadOfRetryingEveryTick) {
    StartReplay(0, true);
    // The file goes away under the running replay: the next start fails.
    ASSERT_EQ(std::remove(path_.c_str()), 0);
    ASSERT_TRUE(
        WaitUntil([&] { return frame_->m_bReplayRunning == 0; }, 30s, "the replay given up"));
    EXPECT_EQ(frame_->m_bTelemetrySending.load(), 0);
    ASSERT_TRUE(RefreshesPass(20));
    EXPECT_EQ(capture_->CountContaining("打开回放文件"), 1);
    EXPECT_EQ(capture_->Count("数据回放完成！"), 0);
}

// A software replay as the view sees it: progress and pending seeks.
struct ScriptedReplay : datapath::SoftwareReplayReader {
    double progress = 0.25;
    std::uint64_t taken = ~0ull;
    void ApplyPendingSeek() override {
        std::uint64_t r = 0;
        if (TakePendingSeek(r)) taken = r;
    }
    double Progress() override { return progress; }
    std::size_t ReadNextBlock(std::uint8_t*, std::size_t) override { return 0; }
    void StopReplay() override {}
};

TEST_F(StatusViewTest, SoftwareReplayShowsItsProgressAndTakesSeeks) {
    MakeFrame();
    ScriptedReplay reader;
    mainframe::ReplayState& r = frame_->m_replay;
    r.kind = 1;
    r.recordCount = 400;
    r.fileStartMs = 0;
    r.fileEndMs = 4000;
    r.softwareReader = &reader;
    frame_->m_nReplayKind = 1;
    frame_->m_bReplayRunning = 1;
    auto* slider = qobject_cast<QSlider*>(View()->Control(1016));
    ASSERT_TRUE(WaitUntil([&] { return View()->TextOf(1011) == "25.00%"; }, 10s));
    EXPECT_EQ(slider->value(), 250);
    EXPECT_EQ(View()->TextOf(1017), QStringLiteral("00:00:00:0-00:00:04:0"));

    slider->setValue(1000);
    View()->OnSliderReleased();
    reader.ApplyPendingSeek();
    EXPECT_EQ(reader.taken, 399u);

    qobject_cast<QLineEdit*>(View()->Control(1030))->setText("0");
    qobject_cast<QLineEdit*>(View()->Control(1124))->setText("0");
    qobject_cast<QLineEdit*>(View()->Control(1125))->setText("1");
    qobject_cast<QLineEdit*>(View()->Control(1126))->setText("500");
    View()->OnJump();
    reader.ApplyPendingSeek();
    EXPECT_EQ(reader.taken, 150u);

    frame_->m_bReplayRunning = 0;
    ASSERT_TRUE(WaitUntil([&] { return !View()->Control(1016)->isEnabled(); }, 10s));
    r.softwareReader = nullptr;
}

// The card engine dies under the program and comes back on the same port:
// the view and the journal follow it both ways.
TEST_F(StatusViewTest, EngineLinkLossShowsNoLockAndAStaleTimeAndTheJournalFollowsBothWays) {
    auto engine = std::make_unique<EngineProcess>();
    ASSERT_TRUE(engine->started());
    const std::string address = engine->Address();
    UseEngine(address);
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    CViewDlg* v = View();
    ASSERT_TRUE(
        WaitUntil([&] { return v->LampImageOf(1008) == kLampLocked && !v->TextOf(1018).isEmpty(); },
                  20s, "lock and card time"));
    EXPECT_EQ(v->LinkState(), mainframe::LinkState::Up);
    EXPECT_EQ(v->LinkStateText(), QStringLiteral("基带卡链路：正常"));

    engine.reset();  // SIGTERM: the engine closes the connection
    const auto lost = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return v->LampImageOf(1008) == kLampNotLocked &&
                   v->LampImageOf(1009) == kLampNotLocked &&
                   v->TextOf(1018).endsWith(QStringLiteral("（停止更新）"));
        },
        20s, "no-lock lamps and a stale card time"));
    const auto shownAfter = std::chrono::steady_clock::now() - lost;
    EXPECT_EQ(v->LinkState(), mainframe::LinkState::Down);
    EXPECT_EQ(v->LinkStateText(), QStringLiteral("基带卡链路：中断，等待基带卡"));
    EXPECT_EQ(v->TextOf(1004), QStringLiteral("等待基带卡"));
    EXPECT_EQ(v->TextOf(1005), QStringLiteral("等待基带卡"));
    EXPECT_EQ(frame_->m_bBitSyncLock.load(), 0);
    EXPECT_GT(SyncLoss(), 0);  // nothing is recorded or sent from the card path
    ASSERT_TRUE(WaitUntil([&] { return Logged(mainframe::kLinkLostText); }, 10s, "loss line"));
    // The card time stays marked, once, while the link is down.
    ASSERT_TRUE(RefreshesPass(5));
    EXPECT_EQ(v->TextOf(1018).count(QStringLiteral("（停止更新）")), 1);
    std::printf("link loss shown after %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(shownAfter).count()));

    engine = std::make_unique<EngineProcess>(std::vector<std::string>{"--listen", address});
    ASSERT_TRUE(engine->started());
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return v->LinkState() == mainframe::LinkState::Up &&
                   v->LampImageOf(1008) == kLampLocked && !v->TextOf(1018).isEmpty() &&
                   !v->TextOf(1018).contains(QStringLiteral("停止更新")) &&
                   v->TextOf(1004).endsWith(QStringLiteral("MHz"));
        },
        20s, "lock, a running card time and the frequency again"));
    std::printf("link back shown after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - back)
                                           .count()));
    ASSERT_TRUE(
        WaitUntil([&] { return Logged(mainframe::kLinkRestoredText); }, 10s, "restore line"));
    const std::string journal = Journal();
    auto count = [&](const std::string& t) {
        int n = 0;
        for (auto at = journal.find(t); at != std::string::npos; at = journal.find(t, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(mainframe::kLinkLostText), 1);
    EXPECT_EQ(count(mainframe::kLinkRestoredText), 1);
    CloseFrame();
}

// A software replay whose feed no longer ticks (its tick event taken by
// another program, its timer gone) says so instead of keeping its percentage.
TEST_F(StatusViewTest, SoftwareReplayWhoseFeedStoppedSaysSo) {
    MakeFrame();
    ScriptedReplay reader;
    mainframe::ReplayState& r = frame_->m_replay;
    r.kind = 1;
    r.recordCount = 400;
    r.fileEndMs = 4000;
    r.softwareReader = &reader;
    frame_->m_nReplayKind = 1;
    frame_->m_bReplayRunning = 1;
    frame_->m_replayTimer.Wake();  // as the replay command does
    ASSERT_TRUE(WaitUntil([&] { return View()->TextOf(1011) == "25.00%"; }, 10s));
    ASSERT_TRUE(RefreshesPass(30));
    EXPECT_FALSE(View()->ReplayFeedStalled());  // ticking: no false alarm
    EXPECT_EQ(View()->TextOf(1011), QStringLiteral("25.00%"));

    frame_->m_replayTimer.Kill();
    ASSERT_TRUE(
        WaitUntil([&] { return View()->TextOf(1011) == QStringLiteral("25.00%（取数已停止）"); },
                  20s, "the stopped feed"));
    EXPECT_TRUE(View()->ReplayStateText().contains(QStringLiteral("取数已停止")));
    EXPECT_TRUE(WaitUntil([&] { return Logged("软件回放取数已停止"); }, 10s, "journal line"));

    frame_->m_bReplayRunning = 0;
    ASSERT_TRUE(WaitUntil([&] { return View()->TextOf(1011).isEmpty(); }, 10s));
    EXPECT_EQ(View()->ReplayStateText(), QStringLiteral("回放：无"));
    r.softwareReader = nullptr;
}

// Every caption and the state line's longest texts fit their places, and no
// control lies over another or outside its group (the replay speed once sat
// over the statistics group's title).
TEST_F(StatusViewTest, EveryLabelFitsAndNoControlLiesOverAnother) {
    // The program's font, as the application object sets it.
    const QFont appFont = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Zen Hei"), 10));
    MakeFrame();
    QWidget* form = View()->ScrollArea()->widget();
    std::vector<QRect> groups;
    for (auto* g : form->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        groups.push_back(g->geometry());
    const QLabel* stateLine = form->findChild<QLabel*>("linkState");
    ASSERT_NE(stateLine, nullptr);
    const int stateLineBottom = stateLine->geometry().bottom();

    // Long texts where they can appear.
    const std::pair<const char*, const char*> longest[] = {
        {"linkState", "基带卡链路：中断，等待基带卡"},
        {"recordingState", "存盘：开 261231235959解密前.dat 1023.999MB"},
        {"replayState", "回放：软件回放 100.00%（取数已停止）"},
        {"1018", "366-23:59:59.999（停止更新）"},
        {"1011", "100.00%（取数已停止）"},
        {"1012", "1023.999KB"},
        {"1013", "1023.999KB"},
        {"1004", "等待基带卡"},
    };
    for (const auto& [name, text] : longest) {
        auto* l = form->findChild<QLabel*>(QString::fromUtf8(name));
        ASSERT_NE(l, nullptr) << name;
        l->setText(QString::fromUtf8(text));
        EXPECT_LE(l->sizeHint().width(), l->width()) << name << " " << text;
    }
    std::vector<QWidget*> controls;
    for (auto* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QGroupBox*>(w)) controls.push_back(w);
    for (QWidget* w : controls) {
        const std::string name =
            w->objectName().toStdString() +
            (qobject_cast<QLabel*>(w) ? " " + qobject_cast<QLabel*>(w)->text().toStdString() : "");
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->property("value").toBool()) {
            EXPECT_LE(l->sizeHint().width(), l->width()) << "caption cut: " << name;
        }
        const QRect r = w->geometry();
        const bool inGroup = std::any_of(groups.begin(), groups.end(),
                                         [&](const QRect& g) { return g.contains(r); });
        EXPECT_TRUE(inGroup || r.bottom() <= stateLineBottom) << "outside its group: " << name;
        for (QWidget* other : controls) {
            if (other == w) continue;
            EXPECT_FALSE(r.intersects(other->geometry()))
                << name << " lies over " << other->objectName().toStdString();
        }
    }
    QApplication::setFont(appFont);
}

// Recording shows in the state line at the top of the view, with its file
// and size, and the journal has its start and its end with the file.
TEST_F(StatusViewTest, RecordingShowsInTheStateLineAndItsStartAndStopInTheJournal) {
    EngineProcess engine;
    ASSERT_TRUE(engine.started());
    UseEngine(engine.Address());
    MakeFrame();
    ASSERT_TRUE(CardOpened());
    ASSERT_TRUE(RefreshesPass(2));
    EXPECT_EQ(View()->RecordingStateText(), QStringLiteral("存盘：关"));
    EXPECT_EQ(View()->ReplayStateText(), QStringLiteral("回放：无"));

    frame_->OnCommand(mainframe::ID_FILE_STORAGE);
    ASSERT_EQ(frame_->m_bRecording.load(), 1);
    const std::string path = frame_->RecordingFiles()->BeforeDecryptionPath();
    const QString name = QString::fromStdString(path.substr(path.rfind('/') + 1));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QString t = View()->RecordingStateText();
            return t.startsWith(QStringLiteral("存盘：开 ") + name + " ") &&
                   (t.endsWith("KB") || t.endsWith("MB"));
        },
        20s, "recording on with its file and size in the state line"));
    // The state line is the form's first row, above every group.
    EXPECT_LT(View()->ScrollArea()->widget()->findChild<QLabel*>("recordingState")->y(),
              View()->Control(1012)->y());
    ASSERT_TRUE(WaitUntil([&] { return Logged("开始存盘：" + path); }, 10s, "start line"));

    frame_->OnCommand(mainframe::ID_FILE_STORAGE);  // "停止存盘?" answered Yes
    ASSERT_EQ(frame_->m_bRecording.load(), 0);
    ASSERT_TRUE(WaitUntil([&] { return Logged("停止存盘：" + path); }, 10s, "stop line"));
    ASSERT_TRUE(
        WaitUntil([&] { return View()->RecordingStateText() == QStringLiteral("存盘：关"); }, 10s));
    CloseFrame();
}

}  // namespace

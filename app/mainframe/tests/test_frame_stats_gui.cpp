// The three frame checks in the running frame: their commands, dialogs and
// reports against a loopback card engine that injects known faults.
#include <config/para_config.h>
#include <datapath/data_path.h>
#include <stats/frame_statistics.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using frametest::AnswerNextDialog;
using frametest::StatusCell;
using stats::Check;

int ReportLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    int n = 0;
    for (std::size_t at = 0; (at = text.find("\r\n ", at)) != std::string::npos; ++at) ++n;
    return n;
}

class FrameStatsTest : public frametest::EngineFrameTest {
protected:
    // The default task of this home: 1 Mbit/s, IDs counting up from 0.
    void EditTask(DemTaskRecord& dem) override {
        dem.dem.ID码计数方式 = 0;
        dem.dem.ID码初值 = 0;
    }
    // Reports "opened" are recorded.
    void OnFrameMade(CMainFrame* f) override {
        f->Statistics()->SetReportOpener([this](const std::string& p) { opened_.push_back(p); });
    }
    // Frame count on the low word at `lowPos`, no high word.
    void StartFrameCount(CMainFrame* f, int lowPos) {
        AnswerNextDialog([lowPos](QDialog& d) {
            d.findChild<QCheckBox*>("highEnable")->setChecked(false);
            d.findChild<QSpinBox*>("lowPos")->setValue(lowPos);
        });
        f->OnCommand(ID_FRAME_COUNT_STAT);
    }
    void StartIdCount(CMainFrame* f, int idPos) {
        AnswerNextDialog([idPos](QDialog& d) { d.findChild<QSpinBox*>("idPos")->setValue(idPos); });
        f->OnCommand(ID_ID_STAT);
    }
    std::vector<std::string> Questions() const {
        std::vector<std::string> out;
        for (const auto& t : boxes_->Texts())
            if (t.starts_with("现在是否查看")) out.push_back(t);
        return out;
    }
    std::vector<std::string> opened_;
};

TEST_F(FrameStatsTest, ChecksFindEveryInjectedFaultOnce) {
    cardengine::testkit::EngineProcess engine({"--dem-settle-ms", "3000", "--dem-frames", "10000",
                                               "--dem-counter-jump", "1000", "--dem-tag-gap",
                                               "1500", "--dem-id-fault", "3000"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    // The Para.ini defaults point at the sync word; the task's counter is
    // word 5 and its ID word 7.
    StartFrameCount(f, 5);
    StartIdCount(f, 7);
    f->OnCommand(ID_FRAME_PERIOD_STAT);  // no replay: no dialog, the task's bit rate
    stats::FrameStatistics* s = f->Statistics();
    ASSERT_TRUE(s->Running(Check::FrameCount));
    ASSERT_TRUE(s->Running(Check::IdCount));
    ASSERT_TRUE(s->Running(Check::TimeContinuity));
    f->UpdateCommandUI();
    EXPECT_TRUE(f->Action(ID_FRAME_COUNT_STAT)->isChecked());
    EXPECT_TRUE(f->Action(ID_FRAME_PERIOD_STAT)->isChecked());
    EXPECT_EQ(cfg::LoadFrameCountConfig(Home()).lowWordPos, 5);
    EXPECT_EQ(cfg::LoadIdCountConfig(Home()).idWordPos, 7);

    // The tenth counter jump is in the last frame: once it is counted every
    // frame has been through all three checks.
    ASSERT_WAIT_UNTIL(s->Jumps(Check::FrameCount) >= 10, 30s);
    const stats::StatisticsReadout r = s->Readout();
    EXPECT_EQ(r.jumps, (std::array<int, 3>{10, 6, 6}));
    EXPECT_EQ(stats::StatisticsTexts(r),
              (std::array<std::string, 3>{"帧计数错误:10个", "ID计数错误:6个", "时间不连续:6个"}));
    // The status view shows the same counts at its next refresh.
    EXPECT_WAIT_UNTIL(StatusCell(f, 1033) == "帧计数错误:10个" &&
                          StatusCell(f, 1039) == "ID计数错误:6个" &&
                          StatusCell(f, 1043) == "时间不连续:6个",
                      20s);

    f->OnCommand(ID_FRAME_COUNT_STAT);
    f->OnCommand(ID_ID_STAT);
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    EXPECT_FALSE(s->Running(Check::FrameCount) || s->Running(Check::IdCount) ||
                 s->Running(Check::TimeContinuity));
    EXPECT_EQ(Questions(), (std::vector<std::string>{"现在是否查看帧计数统计报告！",
                                                     "现在是否查看ID计数统计报告！",
                                                     "现在是否查看时间连续统计报告！"}));
    EXPECT_EQ(opened_, (std::vector<std::string>{Home() + "/ZhenJiShu.ini", Home() + "/IDJiShu.ini",
                                                 Home() + "/TimeLianXu.ini"}));
    EXPECT_EQ(ReportLines(Home() + "/ZhenJiShu.ini"), 10);
    EXPECT_EQ(ReportLines(Home() + "/IDJiShu.ini"), 6);
    EXPECT_EQ(ReportLines(Home() + "/TimeLianXu.ini"), 6);
    EXPECT_EQ(stats::StatisticsTexts(s->Readout()), (std::array<std::string, 3>{}));
    EXPECT_WAIT_UNTIL(
        StatusCell(f, 1033).empty() && StatusCell(f, 1039).empty() && StatusCell(f, 1043).empty(),
        20s);
    EXPECT_TRUE(f->close());
}

TEST_F(FrameStatsTest, CounterWithoutFaultsGivesNoLineAndNoQuestion) {
    // One tag gap late in the stream marks how far the frames have come.
    cardengine::testkit::EngineProcess engine(
        {"--dem-settle-ms", "3000", "--dem-frames", "4000", "--dem-tag-gap", "4000"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    StartFrameCount(f, 5);
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    stats::FrameStatistics* s = f->Statistics();
    ASSERT_WAIT_UNTIL(s->Jumps(Check::TimeContinuity) >= 1, 30s);
    EXPECT_EQ(stats::StatisticsTexts(s->Readout())[0], "帧计数错误:0个");
    f->OnCommand(ID_FRAME_COUNT_STAT);
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(ReportLines(Home() + "/ZhenJiShu.ini"), 0);
    EXPECT_TRUE(f->close());
}

TEST_F(FrameStatsTest, RefusedStartsLeaveTheCheckStopped) {
    CMainFrame* f = MakeFrame();  // no card: the default task's geometry
    const std::uint32_t words = f->GetDataPath()->Geometry().subframeWords;
    StartFrameCount(f, int(words) + 1);
    EXPECT_FALSE(f->Statistics()->Running(Check::FrameCount));
    StartIdCount(f, 2048);
    EXPECT_FALSE(f->Statistics()->Running(Check::IdCount));
    const std::string refusal = "路序超出子帧长（" + std::to_string(words) + "）！";
    int refusals = 0;
    for (const auto& t : boxes_->Texts()) refusals += t == refusal;
    EXPECT_EQ(refusals, 2);
    // The settings are kept even when the start is refused.
    EXPECT_EQ(cfg::LoadIdCountConfig(Home()).idWordPos, 2048);

    // High and low word the same: the dialog stays open until Cancel.
    auto* cancel = new QTimer;
    cancel->setInterval(10);
    bool sawSameWordText = false;
    QObject::connect(cancel, &QTimer::timeout, [&, cancel] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        d->findChild<QCheckBox*>("highEnable")->setChecked(true);
        d->findChild<QSpinBox*>("highPos")->setValue(4);
        d->findChild<QSpinBox*>("lowPos")->setValue(4);
        d->accept();
        for (const auto& t : boxes_->Texts()) sawSameWordText |= t == "帧计数高位和低位不能相同！";
        if (d->isVisible()) d->reject();
        cancel->stop();
        cancel->deleteLater();
    });
    cancel->start();
    f->OnCommand(ID_FRAME_COUNT_STAT);
    EXPECT_TRUE(sawSameWordText);
    EXPECT_FALSE(f->Statistics()->Running(Check::FrameCount));
}

TEST_F(FrameStatsTest, DuringAReplayTheTimeCheckTakesTheRealBitRateFromItsDialog) {
    CMainFrame* f = MakeFrame();
    f->m_bReplayRunning = 1;
    auto setRate = [](int rate) {
        AnswerNextDialog([rate](QDialog& d) { d.findChild<QSpinBox*>("bitRate")->setValue(rate); });
    };
    // 24 words of 8 bits at 20 Mbit/s: 0.0096 ms.
    setRate(20000000);
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    EXPECT_FALSE(f->Statistics()->Running(Check::TimeContinuity));
    const auto texts = boxes_->Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "帧周期太短，无法进行帧周期连续统计！"),
              texts.end());

    setRate(500000);
    f->OnCommand(ID_FRAME_PERIOD_STAT);
    EXPECT_TRUE(f->Statistics()->Running(Check::TimeContinuity));
    EXPECT_EQ(cfg::LoadTimeContinuityConfig(Home()).bitRate, 500000);
    EXPECT_EQ(f->GetDataPath()->replayBitRate.load(), 500000u);
    f->OnCommand(ID_FRAME_PERIOD_STAT);  // stops, nothing found: no question
    EXPECT_FALSE(f->Statistics()->Running(Check::TimeContinuity));
    EXPECT_TRUE(Questions().empty());
    f->m_bReplayRunning = 0;
}

}  // namespace

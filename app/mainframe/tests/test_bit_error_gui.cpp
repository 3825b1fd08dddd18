// The bit-error measurement in the running frame: its dialog, its two
// commands and the status view against a loopback card engine whose frames
// repeat but for their counters and carry known bit errors.
#include <config/para_config.h>
#include <datapath/data_path.h>
#include <platform/codepage.h>
#include <session/card_session.h>
#include <stats/bit_error_lists.h>
#include <stats/bit_error_measurement.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "bit_error_dlg.h"
#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;
using V = std::vector<int>;
using frametest::AnswerNextDialog;
using frametest::StatusCell;

// The default task's frame: 24 words of 8 bits, 4 sub-frames; the frame
// counter in words 3 to 5 and the last signal word 24 holding 85.
constexpr std::uint32_t kWords = 24, kSubframes = 4, kSignalValue = 85;
constexpr std::size_t kRecord = 8 + kWords;
constexpr std::uint64_t kComparedPerGroup = (kWords * kSubframes - 3 * kSubframes) * 8;

// --- the dialog alone ---

class BitErrorDlgTest : public ::testing::Test {
protected:
    void SetUp() override { plat::SetNotifySink(boxes_); }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    std::shared_ptr<frametest::TextSink> boxes_ = std::make_shared<frametest::TextSink>();
};

constexpr stats::ChannelGeometry kTen{.subframeWords = 10, .subframes = 3, .wordBytes = 1};

TEST_F(BitErrorDlgTest, RangeOfAllChannelsIsRefusedAndTheDialogStays) {
    CBitErrorDlg dlg(nullptr, {}, kTen);
    dlg.findChild<QSpinBox*>("startChannel")->setValue(1);
    dlg.findChild<QSpinBox*>("endChannel")->setValue(30);
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    dlg.findChild<QSpinBox*>("startChannel")->setValue(0);
    dlg.findChild<QSpinBox*>("endChannel")->setValue(31);
    dlg.accept();
    EXPECT_EQ(boxes_->Texts(), (std::vector<std::string>{"不能剔除所有波道！\n",
                                                         "起始波道下越界！\n结束波道上越界！\n"}));
    dlg.findChild<QSpinBox*>("endChannel")->setValue(12);
    dlg.findChild<QSpinBox*>("startChannel")->setValue(11);
    dlg.findChild<QRadioButton*>("countMode")->setChecked(true);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Settings().excludedBytes, (V{11, 12}));
    EXPECT_EQ(dlg.Settings().displayMode, 1);
    EXPECT_EQ(dlg.Settings().channelMode, 0);
}

TEST_F(BitErrorDlgTest, ManualListAndDerivation) {
    CBitErrorDlg dlg(nullptr, {}, kTen);
    auto* auto_ = dlg.findChild<QRadioButton*>("autoMode");
    EXPECT_FALSE(auto_->isEnabled());
    EXPECT_TRUE(auto_->isHidden());
    dlg.findChild<QRadioButton*>("manualMode")->setChecked(true);
    auto* text = dlg.findChild<QPlainTextEdit*>("manualText");
    text->setPlainText("1,4");
    dlg.findChild<QPushButton*>("derive")->click();
    EXPECT_EQ(text->toPlainText().toStdString(), "1,4,11,14,21,24,");
    text->setPlainText("0,2");
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    text->setPlainText("5,3,3");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Settings().excludedBytes, (V{3, 5}));
    EXPECT_EQ(dlg.Settings().manualText, "5,3,3,");
    EXPECT_EQ(dlg.Settings().channelMode, 2);
    EXPECT_EQ(boxes_->Texts(), (std::vector<std::string>{"手动设置的波道越界!"}));
}

TEST_F(BitErrorDlgTest, DerivationRefusals) {
    CBitErrorDlg single(nullptr, {}, {.subframeWords = 10, .subframes = 1, .wordBytes = 1});
    single.findChild<QPushButton*>("derive")->click();
    CBitErrorDlg dlg(nullptr, {}, kTen);
    auto* text = dlg.findChild<QPlainTextEdit*>("manualText");
    text->setPlainText("");
    dlg.findChild<QPushButton*>("derive")->click();
    text->setPlainText("3,11");
    dlg.findChild<QPushButton*>("derive")->click();
    EXPECT_EQ(text->toPlainText().toStdString(), "3,11");
    EXPECT_EQ(boxes_->Texts(),
              (std::vector<std::string>{"当副帧长为1时不能自动推导！",
                                        "您必须输入第一个子帧需要剔除的数据！",
                                        "您输入第一个子帧需要剔除的数据超出了第一个子帧长"}));
}

// --- the frame on a loopback card engine ---

class BitErrorFrameTest : public frametest::EngineFrameTest {
protected:
    // 32791 in manual mode with the counter words of every sub-frame derived
    // from "3,4,5"; returns once the data path has taken the standard frame.
    void Capture(CMainFrame* f) {
        AnswerNextDialog([](QDialog& d) {
            d.findChild<QRadioButton*>("manualMode")->setChecked(true);
            d.findChild<QPlainTextEdit*>("manualText")->setPlainText("3,4,5");
            d.findChild<QPushButton*>("derive")->click();
        });
        f->OnCommand(ID_CAPTURE_STD_FRAME);
        ASSERT_WAIT_UNTIL(f->m_bStdFrameCaptured && f->GetDataPath()->standardFrameRequest == 0,
                          20s);
    }
    // True when no sub-frame of the standard frame carries a flipped bit.
    static bool StandardFrameClean(CMainFrame* f) {
        const std::span<const std::uint8_t> s = f->GetDataPath()->StandardFrame();
        if (s.size() != kRecord * kSubframes) return false;
        for (std::size_t r = 0; r < kSubframes; ++r)
            if (s[r * kRecord + 8 + kWords - 1] != kSignalValue) return false;
        return true;
    }
};

TEST_F(BitErrorFrameTest, CountsTheInjectedBitErrorsAndShowsThem) {
    cardengine::testkit::EngineProcess engine({"--dem-steady", "--dem-bit-error", "100"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->UpdateCommandUI();
    EXPECT_FALSE(f->Action(ID_BIT_ERROR_STAT)->isEnabled());
    for (int attempt = 0; attempt < 10; ++attempt) {
        Capture(f);
        if (StandardFrameClean(f)) break;
    }
    ASSERT_TRUE(StandardFrameClean(f));
    const cfg::BitErrorConfig saved = cfg::LoadBitErrorConfig(Home());
    EXPECT_EQ(saved.channelMode, 2);
    EXPECT_EQ(saved.manualText, "3,4,5,27,28,29,51,52,53,75,76,77,");
    EXPECT_EQ(saved.excludedBytes, (V{3, 4, 5, 27, 28, 29, 51, 52, 53, 75, 76, 77}));

    f->UpdateCommandUI();
    ASSERT_TRUE(f->Action(ID_BIT_ERROR_STAT)->isEnabled());
    f->OnCommand(ID_BIT_ERROR_STAT);
    f->UpdateCommandUI();
    EXPECT_TRUE(f->Action(ID_BIT_ERROR_STAT)->isChecked());
    EXPECT_FALSE(f->Action(ID_CAPTURE_STD_FRAME)->isEnabled());
    stats::BitErrorMeasurement* m = f->BitErrors();
    EXPECT_EQ(m->ComparedBitsPerGroup(), kComparedPerGroup);

    // One flipped minor frame in every 25 groups: over G consecutive groups
    // that is G / 25 rounded down or up.
    ASSERT_WAIT_UNTIL(m->ErrorBits() >= 8, 30s);
    const stats::BitErrorReadout r = m->Readout();
    ASSERT_EQ(r.comparedBits % kComparedPerGroup, 0u);
    const std::uint64_t groups = r.comparedBits / kComparedPerGroup;
    EXPECT_GE(r.errorBits, groups / 25);
    EXPECT_LE(r.errorBits, (groups + 24) / 25);
    EXPECT_DOUBLE_EQ(r.errorRate, double(r.errorBits) / double(r.comparedBits));

    EXPECT_WAIT_UNTIL(StatusCell(f, 1014).starts_with("比对位数:") &&
                          StatusCell(f, 1015).starts_with("误码率:") &&
                          StatusCell(f, 1015) != "误码率:0.000000E+00",
                      20s);

    f->OnCommand(ID_BIT_ERROR_STAT);
    EXPECT_EQ(m->Readout().comparedBits, 0u);
    EXPECT_EQ(m->ErrorBits(), 0u);
    EXPECT_WAIT_UNTIL(StatusCell(f, 1014).empty() && StatusCell(f, 1015).empty(), 20s);
    // Started again on the same standard frame, from zero.
    f->OnCommand(ID_BIT_ERROR_STAT);
    ASSERT_WAIT_UNTIL(m->ComparedBits() > 0, 20s);
    EXPECT_LE(m->ErrorBits(), (m->ComparedBits() / kComparedPerGroup + 24) / 25);
    EXPECT_TRUE(f->close());
}

TEST_F(BitErrorFrameTest, SteadyFramesWithoutFaultsGiveNoErrorAndApplyStopsTheCount) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    Capture(f);
    f->OnCommand(ID_BIT_ERROR_STAT);
    stats::BitErrorMeasurement* m = f->BitErrors();
    ASSERT_WAIT_UNTIL(m->ComparedBits() >= 1000 * kComparedPerGroup, 30s);
    EXPECT_EQ(m->ErrorBits(), 0u);
    EXPECT_WAIT_UNTIL(StatusCell(f, 1015) == "误码率:0.000000E+00", 20s);

    // The task dialog's apply stops the measurement and discards the frame.
    f->Session()->OnApplyNotification(taskbook::kApplyTaskInfo);
    EXPECT_EQ(f->m_bBitErrorOn, 0);
    EXPECT_EQ(f->m_bStdFrameCaptured, 0);
    EXPECT_FALSE(m->Running());
    EXPECT_EQ(m->ComparedBits(), 0u);
    EXPECT_TRUE(f->close());
}

// The journal files of `home` as UTF-8 text.
std::string JournalOf(const std::string& home) {
    std::string text;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(home + "/Log", ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        text += plat::GbkToUtf8(ss.str());
    }
    return text;
}

TEST_F(BitErrorFrameTest, StandardFrameOfAnotherFrameIsDiscardedAndAnIdleMeasurementSaysSo) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    Capture(f);

    // The task dialog applies 32-word sub-frames: the 24-word standard frame
    // would never be compared with any block again.
    auto task = std::make_unique<taskbook::TaskRecords>();
    ASSERT_TRUE(taskbook::TaskStore::Instance().Load(taskbook::kCurrentTask, *task));
    task->streams[0].dem.dem.子帧长 = 32;
    taskbook::TaskStore::Instance().ApplyAndNotify(taskbook::ApplyDemodulator(1), *task);
    f->Session()->OnApplyNotification(taskbook::ApplyDemodulator(1));
    EXPECT_EQ(f->m_bStdFrameCaptured, 0);
    f->UpdateCommandUI();
    EXPECT_FALSE(f->Action(ID_BIT_ERROR_STAT)->isEnabled());
    f->OnCommand(ID_BIT_ERROR_STAT);
    EXPECT_EQ(f->m_bBitErrorOn, 0);
    EXPECT_WAIT_UNTIL(JournalOf(Home()).find("误码统计的标准帧已作废") != std::string::npos, 20s);

    // A frame captured under the new shape is compared.
    Capture(f);
    ASSERT_EQ(f->GetDataPath()->StandardFrame().size(), (8u + 32u) * kSubframes);
    f->OnCommand(ID_BIT_ERROR_STAT);
    stats::BitErrorMeasurement* m = f->BitErrors();
    ASSERT_WAIT_UNTIL(m->ComparedBits() > 0, 20s);
    EXPECT_WAIT_UNTIL(StatusCell(f, 1015) == "误码率:0.000000E+00", 20s);

    // The card stops delivering: after a second the view says that nothing
    // is compared instead of showing the old rate.
    f->Session()->CloseCard();
    EXPECT_WAIT_UNTIL(StatusCell(f, 1015) == "无可比对数据", 20s);
    EXPECT_TRUE(StatusCell(f, 1014).starts_with("比对位数:"));
    EXPECT_TRUE(f->m_bBitErrorOn);
    EXPECT_TRUE(f->close());
}

TEST_F(BitErrorFrameTest, StandardFrameOfAnotherSizeIsRefusedAtStart) {
    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    Capture(f);
    // The data path reframed behind the session's back (as a replay of
    // another file would): the start refuses the frame rather than compare nothing.
    DemParam dem = f->GetDataPath()->DemodulatorRecord();
    dem.子帧长 = 32;
    f->GetDataPath()->SetDemodulatorRecord(dem);
    f->OnCommand(ID_BIT_ERROR_STAT);
    EXPECT_EQ(f->m_bBitErrorOn, 0);
    EXPECT_EQ(f->m_bStdFrameCaptured, 0);
    EXPECT_TRUE(boxes_->Saw("标准帧与当前帧结构不符，请重新采集标准帧！"));
    EXPECT_TRUE(f->close());
}

TEST_F(BitErrorFrameTest, StoredListCutByTheReadBufferIsRebuiltOrRefused) {
    // A range 3..5 whose stored list lost its end: rebuilt from the range.
    cfg::BitErrorConfig c;
    c.channelMode = 0;
    c.startChannel = 3;
    c.endChannel = 5;
    c.excludedBytes.clear();
    for (int b = 1; b <= 600; ++b) c.excludedBytes.push_back(b);
    ASSERT_TRUE(cfg::SaveBitErrorConfig(Home(), c));

    cardengine::testkit::EngineProcess engine({"--dem-steady"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_FALSE(f->m_para.bitError.excludedBytesWhole);
    // A capture without the dialog's OK, as a capture before a restart left it.
    f->GetDataPath()->standardFrameRequest = 1;
    ASSERT_WAIT_UNTIL(f->m_bStdFrameCaptured != 0, 20s);
    f->OnCommand(ID_BIT_ERROR_STAT);
    ASSERT_TRUE(f->m_bBitErrorOn);
    EXPECT_EQ(f->BitErrors()->ExclusionList(), (V{3, 4, 5}));
    f->OnCommand(ID_BIT_ERROR_STAT);

    // Automatic capture has nothing to rebuild from.
    f->m_para.bitError.channelMode = 1;
    f->m_para.bitError.excludedBytesWhole = false;
    f->OnCommand(ID_BIT_ERROR_STAT);
    EXPECT_FALSE(f->m_bBitErrorOn);
    const std::vector<std::string> texts = boxes_->Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), stats::kListIncompleteText), texts.end());
    EXPECT_TRUE(f->close());
}

}  // namespace

// The three windows offscreen over groups filled by hand: panels follow the
// selection, bar length, alarm colours with their tones, levels in the
// settings file, and the one-window-per-kind rule with its closing message.
#include <gtest/gtest.h>
#include <paramviews/deal_wnds.h>
#include <platform/beep.h>
#include <platform/notify.h>
#include <platform/profile.h>
#include <platform/tone_sink.h>
#include <platform/winmsg.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "paramviews/para_view_wnds.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"
#include "view_texts.h"

using namespace paramviews;
using namespace std::chrono_literals;
using talvora::test::TempHome;

namespace {

ParStructEx Param(const char* name, double min, double max, double upper, double lower) {
    ParStructEx p{};
    std::snprintf(p.strName, sizeof p.strName, "%s", name);
    std::snprintf(p.strUnit, sizeof p.strUnit, "V");
    p.dMin = min;
    p.dMax = max;
    p.dUpper = upper;
    p.dLower = lower;
    p.nBytes = 1;
    return p;
}

void SetNewest(int level, int index, double value, std::int64_t code) {
    DealResult& r = ParamGroups::Instance().Group(level).results[index];
    r.dValue[kResultHistory - 1] = value;
    r.nCode[kResultHistory - 1] = code;
    r.nValid = std::max(r.nValid, 1);
}

class Frame : public plat::MessageReceiver {
public:
    void OnMessage(std::uint32_t msg, std::uintptr_t, std::intptr_t) override {
        std::lock_guard lock(mutex);
        messages.push_back(msg);
    }
    std::vector<std::uint32_t> Messages() {
        std::lock_guard lock(mutex);
        return messages;
    }
    std::mutex mutex;
    std::vector<std::uint32_t> messages;
};

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetNotifySink(sink_);
        plat::SetBeepSink(beeps_);
        std::vector<ParStructEx> lists[3];
        lists[0] = {Param("正弦波", -2.54, 2.54, 2.0, -2.0), Param("平", 1, 1, 2, 0),
                    Param("帧计数", 0, 255, 300, -1)};
        lists[0][0].nSelCurve = lists[0][0].nSelStripe = lists[0][0].nSelTable = 1;
        lists[0][1].nSelCurve = lists[0][1].nSelStripe = 1;
        lists[0][2].nSelTable = 1;
        lists[1] = {Param("副帧字", 0, 255, 255, 0)};
        lists[1][0].nSelCurve = 1;
        ParamGroups::Instance().SetForTest(lists);
        area_.resize(1200, 800);
        plat::RegisterWindow(&area_, &frame_);
    }
    void TearDown() override {
        plat::UnregisterWindow(&area_);
        ParamGroups::Instance().Clear();
        plat::SetBeepSink(nullptr);
        plat::SetNotifySink(nullptr);
    }
    TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_ = std::make_shared<plat::CapturingSink>();
    std::shared_ptr<plat::RecordingBeepSink> beeps_ = std::make_shared<plat::RecordingBeepSink>();
    QMdiArea area_;
    Frame frame_;
};

TEST_F(WindowsTest, OneWindowPerKindAndClosingPostsItsMessage) {
    CParaViewWnds views;
    EXPECT_EQ(views.SetDealCurveWndPar("", nullptr, nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(views.DealTableWndMaximized(), 0);
    QWidget* curve = views.CreateDealCurveWnd(nullptr, nullptr, kWsChild | kWsVisible, QRect(),
                                              &area_, nullptr, nullptr, 0);
    ASSERT_TRUE(curve);
    EXPECT_EQ(curve->windowTitle(), QString::fromUtf8("参数曲线显示"));
    EXPECT_FALSE(views.CreateDealCurveWnd(nullptr, nullptr, kWsVisible, QRect(), &area_, nullptr,
                                          nullptr, 0));
    EXPECT_EQ(views.SetDealCurveWndPar("", nullptr, nullptr, nullptr, nullptr, 0), 1);
    QMenu menu;
    menu.addAction("first");
    QWidget* table =
        views.CreateDealTableWnd(nullptr, nullptr, kWsVisible, QRect(), &area_, nullptr, &menu, 0);
    ASSERT_TRUE(table);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[0]->text(), QString::fromUtf8("参数显示配置(&C)"));
    QMenu* popup = static_cast<CDealWnd*>(table)->Popup();
    EXPECT_EQ(popup->actions()[4]->text(), QString::fromUtf8("开启超限报警(&A)"));
    EXPECT_TRUE(popup->actions()[3]->isSeparator());
    EXPECT_EQ(views.DealTableWndMaximized(), 1);
    QWidget* stripe = views.CreateDealStripeWnd(nullptr, nullptr, kWsVisible, QRect(), &area_,
                                                nullptr, nullptr, 0);
    ASSERT_TRUE(stripe);

    curve->close();
    table->close();
    stripe->close();
    EXPECT_WAIT_UNTIL(frame_.Messages().size() == 3u, 5s);
    EXPECT_EQ(frame_.Messages(), (std::vector<std::uint32_t>{1046, 1044, 1045}));
    EXPECT_FALSE(views.CurveWnd());
    EXPECT_EQ(views.SetDealTableWndPar("", nullptr, nullptr, nullptr, nullptr, 0), 0);
    // A closed window can be made again.
    EXPECT_TRUE(views.CreateDealCurveWnd(nullptr, nullptr, kWsVisible, QRect(), &area_, nullptr,
                                         nullptr, 0));
}

TEST_F(WindowsTest, CurvePanelsFollowTheSelectionAndOutOfLimitValuesBeep) {
    CDealCurveWnd wnd(&area_);
    EXPECT_EQ(wnd.PanelCount(), 3);
    ParamGroups::Instance().Group(1).params[0].nSelCurve = 0;
    ParamGroups::Instance().BuildIndex(kKindCurve);
    EXPECT_EQ(wnd.PanelCount(), 2);

    // Degenerate scale and a NaN still paint.
    SetNewest(0, 0, 2.5, 0);
    SetNewest(0, 1, std::nan(""), 0);
    wnd.resize(600, 400);
    QImage image(600, 400, QImage::Format_RGB32);
    QPainter p(&image);
    std::vector<QPointF> scratch;
    PaintCurvePanels(p, image.rect(), ParamGroups::Instance(), true, scratch);
    p.end();

    wnd.Tick();
    EXPECT_TRUE(beeps_->Heard().empty());  // alarm off
    wnd.ToggleAlarm();
    EXPECT_EQ(wnd.Popup()->actions()[4]->text(), QString::fromUtf8("关闭超限报警(&A)"));
    wnd.Tick();
    auto heard = beeps_->Heard();
    ASSERT_EQ(heard.size(), 1u);  // 正弦波 above 2.0; the NaN is inside no limit
    EXPECT_EQ(heard[0].frequencyHz, 1500u);
    EXPECT_EQ(heard[0].durationMs, 5u);
}

TEST_F(WindowsTest, StripeLengthIsTheValuesShareOfTheScale) {
    const ParStructEx& sine = ParamGroups::Instance().Group(0).params[0];
    const QRect area(0, 0, 800, 400);
    StripeGeometry g = StripeAt(area, 0, 2, sine, 1.0);
    EXPECT_EQ(g.barLength, int((1.0 + 2.54) / 5.08 * g.track.width() + 0.5));
    EXPECT_EQ(StripeAt(area, 0, 2, sine, 9.0).barLength, g.track.width());
    EXPECT_EQ(StripeAt(area, 0, 2, sine, -9.0).barLength, 0);
    // A flat scale or a value that is no number gives an empty bar.
    EXPECT_EQ(StripeAt(area, 1, 2, ParamGroups::Instance().Group(0).params[1], 1.0).barLength, -1);
    EXPECT_EQ(StripeAt(area, 0, 2, sine, std::nan("")).barLength, -1);
    CDealStripeWnd wnd(&area_);
    wnd.resize(400, 300);
    wnd.show();
    wnd.Tick();
    QApplication::processEvents();
}

TEST_F(WindowsTest, TableColoursAndTonesFollowTheLimits) {
    CDealTableWndB wnd(&area_);
    DealTableModel* m = wnd.Model();
    wnd.Tick();
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(m->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("源  码"));
    SetNewest(0, 0, 2.5, 0xEB);
    SetNewest(0, 2, -3, 0x05);
    wnd.Tick();
    EXPECT_EQ(m->data(m->index(0, 1), Qt::DisplayRole).toString(), "EB");
    EXPECT_EQ(m->data(m->index(0, 2), Qt::DisplayRole).toString(), "2.500 V");
    EXPECT_FALSE(m->data(m->index(0, 2), Qt::ForegroundRole).isValid());
    EXPECT_TRUE(beeps_->Heard().empty());
    wnd.ToggleAlarm();
    wnd.Tick();
    EXPECT_EQ(m->data(m->index(0, 2), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_EQ(m->data(m->index(1, 2), Qt::ForegroundRole).value<QColor>(), QColor(Qt::yellow));
    auto heard = beeps_->Heard();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].frequencyHz, 1000u);
    EXPECT_EQ(heard[1].frequencyHz, 500u);

    // The detail style: basic information, then the samples.
    wnd.ChooseStyle(1);
    EXPECT_EQ(plat::GetPrivateProfileInt("参数显示窗口", "表格2", -1, SettingsFile()), 1);
    EXPECT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->data(m->index(0, 0), Qt::DisplayRole).toString(), QString::fromUtf8("基本信息"));
    EXPECT_EQ(m->data(m->index(4, 0), Qt::DisplayRole).toString(),
              QString::fromUtf8("最大值：  2.540"));
    EXPECT_EQ(m->data(m->index(8, 2), Qt::DisplayRole).toString(), "2.500");
    EXPECT_EQ(m->data(m->index(8, 2), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
}

// Through the program's tone sink the table's alarm reaches the sound
// device (ALSA's file plugin keeps the samples): the over-limit tone at
// 1000 Hz, then the under-limit one at 500 Hz, 5 ms each.
TEST_F(WindowsTest, TableAlarmTonesReachTheSoundDeviceAtTheirPitch) {
    const std::string file = home_.path() + "/tones.raw";
    auto tones = std::make_shared<plat::ToneBeepSink>("file:FILE=" + file + ",FORMAT=raw", nullptr);
    plat::SetBeepSink(tones);
    CDealTableWndB wnd(&area_);
    SetNewest(0, 0, 2.5, 0xEB);
    SetNewest(0, 2, -3, 0x05);
    wnd.ToggleAlarm();
    wnd.Tick();
    ASSERT_TRUE(tones->WaitIdle(20s));
    EXPECT_EQ(tones->Played(), 2u);
    plat::SetBeepSink(nullptr);
    tones.reset();  // the device is closed, its file complete

    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(bytes.size(), 2u * 2 * 240);  // two tones of 240 samples (48 kHz)
    auto sample = [&](std::size_t i) {
        return std::int16_t(std::uint8_t(bytes[2 * i]) | std::uint8_t(bytes[2 * i + 1]) << 8);
    };
    auto cycles = [&](std::size_t from) {
        int n = 0;
        for (std::size_t i = from + 1; i < from + 240; ++i)
            if (sample(i - 1) < 0 && sample(i) >= 0) ++n;
        return n;
    };
    EXPECT_NEAR(cycles(0), 5, 1);      // 1000 Hz for 5 ms
    EXPECT_NEAR(cycles(240), 2.5, 1);  // 500 Hz for 5 ms
}

TEST_F(WindowsTest, ChosenLevelsAreStoredAndAnEmptyLevelOpensTheSelection) {
    {
        CDealTableWndB table(&area_);
        EXPECT_EQ(table.Level(), 0);
        table.ChooseLevel(0);  // the level has table parameters: no dialog
        CDealCurveWnd curve(&area_);
        curve.ChooseLevel(1);
        EXPECT_EQ(plat::GetPrivateProfileString("参数显示窗口", "曲线", "", 16, SettingsFile()),
                  "1");
        // Special superframe has nothing for the table: the selection dialog
        // opens for the table at that level.
        QString caption;
        int level = -1;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dlg) return;
            timer.stop();
            caption = dlg->windowTitle();
            if (auto* box = dlg->findChild<QComboBox*>()) level = box->currentIndex();
            dlg->reject();
        });
        timer.start();
        table.ChooseLevel(2);
        EXPECT_EQ(caption, QString::fromUtf8("表格显示参数选择"));
        EXPECT_EQ(level, 2);
        EXPECT_EQ(table.Level(), 2);
        EXPECT_EQ(plat::GetPrivateProfileString("参数显示窗口", "表格", "", 16, SettingsFile()),
                  "2");
    }
    CDealCurveWnd again(&area_);
    EXPECT_EQ(again.Level(), 1);
    plat::WritePrivateProfileString("参数显示窗口", "曲线", "7", SettingsFile());
    CDealCurveWnd reset(&area_);
    EXPECT_EQ(reset.Level(), 0);
}

}  // namespace

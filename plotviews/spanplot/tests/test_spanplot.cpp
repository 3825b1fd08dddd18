// The scan plot window offscreen: the window table against a card of the
// loopback engine, the stop call on every close, the timers, the polling,
// the layout of narrow windows and the context menu.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <gtest/gtest.h>
#include <platform/notify.h>
#include <platform/paths.h>
#include <plot_window_test.h>
#include <spanplot/radio_plot_wnd.h>
#include <spanplot/spanplot.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSpinBox>
#include <climits>
#include <vector>

#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

namespace spanplot {
namespace {

using namespace std::chrono_literals;
using cardengine::testkit::EngineProcess;

struct StopCall {
    std::uint32_t card, low, high;
};
std::vector<StopCall> g_stops;
int g_polls = 0;
std::int32_t g_pollResult = 0;

std::int32_t RecordStop(std::uint32_t card, std::uint32_t low, std::uint32_t high) {
    g_stops.push_back({card, low, high});
    return 0;
}
std::int32_t CountPoll(std::uint32_t, std::uint32_t) {
    ++g_polls;
    return g_pollResult;
}

bool Gone(const QPointer<CRadioPlotWnd>& w) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return w.isNull();
}

// The stop call is always recorded; polls reach the library unless a test
// asks for the counting stand-in.
void UseCalls(bool countPolls) {
    static const DeviceCalls library{&BB_GetRadioPlotData, &RecordStop};
    static const DeviceCalls counting{&CountPoll, &RecordStop};
    SetDeviceCallsForTest(countPolls ? &counting : &library);
}

class SpanplotTest : public plotviews::testing::PlotWindowTest {
protected:
    SpanplotTest() : PlotWindowTest("span") {}
    void SetUp() override {
        PlotWindowTest::SetUp();
        g_stops.clear();
        g_polls = 0;
        g_pollResult = 0;
        UseCalls(false);
    }
    void TearDown() override {
        area_->closeAllSubWindows();
        PlotWindowTest::TearDown();
        SetDeviceCallsForTest(nullptr);
    }
    CRadioPlotWnd* Window() { return static_cast<CRadioPlotWnd*>(BB_GetRadioPlotWnd(0)); }
    QMdiSubWindow* Sub(CRadioPlotWnd* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }
};

TEST_F(SpanplotTest, WithoutAnOpenCardNothingIsCreated) {
    EXPECT_FALSE(BB_CreateRadioPlotWnd(0, "扫描", area_));
    EXPECT_FALSE(BB_CreateRadioPlotWnd(8, nullptr, area_));
    EXPECT_EQ(BB_GetRadioPlotWnd(0), nullptr);
    EXPECT_EQ(BB_GetRadioPlotWnd(0xFFFFFFFFu), nullptr);
    EXPECT_FALSE(BB_SetRadioPlotElapse(0, 100));
    EXPECT_FALSE(BB_EnableRadioPlotGradualCurve(0));
    EXPECT_TRUE(area_->subWindowList().isEmpty());
}

TEST_F(SpanplotTest, TableTitlesAndEveryCloseStopsTheScanAndFreesTheSlot) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    EXPECT_FALSE(BB_CreateRadioPlotWnd(0, "x", nullptr));
    EXPECT_FALSE(BB_CreateRadioPlotWnd(1, "x", area_));  // one card open
    ASSERT_TRUE(BB_CreateRadioPlotWnd(0, "", area_));
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Window()->windowTitle().toStdString(), "【板卡0】-- 频域扫描图");
    EXPECT_EQ(Sub(Window())->windowTitle().toStdString(), "【板卡0】-- 频域扫描图");
    EXPECT_FALSE(BB_CreateRadioPlotWnd(0, "again", area_));
    ASSERT_TRUE(BB_SetRadioPlotElapse(0, 100));

    // The operator closes it: timer off, one stop call with 2.25 GHz as two
    // words low half first, slot empty.
    QPointer<CRadioPlotWnd> old = Window();
    Sub(old)->close();
    EXPECT_FALSE(old->TimerActive());
    ASSERT_EQ(g_stops.size(), 1u);
    EXPECT_EQ(g_stops[0].card, 0u);
    EXPECT_EQ(g_stops[0].low, 0xD0000000u);
    EXPECT_EQ(g_stops[0].high, 0x41E0C388u);
    EXPECT_EQ(BB_GetRadioPlotWnd(0), nullptr);
    EXPECT_FALSE(BB_SetRadioPlotElapse(0, 100));
    ASSERT_WAIT_UNTIL(Gone(old), 5s);
    EXPECT_EQ(g_stops.size(), 1u);  // deleting after the close stops nothing twice

    // A new window in the freed slot; a blank title gives the plain text.
    ASSERT_TRUE(BB_CreateRadioPlotWnd(0, "  ", area_));
    EXPECT_EQ(Window()->windowTitle().toStdString(), "频域扫描图");
    ASSERT_TRUE(BB_CreateRadioPlotWnd(0, "扫描", area_) == 0);

    // Deleting the window without a close is a close too.
    QPointer<CRadioPlotWnd> second = Window();
    delete Sub(second);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(g_stops.size(), 2u);
    EXPECT_EQ(BB_GetRadioPlotWnd(0), nullptr);
    ASSERT_TRUE(BB_CreateRadioPlotWnd(0, "扫描", area_));
    EXPECT_EQ(Window()->windowTitle().toStdString(), "扫描");
}

TEST_F(SpanplotTest, PeriodsAreBoundedAndGradualCurveSwitchesOn) {
    EngineProcess engine;
    ASSERT_TRUE(OpenCard(engine));
    ASSERT_TRUE(BB_CreateRadioPlotWnd(0, nullptr, area_));
    CRadioPlotWnd* w = Window();
    EXPECT_FALSE(w->TimerActive());
    ASSERT_TRUE(BB_SetRadioPlotElapse(0, 0));
    EXPECT_EQ(w->Period(), 1);
    EXPECT_TRUE(w->TimerActive());
    ASSERT_TRUE(BB_SetRadioPlotElapse(0, 0xFFFFFFFFu));
    EXPECT_EQ(w->Period(), INT_MAX);
    ASSERT_TRUE(BB_SetRadioPlotElapse(0, 0x80000000u));
    EXPECT_EQ(w->Period(), INT_MAX);
    ASSERT_TRUE(BB_SetRadioPlotElapse(0, 7));
    EXPECT_EQ(w->Period(), 7);
    EXPECT_TRUE(sink_->Shown().empty());

    EXPECT_FALSE(w->GradualCurve());
    ASSERT_TRUE(BB_EnableRadioPlotGradualCurve(0));
    EXPECT_TRUE(w->GradualCurve());
}

TEST_F(SpanplotTest, TheLibraryLeavesTheDataAreaAloneAndOnlyDataRedraws) {
    CRadioPlotWnd w(2, "t");
    w.resize(600, 300);
    w.show();
    w.DataArea().fill(0xA5A5A5A5u);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(w.Poll());
    for (std::uint32_t v : w.DataArea()) ASSERT_EQ(v, 0xA5A5A5A5u);

    // The timer polls; a poll without data asks for no redraw, one with
    // data does.
    UseCalls(true);
    ASSERT_TRUE(w.SetElapse(1));
    ASSERT_WAIT_UNTIL(g_polls >= 3, 5s);
    EXPECT_FALSE(w.Poll());
    g_pollResult = 1;
    const unsigned before = w.RenderCount();
    EXPECT_TRUE(w.Poll());
    ASSERT_WAIT_UNTIL(w.RenderCount() > before, 5s);

    // No image of a window without area: nothing to redraw.
    w.setMinimumSize(0, 0);
    w.resize(0, 0);
    if (w.width() == 0) {
        EXPECT_FALSE(w.Poll());
    }
    w.close();
    ASSERT_EQ(g_stops.size(), 1u);
    EXPECT_EQ(g_stops[0].card, 2u);
    EXPECT_FALSE(w.TimerActive());
    EXPECT_FALSE(w.SetElapse(10));  // a closed window stays stopped
}

TEST(SpanplotLayout, PlotWidthIsAQuarterLessTheMarginAndNeverNegative) {
    EXPECT_EQ(PlotWidthFor(1212), 270);
    EXPECT_EQ(PlotWidthFor(140), 2);
    EXPECT_EQ(PlotWidthFor(132), 0);
    EXPECT_EQ(PlotWidthFor(131), 0);
    EXPECT_EQ(PlotWidthFor(40), 0);
    EXPECT_EQ(PlotWidthFor(0), 0);
    EXPECT_EQ(PlotWidthFor(-100), 0);
}

TEST(SpanplotLayout, NarrowWindowsPaintTheBackgroundWithoutPanels) {
    CRadioPlotWnd w(0, "t");
    for (int width : {40, 100, 131}) {
        w.resize(width, 200);
        EXPECT_EQ(w.PlotWidth(), 0) << width;
        for (int i = 0; i < kPanels; ++i) EXPECT_TRUE(w.PanelRect(i).isEmpty()) << width;
        const QImage img = w.grab().toImage();
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.pixelColor(width / 2, 100), QColor(Qt::black)) << width;
    }
    // Wide enough: four framed panels after the left margin.
    w.resize(612, 300);
    const QImage img = w.grab().toImage();
    for (int i = 0; i < kPanels; ++i) {
        const QRect r = w.PanelRect(i);
        EXPECT_EQ(r.left(), 6 + i * 150 + kLeftMargin);
        EXPECT_EQ(r.width(), 120);
        EXPECT_EQ(img.pixelColor(r.left(), r.center().y()), QColor(0, 160, 0)) << i;
        EXPECT_EQ(img.pixelColor(r.left() - 1, r.center().y() + 3), QColor(Qt::black)) << i;
    }
}

TEST(SpanplotMenu, ScrollBarToggleAndTheSettingsDialog) {
    plat::SetNotifySink(std::make_shared<plat::CapturingSink>());
    UseCalls(false);
    CRadioPlotWnd w(0, "t");
    w.resize(600, 300);
    auto texts = [&] {
        std::vector<std::string> out;
        const std::unique_ptr<QMenu> menu = w.MakeContextMenu();
        for (QAction* a : menu->actions()) out.push_back(a->text().toStdString());
        return out;
    };
    EXPECT_EQ(texts(), (std::vector<std::string>{"显示滚动条", "显示设置..."}));
    EXPECT_FALSE(w.ScrollBarShown());
    w.MakeContextMenu()->actions().at(0)->trigger();
    EXPECT_TRUE(w.ScrollBarShown());
    EXPECT_FALSE(w.ScrollBar()->isHidden());
    EXPECT_EQ(w.ScrollBar()->geometry().bottom(), w.height() - 1);
    EXPECT_EQ(texts(), (std::vector<std::string>{"隐藏滚动条", "显示设置..."}));
    // The panels end above the scroll bar.
    EXPECT_LT(w.PanelRect(0).bottom(), w.ScrollBar()->geometry().top());
    w.MakeContextMenu()->actions().at(0)->trigger();
    EXPECT_TRUE(w.ScrollBar()->isHidden());

    // The dialog shows the period and applies what the operator enters.
    std::unique_ptr<QDialog> dlg(w.MakeSettingsDialog());
    auto* period = dlg->findChild<QSpinBox*>("period");
    auto* gradual = dlg->findChild<QCheckBox*>("gradual");
    ASSERT_NE(period, nullptr);
    ASSERT_NE(gradual, nullptr);
    EXPECT_EQ(period->value(), kDefaultPeriodMs);
    EXPECT_EQ(period->minimum(), 1);
    period->setValue(250);
    gradual->setChecked(true);
    dlg->accept();
    EXPECT_EQ(w.Period(), 250);
    EXPECT_TRUE(w.TimerActive());
    EXPECT_TRUE(w.GradualCurve());
    dlg.reset(w.MakeSettingsDialog());
    dlg->findChild<QSpinBox*>("period")->setValue(900);
    dlg->reject();
    EXPECT_EQ(w.Period(), 250);
    w.close();
    SetDeviceCallsForTest(nullptr);
    plat::SetNotifySink(nullptr);
}

}  // namespace
}  // namespace spanplot

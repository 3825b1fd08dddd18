// The raw curve and histogram windows in the running frame against a
// loopback card engine: what the engine's frames look like in them, the
// workspace menu, the closing messages, close-all and the windows the frame
// opens by itself 3 s after start.
#include <histview/histogram_wnd.h>
#include <platform/winmsg.h>
#include <rawcurve/curver_wnd.h>
#include <rawgrid/table_grid_wnd.h>
#include <rawgrid/table_wnd.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QToolBar>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;

rawcurve::CCurverWnd* CurveOf(CMainFrame* f) {
    return qobject_cast<rawcurve::CCurverWnd*>(f->View(FrameView::RawCurve).wnd.data());
}

histview::CHistogramWnd* HistogramOf(CMainFrame* f) {
    return qobject_cast<histview::CHistogramWnd*>(f->View(FrameView::RawHistogram).wnd.data());
}

rawgrid::CTableWnd* TableOf(CMainFrame* f) {
    return qobject_cast<rawgrid::CTableWnd*>(f->View(FrameView::RawTable).wnd.data());
}

QAction* WorkspaceEntry(CMainFrame* f, unsigned id) {
    for (QAction* a : f->WorkspaceMenu()->actions())
        if (a->data().toUInt() == id) return a;
    return nullptr;
}

using RawViewsFrameTest = frametest::EngineFrameTest;

TEST_F(RawViewsFrameTest, CurveShowsTheEnginesWordsAndTheFrameCode) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_RAW_CURVE);
    rawcurve::CCurverWnd* w = CurveOf(f);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(f->View(FrameView::RawCurve).open, 1);
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    ASSERT_WAIT_UNTIL(w->View()->Snapshot().channel[6].values.size() >= 200, 20s);
    const rawcurve::CurveSnapshot& s = w->View()->Snapshot();
    // The sync words, the sub-frame identifier counting down and the
    // sub-frame counter's low byte, at one point per sub-frame.
    for (std::uint32_t v : s.channel[0].values) ASSERT_EQ(v, 235u);
    for (std::uint32_t v : s.channel[1].values) ASSERT_EQ(v, 144u);
    const std::vector<std::uint32_t>& id = s.channel[6].values;
    const std::vector<std::uint32_t>& counter = s.channel[4].values;
    for (std::size_t i = 1; i < id.size(); ++i) {
        ASSERT_EQ(id[i], (id[i - 1] + 3) % 4) << i;
        ASSERT_EQ(counter[i], (counter[i - 1] + 1) % 256) << i;
    }
    EXPECT_EQ(w->View()->Label(6), QStringLiteral("P0007"));
    // Eight tag bytes, then the sync words.
    const QString code = QString::fromStdString(s.frameCode);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^帧码: ([0-9A-F]{2} ){8}EB 90( [0-9A-F]{2}){6}$"))
            .match(code)
            .hasMatch())
        << s.frameCode;
    EXPECT_EQ(w->View()->Caption(),
              QStringLiteral(
                  "源码曲线显示：码速率1000000bps，字长8, 帧格式24×4，帧长96，帧周期0.768ms "));
    // A second 32776 maximises the open window.
    f->OnCommand(ID_RAW_CURVE);
    EXPECT_EQ(CurveOf(f), w);
    EXPECT_TRUE(w->isMaximized());
    EXPECT_TRUE(f->close());
}

TEST_F(RawViewsFrameTest, WorkspaceMenuOpensTheHistogramWithTheEnginesBars) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    // Commands with a menu or toolbar entry stay out of the workspace menu.
    QAction* entry = WorkspaceEntry(f, ID_RAW_HISTOGRAM);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QStringLiteral("源码条图显示"));
    EXPECT_NE(WorkspaceEntry(f, ID_PARAM_STRIPE), nullptr);
    EXPECT_NE(WorkspaceEntry(f, ID_DECRYPTION_CHOICE), nullptr);
    EXPECT_EQ(WorkspaceEntry(f, ID_RAW_CURVE), nullptr);
    EXPECT_EQ(WorkspaceEntry(f, ID_WINDOW_TILE), nullptr);
    EXPECT_EQ(WorkspaceEntry(f, ID_REOPEN_CARD), nullptr);

    entry->trigger();
    histview::CHistogramWnd* w = HistogramOf(f);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isMaximized());
    histview::HistView* v = w->View();
    ASSERT_WAIT_UNTIL(v->Snapshot().rows == 4, 20s);
    const int full = histview::HistView::kFullBarHeight;
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(v->BarPixels(r, 0), int(235.0 / 255.0 * full + 0.5)) << r;
        EXPECT_EQ(v->BarPixels(r, 1), int(144.0 / 255.0 * full + 0.5)) << r;
    }
    EXPECT_EQ(v->HexText(0, 0), QStringLiteral("EB"));
    EXPECT_TRUE(v->Caption().startsWith(QStringLiteral("源码柱状图显示：码速率1000000bps，字长8")));
    EXPECT_TRUE(f->close());
}

// The engine's signal words stay at 0x1234 in 16-bit words.
class SixteenBitFrameTest : public frametest::EngineFrameTest {
protected:
    void SetUp() override {
        EngineFrameTest::SetUp();
        auto info = std::make_unique<TaskInfoRecord>();
        auto dem = std::make_unique<DemTaskRecord>();
        auto sim = std::make_unique<SimTaskRecord>();
        auto time = std::make_unique<TimeTaskRecord>();
        auto rcv = std::make_unique<RecvTaskRecord>();
        ASSERT_NE(GetDefaultTaskPara(info.get(), dem.get(), sim.get(), time.get(), rcv.get(), 1),
                  0);
        sim->sim.信号类型 = 0;
        sim->sim.信号初值 = 0x1234;
        ASSERT_NE(ModifyTaskMacro(0, info.get(), dem.get(), sim.get(), time.get(), rcv.get(), 1),
                  0);
    }
    void EditTask(DemTaskRecord& dem) override { dem.dem.字长 = 16; }
};

TEST_F(SixteenBitFrameTest, HistogramHexLabelEqualsTheTablesCell) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_RAW_TABLE);
    f->OnCommand(ID_RAW_HISTOGRAM);
    rawgrid::CTableWnd* table = TableOf(f);
    histview::CHistogramWnd* hist = HistogramOf(f);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(hist, nullptr);
    // Position 12 carries a signal word.
    ASSERT_WAIT_UNTIL(
        !hist->View()->HexText(0, 11).isEmpty() && !table->Grid()->CellText(0, 11).isEmpty(), 20s);
    EXPECT_EQ(table->Grid()->CellText(0, 11), QStringLiteral("1234"));
    EXPECT_EQ(hist->View()->HexText(0, 11), table->Grid()->CellText(0, 11));
    EXPECT_EQ(hist->View()->BarPixels(0, 11),
              int(double(0x1234) / 65535.0 * histview::HistView::kFullBarHeight + 0.5));
    EXPECT_TRUE(f->close());
}

TEST_F(RawViewsFrameTest, ClosingMessagesAndCloseAllEndBothWindowsAndTheirWorker) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_RAW_CURVE);
    f->OnCommand(ID_RAW_HISTOGRAM);
    ASSERT_NE(CurveOf(f), nullptr);
    ASSERT_NE(HistogramOf(f), nullptr);
    const std::shared_ptr<rawcurve::CurveEngine> worker = CurveOf(f)->Engine();
    ASSERT_WAIT_UNTIL(worker->Version() > 0, 20s);
    f->UpdateCommandUI();
    EXPECT_TRUE(f->Action(ID_CLOSE_ALL_WINDOWS)->isEnabled());

    f->OnCommand(ID_CLOSE_ALL_WINDOWS);
    ASSERT_WAIT_UNTIL(
        f->View(FrameView::RawCurve).open == 0 && f->View(FrameView::RawHistogram).open == 0, 20s);
    EXPECT_FALSE(worker->Running());
    EXPECT_EQ(f->View(FrameView::RawCurve).wnd, nullptr);
    EXPECT_EQ(f->View(FrameView::RawHistogram).wnd, nullptr);
    EXPECT_FALSE(f->m_windowPos[cfg::PlacedWindow::BCDCurveWnd].open);
    // Opened again after the objects went, fed again.
    ASSERT_WAIT_UNTIL(worker.use_count() == 1, 20s);
    f->OnCommand(ID_RAW_CURVE);
    ASSERT_NE(CurveOf(f), nullptr);
    ASSERT_WAIT_UNTIL(CurveOf(f)->View()->Snapshot().channel[0].values.size() > 0, 20s);
    EXPECT_TRUE(f->close());
}

TEST_F(RawViewsFrameTest, CurveAndTableOpenThreeSecondsAfterStartTiledSideBySide) {
    cardengine::testkit::EngineProcess engine(std::vector<std::string>{});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_WAIT_UNTIL(CurveOf(f) && TableOf(f), 20s);
    rawcurve::CCurverWnd* curve = CurveOf(f);
    rawgrid::CTableWnd* table = TableOf(f);
    ASSERT_WAIT_UNTIL(table->geometry().x() == curve->geometry().width(), 20s);
    EXPECT_EQ(curve->geometry().topLeft(), QPoint(0, 300));
    EXPECT_EQ(table->geometry().y(), 300);
    EXPECT_EQ(table->geometry().size(), curve->geometry().size());
    EXPECT_EQ(curve->geometry().width(), f->width() / 2);
    ASSERT_WAIT_UNTIL(curve->View()->Snapshot().channel[4].values.size() >= 8, 20s);
    EXPECT_TRUE(f->close());
}

}  // namespace

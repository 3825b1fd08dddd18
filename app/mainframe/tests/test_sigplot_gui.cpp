// The signal plot window in the running frame against a loopback card
// engine: opened 3 s after start across the top, live blocks in all five
// plots before and after a card re-open, the carrier of the task, a second
// command raising the window, and no window without a card.
#include <config/window_pos.h>
#include <sigplot/signal_plot_wnd.h>
#include <sigplot/sigplot.h>
#include <testsupport/wait.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <array>

#include "command_ids.h"
#include "frame_test_kit.h"

namespace {

using namespace std::chrono_literals;
using namespace mainframe;

sigplot::CMdiSignalPlotWnd* SignalPlotOf(CMainFrame* f) {
    return qobject_cast<sigplot::CMdiSignalPlotWnd*>(f->View(FrameView::SignalSpectrum).wnd.data());
}

class SigplotFrameTest : public frametest::EngineFrameTest {
protected:
    void EditTask(DemTaskRecord& dem) override { dem.dem.输入频率 = 2300.5e6; }

    // Every plot paints at least one block after the counts in `before`.
    static bool AllPaintedPast(sigplot::CMdiSignalPlotWnd* w,
                               const std::array<unsigned, 5>& before) {
        for (int i = 0; i < 5; ++i)
            if (w->Plot(i)->PaintedBlocks() <= before[static_cast<std::size_t>(i)]) return false;
        return true;
    }
    static std::array<unsigned, 5> Painted(sigplot::CMdiSignalPlotWnd* w) {
        std::array<unsigned, 5> n{};
        for (int i = 0; i < 5; ++i) n[static_cast<std::size_t>(i)] = w->Plot(i)->PaintedBlocks();
        return n;
    }
};

TEST_F(SigplotFrameTest, OpensAfterStartAcrossTheTopAndPaintsAgainAfterAReopen) {
    cardengine::testkit::EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_WAIT_UNTIL(SignalPlotOf(f) && f->View(FrameView::RawTable).open, 20s);
    sigplot::CMdiSignalPlotWnd* w = SignalPlotOf(f);
    EXPECT_EQ(f->View(FrameView::SignalSpectrum).open, 1);
    EXPECT_EQ(w->windowTitle().toStdString(), "信号频谱图");
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    ASSERT_NE(sub, nullptr);
    ASSERT_WAIT_UNTIL(sub->geometry().height() == 300 && sub->geometry().topLeft() == QPoint(0, 0),
                      20s);
    EXPECT_EQ(w->Plot(0)->TimerInterval(), 100);

    const auto start = Painted(w);
    ASSERT_WAIT_UNTIL(AllPaintedPast(w, start), 10s);
    // The demodulator's spectrum at the task's carrier.
    ASSERT_WAIT_UNTIL(w->Spectrum(3)->LabelTexts().centre == "Center 2300.50 MHz", 10s);
    EXPECT_EQ(w->Spectrum(1)->LabelTexts().tag, "Input L");

    f->OnCommand(ID_REOPEN_CARD);
    ASSERT_WAIT_UNTIL(f->m_bCardOpen && !f->m_bCardInitialising, 20s);
    const auto reopened = Painted(w);
    ASSERT_WAIT_UNTIL(AllPaintedPast(w, reopened), 10s);
    EXPECT_EQ(SignalPlotOf(f), w);
    const QSize placed = sub->size();
    EXPECT_TRUE(f->close());
    // The exit saves where the window was.
    const cfg::WindowPlacement saved = cfg::LoadWindowPos(Home())[cfg::PlacedWindow::SignalPlotWnd];
    EXPECT_TRUE(saved.open);
    EXPECT_EQ(QSize(saved.cx, saved.cy), placed);
    EXPECT_EQ(saved.cy, 300);
}

TEST_F(SigplotFrameTest, SecondCommandRaisesTheWindowAndACloseLetsItOpenAgain) {
    cardengine::testkit::EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    f->OnCommand(ID_SIGNAL_SPECTRUM);
    sigplot::CMdiSignalPlotWnd* w = SignalPlotOf(f);
    ASSERT_NE(w, nullptr);
    const auto subs = f->MdiArea()->subWindowList().size();
    f->OnCommand(ID_SIGNAL_SPECTRUM);
    EXPECT_EQ(SignalPlotOf(f), w);
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), subs);

    QPointer<sigplot::CMdiSignalPlotWnd> old = w;
    qobject_cast<QMdiSubWindow*>(w->parentWidget())->close();
    ASSERT_WAIT_UNTIL((QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete),
                       old.isNull() && !f->View(FrameView::SignalSpectrum).open),
                      10s);
    f->OnCommand(ID_SIGNAL_SPECTRUM);
    ASSERT_NE(SignalPlotOf(f), nullptr);
    EXPECT_EQ(f->View(FrameView::SignalSpectrum).open, 1);
    EXPECT_TRUE(f->close());
}

TEST_F(SigplotFrameTest, WithoutACardTheCommandShowsTheMessageAndOpensNothing) {
    CMainFrame* f = MakeFrame();  // a closed loopback port
    ASSERT_WAIT_UNTIL(!f->CardOpenThreadBusy(), 20s);
    f->OnCommand(ID_SIGNAL_SPECTRUM);
    EXPECT_TRUE(boxes_->Saw("当前系统中未发现基带设备。"));
    EXPECT_EQ(SignalPlotOf(f), nullptr);
    EXPECT_EQ(f->View(FrameView::SignalSpectrum).open, 0);
    EXPECT_TRUE(f->close());
}

// The read-out above and below each spectrum and the frequency axis fit
// whole inside their pane, with no text over another, in the frame at the
// screen size the pictures use and at 1280 x 800.
TEST_F(SigplotFrameTest, SpectrumLabelsFitTheirPanesAtTheDefaultSizeAndAt1280x800) {
    cardengine::testkit::EngineProcess engine({"--spectrum-ms", "50"});
    ASSERT_TRUE(engine.started());
    CMainFrame* f = FrameOn(engine);
    ASSERT_WAIT_UNTIL(SignalPlotOf(f) && f->View(FrameView::RawTable).open, 20s);
    sigplot::CMdiSignalPlotWnd* w = SignalPlotOf(f);
    for (const QSize size : {QSize(1600, 1000), QSize(1280, 800)}) {
        f->resize(size);
        f->TileViews();
        const auto before = Painted(w);
        ASSERT_WAIT_UNTIL(AllPaintedPast(w, before), 10s);
        for (int i = 0; i < 4; ++i) {
            sigplot::CSpectrumWnd* pane = w->Spectrum(i);
            pane->grab();  // paints with the current block
            const QRect inside = pane->rect();
            const std::string at = std::to_string(size.width()) + "x" +
                                   std::to_string(size.height()) + " pane " + std::to_string(i);
            // Within a row or along an axis no text runs into its neighbour.
            auto apart = [&](const std::vector<QRect>& rects, const char* what) {
                for (std::size_t a = 0; a < rects.size(); ++a) {
                    EXPECT_TRUE(inside.contains(rects[a]))
                        << at << " " << what << " " << a << " at " << rects[a].x() << ","
                        << rects[a].y() << " " << rects[a].width() << "x" << rects[a].height()
                        << " in " << inside.width() << "x" << inside.height();
                    for (std::size_t b = a + 1; b < rects.size(); ++b)
                        EXPECT_FALSE(rects[a].intersects(rects[b]))
                            << at << " " << what << " " << a << " and " << b;
                }
            };
            const std::vector<QRect> readOut = pane->PaintedLabelRects();
            ASSERT_GE(readOut.size(), 4u) << at;  // tag and SNR, marker, centre, span
            apart(readOut, "read-out");
            const std::vector<QRect> frequencies = pane->Grid().FrequencyLabelRects();
            ASSERT_GE(frequencies.size(), 2u) << at;
            apart(frequencies, "frequency label");
            for (const QRect& r : pane->Grid().LevelLabelRects())
                EXPECT_TRUE(inside.contains(r)) << at << " level label";
        }
    }
    EXPECT_TRUE(f->close());
}

}  // namespace

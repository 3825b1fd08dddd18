// The signal plot window (command 32834) on the frame's side: created in the
// workspace for the frame's card, refreshed every 100 ms, and forgotten by
// the frame when it goes.
#include <sigplot/signal_plot_wnd.h>
#include <sigplot/sigplot.h>

#include <QMdiArea>
#include <QMdiSubWindow>

#include "main_frame.h"

namespace {

// Refresh period of the five plots: the card sends a block every 100 ms.
constexpr std::uint32_t kSignalPlotPeriodMs = 100;

}  // namespace

void CMainFrame::OpenSignalPlot() {
    ViewSlot& slot = View(FrameView::SignalSpectrum);
    const auto card = static_cast<std::uint32_t>(m_nDevice);
    // A second open raises the window that is there.
    if (QWidget* existing = BB_GetSignalPlotWnd(card)) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(existing->parentWidget())) {
            if (sub->isMinimized()) sub->showNormal();
            m_mdiArea->setActiveSubWindow(sub);
        }
        slot.wnd = existing;
        slot.open = 1;
        return;
    }
    if (!BB_CreateSignalPlotWnd(card, "信号频谱图", MdiArea())) return;
    QWidget* wnd = BB_GetSignalPlotWnd(card);
    if (!wnd) return;
    BB_SetSignalPlotElapse(card, kSignalPlotPeriodMs);
    // Where it was at the last exit, else across the top of the workspace,
    // 300 high, until tiled or moved.
    const cfg::WindowPlacement& saved = m_windowPos[cfg::PlacedWindow::SignalPlotWnd];
    if (auto* sub = qobject_cast<QMdiSubWindow*>(wnd->parentWidget())) {
        if (saved.open && saved.cx > 0 && saved.cy > 0)
            sub->setGeometry(PlacementInMdi(cfg::PlacedWindow::SignalPlotWnd));
        else
            sub->setGeometry(0, 0, m_mdiArea->viewport()->width(), 300);
    }
    // The operator's close; a window deleted with the frame says nothing.
    connect(static_cast<sigplot::CMdiSignalPlotWnd*>(wnd), &sigplot::CMdiSignalPlotWnd::Closed,
            this, [this] { OnViewClosed(FrameView::SignalSpectrum, false); });
    slot.wnd = wnd;
    slot.open = 1;
    m_windowPos[cfg::PlacedWindow::SignalPlotWnd].open = true;
}

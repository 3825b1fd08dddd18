// The window table of the signal plot: one slot per card. A slot is emptied
// by BB_DestroySignalPlotWnd and by any close of its window, so no export
// reaches a window that is gone.
#include <bbdevice/bbdevice.h>
#include <platform/notify.h>
#include <plotviews/card_window_table.h>
#include <sigplot/signal_plot_wnd.h>
#include <sigplot/sigplot.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <algorithm>
#include <climits>
#include <cmath>

namespace sigplot {
namespace {

CCardWindowTable<CMdiSignalPlotWnd> g_table;

CMdiSignalPlotWnd* WindowOf(std::uint32_t card) {
    return g_table.Get(card);
}

}  // namespace

void ReleaseSlot(CMdiSignalPlotWnd* w) {
    g_table.Release(w);
}

}  // namespace sigplot

using namespace sigplot;

extern "C" {

std::int32_t BB_CreateSignalPlotWnd(std::uint32_t card, const char* title, QMdiArea* parent) {
    if (card >= g_table.Usable()) {
        plat::MessageBox("当前系统中未发现基带设备。", "Talvora", plat::MB_OK);
        return 0;
    }
    if (!parent || !g_table.Free(card)) return 0;
    const QString text =
        title && *title ? QString::fromUtf8(title) : QString::fromUtf8("信号频谱图");
    auto* wnd = new CMdiSignalPlotWnd(card, text);
    QMdiSubWindow* sub = parent->addSubWindow(wnd);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(text);
    sub->show();
    for (int i = 0; i < 5; ++i) wnd->Plot(i)->RequestRedraw();
    g_table.Set(card, wnd);
    return 1;
}

QWidget* BB_GetSignalPlotWnd(std::uint32_t card) {
    return WindowOf(card);
}

std::int32_t BB_SetSignalPlotElapse(std::uint32_t card, std::uint32_t periodMs) {
    CMdiSignalPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    const int period = static_cast<int>(std::min<std::uint32_t>(periodMs, INT_MAX));
    for (int i = 0; i < 5; ++i) {
        if (!w->Plot(i)->SetElapse(period)) {
            plat::MessageBox("此窗口没有足够的计时器。", "Talvora",
                             plat::MB_OK | plat::MB_ICONWARNING);
            return 0;
        }
    }
    return 1;
}

std::int32_t BB_EnableSignalPlotGradualCurve(std::uint32_t card) {
    CMdiSignalPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 4; ++c) w->Spectrum(i)->SetCurveVisible(c, true);
        w->Spectrum(i)->SetCurveColour(255);
    }
    return 1;
}

std::int32_t BB_DestroySignalPlotWnd(std::uint32_t card, std::int32_t close) {
    QPointer<CMdiSignalPlotWnd> w;
    if (!g_table.Take(card, w)) return 0;
    if (close && w) {
        w->StopTimers();
        QWidget* outer = qobject_cast<QMdiSubWindow*>(w->parentWidget());
        delete (outer ? outer : static_cast<QWidget*>(w.data()));
    }
    return 1;
}

std::int32_t BB_SetWindowMaxSize(std::uint32_t card, std::int32_t width, std::int32_t height) {
    CMdiSignalPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    w->SetMaxSize(width, height);
    return 1;
}

std::int32_t BB_SetSignalFreqMod(std::uint32_t card, std::uint32_t index, double centreHz,
                                 double spanHz, std::int32_t mode) {
    CMdiSignalPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    CSignalPlotWnd::Override o;
    o.centreHz = std::isfinite(centreHz) && centreHz > 0 ? centreHz : 0;
    o.spanHz = std::isfinite(spanHz) && spanHz > 0 ? spanHz : 0;
    o.mode = mode;
    w->Plot(index > 3 ? 4 : static_cast<int>(index))->SetOverride(o);
    return 1;
}

}  // extern "C"

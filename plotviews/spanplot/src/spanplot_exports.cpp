// The window table of the scan plot: one slot per card. Any close of a
// window empties its slot, so no export reaches a window that is gone.
#include <bbdevice/bbdevice.h>
#include <plotviews/card_window_table.h>
#include <spanplot/radio_plot_wnd.h>
#include <spanplot/spanplot.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <algorithm>
#include <climits>

namespace spanplot {
namespace {

CCardWindowTable<CRadioPlotWnd> g_table;

CRadioPlotWnd* WindowOf(std::uint32_t card) {
    return g_table.Get(card);
}

}  // namespace

void ReleaseSlot(CRadioPlotWnd* w) {
    g_table.Release(w);
}

}  // namespace spanplot

using namespace spanplot;

extern "C" {

std::int32_t BB_CreateRadioPlotWnd(std::uint32_t card, const char* title, QMdiArea* parent) {
    if (!parent || !g_table.Free(card)) return 0;
    QString text = title && *title ? QString::fromUtf8(title)
                                   : QString::fromUtf8("【板卡%1】-- 频域扫描图").arg(card);
    if (text.trimmed().isEmpty()) text = QString::fromUtf8("频域扫描图");
    auto* wnd = new CRadioPlotWnd(card, text);
    QMdiSubWindow* sub = parent->addSubWindow(wnd);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(text);
    sub->show();
    wnd->RequestRedraw();
    g_table.Set(card, wnd);
    return 1;
}

QWidget* BB_GetRadioPlotWnd(std::uint32_t card) {
    return WindowOf(card);
}

std::int32_t BB_SetRadioPlotElapse(std::uint32_t card, std::uint32_t periodMs) {
    CRadioPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    return w->SetElapse(static_cast<int>(std::min<std::uint32_t>(periodMs, INT_MAX))) ? 1 : 0;
}

std::int32_t BB_EnableRadioPlotGradualCurve(std::uint32_t card) {
    CRadioPlotWnd* w = WindowOf(card);
    if (!w) return 0;
    w->EnableGradualCurve();
    return 1;
}

}  // extern "C"

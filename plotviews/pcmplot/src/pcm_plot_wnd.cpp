#include <pcmplot/pcm_plot_wnd.h>
#include <platform/notify.h>

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <algorithm>

namespace pcmplot {

CBcdPlotWnd::CBcdPlotWnd(std::uint32_t card, std::uint32_t kind, std::uint32_t value,
                         std::shared_ptr<PcmFrameStore> store, QWidget* parent)
    : CPlotViewWnd(parent),
      card_(card),
      kind_(kind),
      value_(value),
      store_(std::move(store)),
      snap_(std::make_unique<PcmSnapshot>()) {
    font_ = QFont(QStringLiteral("Monospace"));
    font_.setStyleHint(QFont::TypeWriter);
    font_.setPixelSize(13);
    snap_->version = 0;
    // Timing here is coarse by design: the store batches the data, the
    // window only looks for a newer copy.
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { Pull(); });
    setMinimumSize(60, 40);
}

CBcdPlotWnd::~CBcdPlotWnd() {
    timer_.stop();
    ReleaseSlot(this);
}

bool CBcdPlotWnd::SetElapse(int periodMs) {
    timer_.start(std::max(periodMs, 1));
    return timer_.isActive();
}

bool CBcdPlotWnd::Pull() {
    if (!store_->Snapshot(*snap_)) return false;
    Taken();
    update();
    return true;
}

void CBcdPlotWnd::closeEvent(QCloseEvent* e) {
    timer_.stop();
    ReleaseSlot(this);
    CPlotViewWnd::closeEvent(e);
    emit Closed();
}

void CBcdPlotWnd::contextMenuEvent(QContextMenuEvent* e) {
    std::unique_ptr<QMenu> menu(CreateMenu(this));
    if (!menu) {
        plat::MessageBox("创建弹出菜单失败！", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return;
    }
    menu->exec(e->globalPos());
}

QRect CBcdPlotWnd::Inset(const QRect& area, int left, int top, int right, int bottom) {
    const int w = std::max(area.width() - left - right, 0);
    const int h = std::max(area.height() - top - bottom, 0);
    return {area.left() + left, area.top() + top, w, h};
}

}  // namespace pcmplot

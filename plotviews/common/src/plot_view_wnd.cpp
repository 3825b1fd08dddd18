#include <plotviews/plot_view_wnd.h>

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

PlotRasterTarget PlotRasterTargetOf(QPainter& p) {
    PlotRasterTarget t;
    QPaintEngine* engine = p.isActive() ? p.paintEngine() : nullptr;
    if (!engine || engine->type() != QPaintEngine::Raster) return t;
    QPaintDevice* dev = engine->paintDevice();
    if (!dev || dev->devType() != QInternal::Image) return t;
    auto* img = static_cast<QImage*>(dev);
    const QImage::Format f = img->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
        f != QImage::Format_ARGB32_Premultiplied)
        return t;
    const QTransform m = p.deviceTransform();
    if (m.type() > QTransform::TxTranslate || m.dx() != std::floor(m.dx()) ||
        m.dy() != std::floor(m.dy()))
        return t;
    const QPoint origin(int(m.dx()), int(m.dy()));
    QRect clip = img->rect();
    const QRegion system = engine->systemClip();
    if (!system.isEmpty()) {
        if (system.rectCount() != 1) return t;
        clip &= system.boundingRect();
    }
    if (p.hasClipping()) {
        const QRegion own = p.clipRegion();
        if (own.rectCount() > 1) return t;
        clip &= own.boundingRect().translated(origin);
    }
    t.image = img;
    t.origin = origin;
    t.clip = clip;
    return t;
}

CPlotViewWnd::CPlotViewWnd(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPlotViewWnd::paintEvent(QPaintEvent*) {
    const QSize s = size();
    if (s.width() <= 0 || s.height() <= 0) return;
    QPainter wp(this);
    if (PlotRasterTargetOf(wp)) {
        image_ = QImage();
        Render(wp, rect());
    } else {
        if (image_.size() != s) image_ = QImage(s, QImage::Format_RGB32);
        {
            QPainter ip(&image_);
            Render(ip, image_.rect());
        }
        wp.drawImage(0, 0, image_);
    }
    ++renders_;
    Rendered();
}

void PaintPlotColumn(const PlotRasterTarget& t, int x, int y0, int y1, QRgb rgb) {
    if (!t) return;
    x += t.origin.x();
    if (x < t.clip.left() || x > t.clip.right()) return;
    const int from = std::max(std::min(y0, y1) + t.origin.y(), t.clip.top());
    const int to = std::min(std::max(y0, y1) + t.origin.y(), t.clip.bottom());
    const qsizetype stride = t.image->bytesPerLine();
    uchar* at = t.image->bits() + from * stride + x * 4;
    for (int y = from; y <= to; ++y, at += stride) *reinterpret_cast<QRgb*>(at) = rgb;
}

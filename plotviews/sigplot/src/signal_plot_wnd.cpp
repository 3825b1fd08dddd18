#include <sigplot/signal_plot_wnd.h>

#include <QCloseEvent>
#include <QFontMetrics>
#include <QMdiSubWindow>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace sigplot {

QColor ColorOfRef(std::uint32_t v) {
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

bool CCurvePainter::DrawColumnsIntoImage(QPainter& p, const QRect& plot, const float* values,
                                         const bool* valid, std::size_t n, double bottom,
                                         double top, const QColor& colour) {
    const PlotRasterTarget target = PlotRasterTargetOf(p);
    if (!target) return false;
    // Worked out in the painter's coordinates; the pixels are written at
    // the target's origin.
    const QRect clip = target.ToImage(plot).translated(-target.origin);
    if (clip.isEmpty()) return true;
    const QRgb rgb = colour.rgb();
    const double h = plot.height();
    auto yOf = [&](double v) {
        const double t = std::clamp((top - v) / (top - bottom), 0.0, 1.0);
        return plot.top() + static_cast<int>(t * (h - 1) + 0.5);
    };
    const std::size_t columns = static_cast<std::size_t>(plot.width());
    const qsizetype stride = target.image->bytesPerLine();
    uchar* bits = target.image->bits() + target.origin.y() * stride + target.origin.x() * 4;
    int prevY = -1;
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t from = c * n / columns, to = (c + 1) * n / columns;
        float lo = 0, hi = 0;
        bool any = false;
        for (std::size_t k = from; k < to; ++k) {
            if (valid && !valid[k]) continue;
            lo = any ? std::min(lo, values[k]) : values[k];
            hi = any ? std::max(hi, values[k]) : values[k];
            any = true;
        }
        if (!any) {
            prevY = -1;
            continue;
        }
        int y0 = yOf(hi), y1 = yOf(lo);
        // Joined to the column before.
        if (prevY >= 0) {
            y0 = std::min(y0, prevY);
            y1 = std::max(y1, prevY);
        }
        prevY = yOf(values[to - 1 < from ? from : to - 1]);
        const int x = plot.left() + static_cast<int>(c);
        if (x < clip.left() || x > clip.right()) continue;
        y0 = std::max(y0, clip.top());
        y1 = std::min(y1, clip.bottom());
        uchar* at = bits + y0 * stride + x * 4;
        for (int y = y0; y <= y1; ++y, at += stride) *reinterpret_cast<QRgb*>(at) = rgb;
    }
    return true;
}

void CCurvePainter::Draw(QPainter& p, const QRect& plot, const float* values, const bool* valid,
                         std::size_t n, double bottom, double top, const QColor& colour) {
    if (!values || n == 0 || plot.width() <= 0 || plot.height() <= 0 || !(top > bottom)) return;
    const double w = plot.width(), h = plot.height();
    const double x0 = plot.left(), yTop = plot.top();
    auto yOf = [&](double v) {
        const double t = std::clamp((top - v) / (top - bottom), 0.0, 1.0);
        return yTop + t * (h - 1);
    };
    const std::size_t columns = static_cast<std::size_t>(plot.width());
    if (n > columns && DrawColumnsIntoImage(p, plot, values, valid, n, bottom, top, colour)) return;
    const std::size_t need = n <= columns ? n : 2 * columns;
    if (points_.size() < need) points_.resize(need);
    // A cosmetic pen takes the raster engine's line path.
    p.setPen(QPen(colour, 0));
    std::size_t count = 0;
    auto flush = [&] {
        if (count > 1) p.drawPolyline(points_.data(), static_cast<int>(count));
        count = 0;
    };
    if (n <= columns) {
        for (std::size_t k = 0; k < n; ++k) {
            if (valid && !valid[k]) {
                flush();
                continue;
            }
            points_[count++] = QPointF(x0 + (k + 0.5) * w / n, yOf(values[k]));
        }
    } else {
        // Each pixel column: the lowest and highest value of its bins.
        for (std::size_t c = 0; c < columns; ++c) {
            const std::size_t from = c * n / columns, to = (c + 1) * n / columns;
            float lo = 0, hi = 0;
            bool any = false;
            for (std::size_t k = from; k < to; ++k) {
                if (valid && !valid[k]) continue;
                lo = any ? std::min(lo, values[k]) : values[k];
                hi = any ? std::max(hi, values[k]) : values[k];
                any = true;
            }
            if (!any) {
                flush();
                continue;
            }
            const double x = x0 + c + 0.5;
            points_[count++] = QPointF(x, yOf(hi));
            points_[count++] = QPointF(x, yOf(lo));
        }
    }
    flush();
}

const QImage& CGridOverlay::Get(const QSize& size, const QRect& plot, double lowHz, double highHz,
                                double bottom, double top) {
    if (image_.size() == size && plot_ == plot && low_ == lowHz && high_ == highHz &&
        bottom_ == bottom && top_ == top)
        return image_;
    image_ = QImage(size, QImage::Format_RGB32);
    plot_ = plot;
    low_ = lowHz;
    high_ = highHz;
    bottom_ = bottom;
    top_ = top;
    image_.fill(Qt::black);
    levelCount_ = frequencyCount_ = 0;
    if (plot.width() <= 0 || plot.height() <= 0) return image_;
    QPainter p(&image_);
    QFont f("Times New Roman");
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(11);
    p.setFont(f);
    const QColor grid(0, 96, 0);
    for (int i = 0; i <= 10; ++i) {
        const int x = plot.left() + i * (plot.width() - 1) / 10;
        p.setPen(i == 0 || i == 10 ? QColor(0, 160, 0) : grid);
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    for (int i = 0; i <= 8; ++i) {
        const int y = plot.top() + i * (plot.height() - 1) / 8;
        p.setPen(i == 0 || i == 8 ? QColor(0, 160, 0) : grid);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::gray);
        const double v = top - i * (top - bottom) / 8;
        QRect box;
        p.drawText(QRect(0, y - 7, plot.left() - 3, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', 0), &box);
        if (levelCount_ < static_cast<int>(levels_.size())) levels_[levelCount_++] = box;
    }
    p.setPen(Qt::gray);
    if (highHz > lowHz) {
        // Every second grid line has its frequency, or every fifth, or only
        // the two ends, so that neighbours never run into each other; the
        // outer ones are pulled inside the image rather than cut.
        const QFontMetrics m(f);
        int widest = 0;
        for (int i = 0; i <= 10; ++i)
            widest = std::max(widest, m.horizontalAdvance(QString::number(
                                          (lowHz + i * (highHz - lowHz) / 10) / 1e6, 'f', 2)));
        const double division = (plot.width() - 1) / 10.0;
        int step = 10;
        for (int s : {2, 5})
            if (s * division >= widest + 6) {
                step = s;
                break;
            }
        // The ends always have their label; one pulled inside that would run
        // into its neighbour takes that neighbour's place.
        std::array<QRect, 11> rects{};
        std::array<QString, 11> texts{};
        int count = 0;
        for (int i = 0; i <= 10; i += step) {
            const int x = plot.left() + i * (plot.width() - 1) / 10;
            QString text = QString::number((lowHz + i * (highHz - lowHz) / 10) / 1e6, 'f', 2);
            const int w = m.horizontalAdvance(text) + 2;
            QRect r(x - w / 2, plot.bottom() + 2, w, 14);
            if (r.right() > size.width() - 1) r.moveRight(size.width() - 1);
            if (r.left() < 0) r.moveLeft(0);
            while (count > 1 && r.left() <= rects[count - 1].right() + 3) --count;
            rects[count] = r;
            texts[count++] = std::move(text);
        }
        for (int k = 0; k < count; ++k) {
            QRect box;
            p.drawText(rects[k], Qt::AlignCenter, texts[k], &box);
            frequencies_[frequencyCount_++] = box;
        }
    }
    return image_;
}

CSignalPlotWnd::CSignalPlotWnd(std::uint32_t card, std::uint32_t unit, QString title,
                               QWidget* parent)
    : CPlotViewWnd(parent), card_(card), unit_(unit), title_(std::move(title)) {
    setWindowTitle(title_);
    refresh_.setProperty("timerId", kRefreshTimerId);
    redraw_.setProperty("timerId", kRedrawTimerId);
    redraw_.setSingleShot(true);
    redraw_.setInterval(0);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (Poll()) update();
    });
    connect(&redraw_, &QTimer::timeout, this, [this] { update(); });
}

bool CSignalPlotWnd::SetElapse(int periodMs) {
    refresh_.start(std::max(periodMs, 50));
    return refresh_.isActive();
}

void CSignalPlotWnd::StopTimers() {
    refresh_.stop();
    redraw_.stop();
}

void CSignalPlotWnd::RequestRedraw() {
    redraw_.start();
}

void CSignalPlotWnd::Rendered() {
    if (!HasBlock()) return;
    const std::uint32_t c = ShownCounter();
    const std::uint64_t h = ShownHash();
    if (paintedAny_ && c == lastPainted_ && h == lastPaintedHash_) return;
    paintedAny_ = true;
    lastPainted_ = c;
    lastPaintedHash_ = h;
    ++paintedBlocks_;
}

CMdiSignalPlotWnd::CMdiSignalPlotWnd(std::uint32_t card, const QString& title)
    : card_(card), client_(new CMdiClientWnd(this)) {
    setWindowTitle(title);
    static const char* const kTitles[4] = {"信号源频谱", "左旋频谱", "右旋频谱", "解调频谱"};
    static const std::uint32_t kUnits[4] = {2, 0, 1, 3};
    for (int i = 0; i < 4; ++i) {
        spectra_[static_cast<std::size_t>(i)] =
            new CSpectrumWnd(card, kUnits[i], QString::fromUtf8(kTitles[i]), nullptr);
    }
    vector_ = new CVectorWnd(card, QString::fromUtf8("解调矢量图"), nullptr);
    for (int i = 0; i < 5; ++i) {
        QMdiSubWindow* sub = client_->addSubWindow(Plot(i));
        sub->setWindowTitle(Plot(i)->Title());
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        sub->show();
    }
    setMinimumSize(80, 60);
}

CMdiSignalPlotWnd::~CMdiSignalPlotWnd() {
    StopTimers();
    ReleaseSlot(this);
}

void CMdiSignalPlotWnd::StopTimers() {
    for (int i = 0; i < 5; ++i)
        if (Plot(i)) Plot(i)->StopTimers();
}

void CMdiSignalPlotWnd::TilePlots() {
    // Four spectra side by side in a row, the vector plot to their right.
    const QRect r = client_->viewport()->rect();
    const int n = 5, w = std::max(r.width() / n, 1), h = std::max(r.height(), 1);
    const auto subs = client_->subWindowList(QMdiArea::CreationOrder);
    for (int i = 0; i < subs.size() && i < n; ++i) {
        if (subs[i]->isMaximized() || subs[i]->isMinimized()) subs[i]->showNormal();
        subs[i]->setGeometry(i * w, 0, i == n - 1 ? std::max(r.width() - i * w, 1) : w, h);
    }
}

void CMdiSignalPlotWnd::closeEvent(QCloseEvent* e) {
    StopTimers();
    ReleaseSlot(this);
    QWidget::closeEvent(e);
    emit Closed();
}

void CMdiSignalPlotWnd::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    client_->setGeometry(rect());
    TilePlots();
}

}  // namespace sigplot

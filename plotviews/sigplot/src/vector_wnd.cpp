// The demodulator's symbol points: joined in order (显示矢量图), as points
// (显示星座图) or as a density image (热点成像). The axes run from -200 to
// 200 with the block's largest component at 180.
#include <bbdevice/bbdevice.h>
#include <sigplot/signal_plot_wnd.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace sigplot {

CVectorWnd::CVectorWnd(std::uint32_t card, QString title, QWidget* parent)
    : CSignalPlotWnd(card, 3, std::move(title), parent),
      words_(new std::uint32_t[BB_VECTOR_PLOT_WORDS]()),
      frame_(std::make_unique<VectorFrame>()),
      points_(kMaxPoints),
      density_(new std::uint32_t[kDensitySide * kDensitySide]()),
      densityImage_(kDensitySide, kDensitySide, QImage::Format_RGB32) {
    RequestRedraw();
}

bool CVectorWnd::TakeFetched() {
    const std::uint64_t hash = BlockHash(words_.get(), BB_VECTOR_PLOT_WORDS);
    if (hasBlock_ && words_[0] == frame_->counter && hash == hash_) return false;
    hash_ = hash;
    DecodeVector(words_.get(), *frame_);
    hasBlock_ = true;
    return true;
}

bool CVectorWnd::Poll() {
    if (!BB_GetVectorPlotData(card_, 3, words_.get())) return false;
    return TakeFetched();
}

bool CVectorWnd::Feed(const std::uint32_t* words) {
    if (!words) return false;
    std::copy(words, words + BB_VECTOR_PLOT_WORDS, words_.get());
    return TakeFetched();
}

QString CVectorWnd::ModulationText() const {
    const std::uint32_t mode =
        override_.mode >= 0 ? static_cast<std::uint32_t>(override_.mode) : frame_->mode;
    return QString::fromLatin1(hasBlock_ || override_.mode >= 0 ? ModulationName(mode) : "");
}

void CVectorWnd::Render(QPainter& p, const QRect& area) {
    p.fillRect(area, Qt::black);
    const int side = std::min(area.width() - 40, area.height() - 30);
    QFont f("Times New Roman");
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(4, 2, std::max(area.width() - 8, 0), 14), Qt::AlignLeft, ModulationText());
    if (side <= 0) return;
    const QRect plot((area.width() - side) / 2 + 10, (area.height() - side) / 2 + 8, side, side);
    const QColor grid(0, 96, 0);
    p.setPen(grid);
    p.drawRect(plot.adjusted(0, 0, -1, -1));
    p.drawLine(plot.center().x(), plot.top(), plot.center().x(), plot.bottom());
    p.drawLine(plot.left(), plot.center().y(), plot.right(), plot.center().y());
    p.setPen(Qt::gray);
    p.drawText(QRect(plot.right() - 30, plot.center().y() + 2, 30, 12), Qt::AlignRight, "200");
    p.drawText(QRect(plot.left() - 34, plot.center().y() - 6, 32, 12), Qt::AlignRight, "-200");
    p.drawText(QRect(plot.center().x() + 3, plot.top(), 30, 12), Qt::AlignLeft, "200");
    p.drawText(QRect(plot.center().x() + 3, plot.bottom() - 12, 30, 12), Qt::AlignLeft, "-200");
    for (int v : {-100, 100})
        p.drawText(QRect(plot.center().x() + v * side / 400 - 15, plot.center().y() + 2, 30, 12),
                   Qt::AlignCenter, QString::asprintf("%3.0f", double(v)));
    if (!hasBlock_ || frame_->points == 0) return;

    int peak = 1;
    for (std::size_t k = 0; k < frame_->points; ++k)
        peak = std::max({peak, std::abs(int(frame_->i[k])), std::abs(int(frame_->q[k]))});
    const double scale = 180.0 / peak;  // points to axis units
    const double px = side / 400.0;     // axis units to pixels
    const double cx = plot.left() + side / 2.0, cy = plot.top() + side / 2.0;
    const std::size_t n = frame_->points;
    if (mode_ == VectorMode::Density) {
        std::fill(density_.get(), density_.get() + kDensitySide * kDensitySide, 0u);
        std::uint32_t most = 1;
        for (std::size_t k = 0; k < n; ++k) {
            const int x = std::clamp(int((frame_->i[k] * scale + 200) * kDensitySide / 400), 0,
                                     kDensitySide - 1);
            const int y = std::clamp(int((200 - frame_->q[k] * scale) * kDensitySide / 400), 0,
                                     kDensitySide - 1);
            most = std::max(most, ++density_[y * kDensitySide + x]);
        }
        for (int y = 0; y < kDensitySide; ++y) {
            auto* line = reinterpret_cast<QRgb*>(densityImage_.scanLine(y));
            for (int x = 0; x < kDensitySide; ++x) {
                const std::uint32_t c = density_[y * kDensitySide + x];
                const int t = c ? 64 + int(191.0 * c / most) : 0;
                line[x] = c ? qRgb(t, t > 160 ? (t - 160) * 2 : 0, 0) : qRgb(0, 0, 0);
            }
        }
        p.drawImage(plot, densityImage_);
        return;
    }
    for (std::size_t k = 0; k < n; ++k)
        points_[k] = QPointF(cx + frame_->i[k] * scale * px, cy - frame_->q[k] * scale * px);
    const PlotRasterTarget target =
        mode_ == VectorMode::Vector ? PlotRasterTargetOf(p) : PlotRasterTarget{};
    if (target) {
        // Thousands of long segments: marked in a bit mask, then put into
        // the image behind the painter in one pass.
        const int ox = target.origin.x(), oy = target.origin.y();
        mask_.Reset(target.ToImage(plot));
        for (std::size_t k = 1; k < n; ++k)
            mask_.Line(int(points_[k - 1].x()) + ox, int(points_[k - 1].y()) + oy,
                       int(points_[k].x()) + ox, int(points_[k].y()) + oy);
        mask_.Paint(*target.image, qRgb(255, 255, 0));
        return;
    }
    p.setPen(QPen(QColor(255, 255, 0), 0));
    if (mode_ == VectorMode::Vector)
        p.drawPolyline(points_.data(), static_cast<int>(n));
    else
        p.drawPoints(points_.data(), static_cast<int>(n));
}

void CVectorWnd::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    const std::pair<const char*, VectorMode> modes[] = {{"显示矢量图", VectorMode::Vector},
                                                        {"显示星座图", VectorMode::Constellation},
                                                        {"热点成像", VectorMode::Density}};
    for (const auto& [text, m] : modes) {
        QAction* a = menu.addAction(QString::fromUtf8(text), this, [this, m] { SetMode(m); });
        a->setCheckable(true);
        a->setChecked(mode_ == m);
    }
    menu.exec(e->globalPos());
}

}  // namespace sigplot

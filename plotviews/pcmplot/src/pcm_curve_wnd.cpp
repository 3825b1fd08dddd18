// The code curve: each chosen word position over the buffered minor frames,
// reduced to the lowest and highest code of each pixel column.
#include <pcmplot/pcm_format.h>
#include <pcmplot/pcm_plot_wnd.h>

#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cstdio>

namespace pcmplot {
namespace {

constexpr int kLeft = 80, kTop = 10, kRight = 12, kBottom = 24;
const QColor kColours[CBcdCurveWnd::kMaxCurves] = {QColor(220, 0, 0), QColor(0, 140, 0),
                                                   QColor(0, 0, 220), QColor(200, 120, 0)};

}  // namespace

CBcdCurveWnd::CBcdCurveWnd(std::uint32_t card, std::uint32_t value,
                           std::shared_ptr<PcmFrameStore> store, QWidget* parent)
    : CBcdPlotWnd(card, kCurve, value, std::move(store), parent), positions_{value} {}

void CBcdCurveWnd::SetPositions(std::vector<std::uint32_t> p) {
    if (p.size() > kMaxCurves) p.resize(kMaxCurves);
    if (p.empty()) p.push_back(0);
    positions_ = std::move(p);
    update();
}

QRect CBcdCurveWnd::PlotRect() const {
    return Inset(rect(), kLeft, kTop, kRight, kBottom);
}

QMenu* CBcdCurveWnd::CreateMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const std::uint32_t words = std::max<std::uint32_t>(snap_->geometry.wordsPerMinor, 1);
    menu->addAction(QString::fromUtf8("前一字"), this, [this, words] {
        auto p = positions_;
        for (auto& v : p) v = (v + words - 1) % words;
        SetPositions(std::move(p));
    });
    menu->addAction(QString::fromUtf8("后一字"), this, [this, words] {
        auto p = positions_;
        for (auto& v : p) v = (v + 1) % words;
        SetPositions(std::move(p));
    });
    QAction* add = menu->addAction(QString::fromUtf8("增加曲线"), this, [this, words] {
        auto p = positions_;
        p.push_back((p.back() + 1) % words);
        SetPositions(std::move(p));
    });
    add->setEnabled(positions_.size() < kMaxCurves);
    QAction* remove = menu->addAction(QString::fromUtf8("减少曲线"), this, [this] {
        auto p = positions_;
        p.pop_back();
        SetPositions(std::move(p));
    });
    remove->setEnabled(positions_.size() > 1);
    return menu;
}

void CBcdCurveWnd::Render(QPainter& p, const QRect& area) {
    p.fillRect(area, QColor(0, 0, 0));
    const QRect plot = Inset(area, kLeft, kTop, kRight, kBottom);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
    const PcmGeometry& g = snap_->geometry;
    const std::uint32_t n = snap_->Minors();
    if (plot.width() <= 0 || plot.height() <= 0 || n == 0) return;

    const double top = g.wordBits >= 32 ? 4294967295.0 : double((1ull << g.wordBits) - 1);
    p.setFont(font_);
    p.setPen(QColor(200, 200, 200));
    char text[32];
    FormatCode(static_cast<std::uint32_t>(top), g.wordBits, text);
    p.drawText(QRect(area.left(), plot.top() - 6, kLeft - 6, 14), Qt::AlignRight, text);
    FormatCode(0, g.wordBits, text);
    p.drawText(QRect(area.left(), plot.bottom() - 8, kLeft - 6, 14), Qt::AlignRight, text);
    std::snprintf(text, sizeof text, "%05d", 0);
    p.drawText(plot.left(), plot.bottom() + 16, QString::fromLatin1(text));
    std::snprintf(text, sizeof text, "%05d", static_cast<int>(std::min<std::uint32_t>(n, 99999)));
    p.drawText(QRect(plot.right() - 80, plot.bottom() + 4, 80, 16), Qt::AlignRight,
               QString::fromLatin1(text));

    const std::size_t cols = static_cast<std::size_t>(plot.width());
    low_.resize(cols);
    high_.resize(cols);
    const double scale = (plot.height() - 1) / (top > 0 ? top : 1.0);
    for (std::size_t c = 0; c < positions_.size(); ++c) {
        const std::uint32_t pos = positions_[c];
        if (pos >= g.wordsPerMinor) continue;
        const std::size_t at = g.tagBytes + std::size_t{pos} * g.bytesPerWord;
        auto yOf = [&](std::uint32_t v) {
            return plot.bottom() - static_cast<int>(v * scale + 0.5);
        };
        if (n <= cols) {
            // Fewer frames than columns: the points joined by lines.
            points_.resize(n);
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint32_t v = ReadWord(snap_->Minor(i) + at, g.bytesPerWord, g.wordBits);
                const int x = n == 1 ? 0 : static_cast<int>(std::size_t{i} * (cols - 1) / (n - 1));
                points_[i] = QPoint(plot.left() + x, yOf(v));
            }
            p.setPen(kColours[c]);
            p.drawPolyline(points_.data(), static_cast<int>(n));
        } else {
            // Column x holds the frames i with floor(i * cols / n) == x, so
            // it starts at ceil(x * n / cols): one division per column.
            std::uint32_t i = 0;
            for (std::size_t x = 0; x < cols; ++x) {
                const auto end =
                    static_cast<std::uint32_t>(((x + 1) * std::uint64_t{n} + cols - 1) / cols);
                std::uint32_t lo = UINT32_MAX, hi = 0;
                for (; i < end; ++i) {
                    const std::uint32_t v =
                        ReadWord(snap_->Minor(i) + at, g.bytesPerWord, g.wordBits);
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
                low_[x] = lo;
                high_[x] = hi;
            }
            // Each column spans its lowest and highest code, joined to the
            // previous column so steps stay visible.
            const PlotRasterTarget target = PlotRasterTargetOf(p);
            const QRgb rgb = kColours[c].rgb();
            int lastY = -1;
            for (std::size_t x = 0; x < cols; ++x) {
                const int y0 = yOf(low_[x]), y1 = yOf(high_[x]);
                const int from = lastY < 0 ? y1 : std::min(y1, lastY);
                const int to = lastY < 0 ? y0 : std::max(y0, lastY);
                const int column = plot.left() + static_cast<int>(x);
                if (target)
                    PaintPlotColumn(target, column, from, to, rgb);
                else
                    p.fillRect(column, from, 1, to - from + 1, kColours[c]);
                lastY = (y0 + y1) / 2;
            }
        }
        p.setPen(kColours[c]);
        std::snprintf(text, sizeof text, "%3d", static_cast<int>(pos + 1));
        p.drawText(plot.left() + 6 + static_cast<int>(c) * 40, plot.top() + 14,
                   QString::fromLatin1(text));
    }
}

}  // namespace pcmplot

#include <gdikit/gdikit.h>
#include <rawcurve/curve_plot.h>

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace rawcurve {

namespace {
// Room for the bump edge around the curve area.
constexpr int kMargin = 4;
}  // namespace

void CurvePlotter::Resize(QSize size) {
    size = size.expandedTo(QSize(2 * kMargin + 2, 2 * kMargin + 2));
    if (size == background_.size()) return;
    background_ = QImage(size, QImage::Format_RGB32);
    image_ = QImage(size, QImage::Format_RGB32);
    background_.fill(QColor(212, 208, 200));
    area_ = QRect(kMargin, kMargin, size.width() - 2 * kMargin, size.height() - 2 * kMargin);
    const std::uint32_t colors[2] = {0x00000000, 0x00008000};
    GraghDrawColorSet(colors);
    QPainter p(&background_);
    const int l = area_.left(), t = area_.top(), r = area_.right() + 1, b = area_.bottom() + 1;
    GraghDrawCurveBKColor(&p, l + 2, t + 2, r - 2, b - 2);
    GraghDrawCurveEdge(&p, l + 2, t + 2, r - 2, b - 2);
    GraghDrawCurveGrid(&p, kGridRows, l + 2, t + 2, r - 2, b - 6);
    area_.adjust(2, 2, -2, -2);
}

void CurvePlotter::Span(int x, int y0, int y1, QRgb color) {
    if (y0 > y1) std::swap(y0, y1);
    QRgb* px = pixels_ + y0 * stride_ + x;
    for (int y = y0; y <= y1; ++y, px += stride_) *px = color;
}

const QImage& CurvePlotter::Render(const PlotSeries* series, int count) {
    if (image_.isNull()) return image_;
    pixels_ = reinterpret_cast<QRgb*>(image_.bits());
    stride_ = image_.bytesPerLine() / qsizetype(sizeof(QRgb));
    std::memcpy(pixels_, background_.constBits(), std::size_t(background_.sizeInBytes()));
    const int width = area_.width(), height = area_.height();
    if (width <= 0 || height <= 0) return image_;
    const int left = area_.left(), bottom = area_.bottom();
    for (int s = 0; s < count; ++s) {
        const PlotSeries& c = series[s];
        if (!c.values || c.count == 0) continue;
        const double scale = c.fullScale > 0 ? double(height - 1) / c.fullScale : 0.0;
        auto yOf = [&](std::uint32_t v) {
            const int dy = int(std::min(double(v), c.fullScale) * scale);
            return bottom - std::clamp(dy, 0, height - 1);
        };
        const std::size_t n = c.count;
        if (n > std::size_t(width)) {
            // Several points per column: the lowest and highest value of the
            // column, joined to the last point of the column before.
            int lastY = yOf(c.values[0]);
            std::size_t i = 0;
            for (int x = 0; x < width; ++x) {
                const std::size_t end = std::size_t(x + 1) * n / std::size_t(width);
                std::uint32_t lo = c.values[i], hi = lo;
                for (std::size_t j = i + 1; j < end; ++j) {
                    lo = std::min(lo, c.values[j]);
                    hi = std::max(hi, c.values[j]);
                }
                // Higher values lie higher up, at smaller rows.
                const int top = std::min(yOf(hi), lastY), low = std::max(yOf(lo), lastY);
                Span(left + x, top, low, c.color);
                lastY = yOf(c.values[end - 1]);
                i = end;
            }
            continue;
        }
        // Fewer points than columns: spread over the width, each point joined
        // to the next through the columns between them.
        int lastX = 0, lastY = yOf(c.values[0]);
        Span(left, lastY, lastY, c.color);
        for (std::size_t i = 1; i < n; ++i) {
            const int x = int(i * std::size_t(width - 1) / (n - 1));
            const int y = yOf(c.values[i]);
            int from = lastY;
            for (int g = lastX + 1; g <= x; ++g) {
                const int yi = lastY + (y - lastY) * (g - lastX) / (x - lastX);
                Span(left + g, from, yi, c.color);
                from = yi;
            }
            lastX = x;
            lastY = y;
        }
    }
    return image_;
}

}  // namespace rawcurve

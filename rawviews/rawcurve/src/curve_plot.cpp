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
    const qsizetype stride = image_.bytesPerLine() / qsizetype(sizeof(QRgb));
    QRgb* px = reinterpret_cast<QRgb*>(image_.bits()) + y0 * stride + x;
    for (int y = y0; y <= y1; ++y, px += stride) *px = color;
}

const QImage& CurvePlotter::Render(const PlotSeries* series, int count) {
    if (image_.isNull()) return image_;
    std::memcpy(image_.bits(), background_.constBits(), std::size_t(background_.sizeInBytes()));
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
        const std::uint64_t n = c.count;
        int column = -1, lastY = 0, low = 0, high = 0;
        for (std::uint64_t i = 0; i < n; ++i) {
            // Fewer points than columns spread over the whole width.
            const int x = n <= std::uint64_t(width)
                              ? int(n == 1 ? 0 : i * std::uint64_t(width - 1) / (n - 1))
                              : int(i * std::uint64_t(width) / n);
            const int y = yOf(c.values[i]);
            if (x != column) {
                if (column >= 0) {
                    Span(left + column, low, high, c.color);
                    // Columns without a point of their own join the two ends.
                    int from = lastY;
                    for (int g = column + 1; g < x; ++g) {
                        const int yi = lastY + (y - lastY) * (g - column) / (x - column);
                        Span(left + g, from, yi, c.color);
                        from = yi;
                    }
                    low = high = from;
                } else {
                    low = high = y;
                }
                column = x;
            }
            low = std::min(low, y);
            high = std::max(high, y);
            lastY = y;
        }
        if (column >= 0) Span(left + column, low, high, c.color);
    }
    return image_;
}

}  // namespace rawcurve

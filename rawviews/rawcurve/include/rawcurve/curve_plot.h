// The plot of the curve window as an image: background, edge and grid drawn
// once per size through gdikit and kept, then every curve written as one
// vertical span per pixel column (the lowest to the highest point of that
// column, joined to its neighbours), so the cost follows the width rather
// than the number of points.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <cstdint>

namespace rawcurve {

struct PlotSeries {
    const std::uint32_t* values = nullptr;
    std::size_t count = 0;
    double fullScale = 255.0;  // the value drawn at the top
    QRgb color = 0xFF000000;
};

class CurvePlotter {
public:
    // Horizontal grid lines of the plot.
    static constexpr int kGridRows = 8;

    // Rebuilds the cached background when the size changed.
    void Resize(QSize size);
    QSize Size() const { return image_.size(); }

    // The background with the curves; the image stays valid until the next call.
    const QImage& Render(const PlotSeries* series, int count);

    // The curve area inside the edge, in image coordinates.
    QRect Area() const { return area_; }

private:
    void Span(int x, int y0, int y1, QRgb color);

    QImage background_;
    QImage image_;
    QRect area_;
    QRgb* pixels_ = nullptr;  // image_'s pixels during Render
    qsizetype stride_ = 0;
};

}  // namespace rawcurve

// One-pixel lines written straight into a 32-bit image, far cheaper than the
// painter for thousands of long segments. Both give the pixels of stepwise
// line drawing: along the longer axis (n steps) the shorter offset of pixel k
// is floor((2 k m + n) / 2 n).
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

namespace sigplot {

// A line clipped to `clip`.
void DrawImageLine(QImage& img, const QRect& clip, int x0, int y0, int x1, int y1, QRgb rgb);

// Many lines of one colour: marked in a bit per pixel of the area first,
// which stays in the cache where the image rows would not, then put into
// the image in one pass. The same pixels as DrawImageLine of each line.
class CLineMask {
public:
    // Empties the mask and sets its area (image pixels); the storage grows
    // only when a larger area comes.
    void Reset(const QRect& area);
    void Line(int x0, int y0, int x1, int y1);
    // Sets every marked pixel of `img` (which must cover the area) to `rgb`.
    void Paint(QImage& img, QRgb rgb) const;

private:
    QRect area_;
    qsizetype pitch_ = 0;  // bits per row, a whole number of words
    std::vector<std::uint64_t> bits_;
};

}  // namespace sigplot

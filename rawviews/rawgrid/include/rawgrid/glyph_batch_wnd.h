// Draws many short ASCII texts in one call: the glyphs of every cell of a page
// are collected with their positions and handed to the painter as one glyph
// run, which skips the text layout that per-cell drawText would repeat.
#pragma once

#include <QPointF>
#include <QRawFont>
#include <cstddef>
#include <cstdint>
#include <vector>

class QFont;
class QPainter;

namespace rawgrid {

class GlyphBatch {
public:
    // False when the font lacks a printable ASCII glyph; callers then draw text.
    bool SetFont(const QFont& font);
    bool Usable() const { return usable_; }
    double Advance() const { return advance_; }

    // `text` starts at x on the baseline y.
    void Add(double x, double y, const char* text, std::size_t n);
    // Draws what was added with the painter's pen and starts a new batch.
    void Flush(QPainter& p);

private:
    QRawFont raw_;
    bool usable_ = false;
    double advance_ = 0;
    std::uint32_t glyphs_[128] = {};
    std::vector<std::uint32_t> indexes_;  // reused between paints
    std::vector<QPointF> positions_;
};

}  // namespace rawgrid

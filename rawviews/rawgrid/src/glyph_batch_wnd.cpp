#include <rawgrid/glyph_batch_wnd.h>

#include <QFont>
#include <QGlyphRun>
#include <QPainter>
#include <QString>

namespace rawgrid {

bool GlyphBatch::SetFont(const QFont& font) {
    raw_ = QRawFont::fromFont(font);
    usable_ = false;
    if (!raw_.isValid()) return false;
    QString ascii;
    for (char c = 32; c < 127; ++c) ascii.append(QLatin1Char(c));
    const QList<quint32> ids = raw_.glyphIndexesForString(ascii);
    if (ids.size() != ascii.size()) return false;
    for (int i = 0; i < ids.size(); ++i) {
        if (ids[i] == 0 && ascii[i] != QLatin1Char(' ')) return false;
        glyphs_[32 + i] = ids[i];
    }
    const QList<QPointF> adv = raw_.advancesForGlyphIndexes(QList<quint32>{glyphs_[int('0')]});
    advance_ = adv.isEmpty() ? 0 : adv[0].x();
    usable_ = advance_ > 0;
    return usable_;
}

void GlyphBatch::Add(double x, double y, const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c >= 128 || c < 32) continue;
        indexes_.push_back(glyphs_[c]);
        positions_.emplace_back(x + double(i) * advance_, y);
    }
}

void GlyphBatch::Flush(QPainter& p) {
    if (!indexes_.empty()) {
        QGlyphRun run;
        run.setRawFont(raw_);
        run.setRawData(indexes_.data(), positions_.data(), int(indexes_.size()));
        p.drawGlyphRun(QPointF(0, 0), run);
    }
    indexes_.clear();
    positions_.clear();
}

}  // namespace rawgrid

// The code table: cells are formatted when drawn, and each row goes to the
// painter as one line of a fixed-pitch font, which keeps a full page cheap.
#include <pcmplot/pcm_format.h>
#include <pcmplot/pcm_plot_wnd.h>

#include <QFontMetrics>
#include <QGlyphRun>
#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cstdio>

namespace pcmplot {
namespace {

const char kTagHeading[] = "子  帧  配  时";
constexpr int kTagColumnChars = 22;
constexpr int kMargin = 4;

}  // namespace

CBcdTableWnd::CBcdTableWnd(std::uint32_t card, std::uint32_t value,
                           std::shared_ptr<PcmFrameStore> store, QWidget* parent)
    : CBcdPlotWnd(card, kTable, value, std::move(store), parent) {
    const QFontMetrics fm(font_);
    charW_ = std::max(fm.horizontalAdvance(QLatin1Char('0')), 1);
    lineH_ = std::max(fm.height() + 2, 1);
    ascent_ = fm.ascent() + 1;
    raw_ = QRawFont::fromFont(font_);
    const QString chars = QStringLiteral("0123456789ABCDEF-:.");
    const QList<quint32> idx = raw_.glyphIndexesForString(chars);
    for (qsizetype i = 0; i < chars.size() && i < idx.size(); ++i)
        glyphOf_[static_cast<unsigned char>(chars[i].toLatin1())] = idx[i];
}

void CBcdTableWnd::AddGlyphs(const char* text, int x, int y) {
    for (; *text; ++text, x += charW_) {
        const quint32 g = glyphOf_[static_cast<unsigned char>(*text) & 0x7F];
        if (g == 0) continue;
        glyphs_.push_back(g);
        positions_.push_back(QPointF(x, y));
    }
}

std::uint32_t CBcdTableWnd::Rows() const {
    return snap_->frames == 0 ? 0 : snap_->geometry.minorsPerMajor;
}

QStringList CBcdTableWnd::RowTexts(std::uint32_t row) const {
    QStringList out;
    if (row >= Rows()) return out;
    const PcmGeometry& g = snap_->geometry;
    const std::uint8_t* minor = snap_->Major(snap_->frames - 1) + std::size_t{row} * g.minorBytes;
    char text[kTagTextBytes];
    if (g.tagBytes == 0) {
        out << QString();
    } else {
        if (g.hostTags)
            FormatHostTag(minor, text);
        else
            FormatCardTag(minor, text);
        out << QString::fromLatin1(text);
    }
    const std::uint8_t* words = minor + g.tagBytes;
    for (std::uint32_t w = 0; w < g.wordsPerMinor; ++w) {
        FormatCode(ReadWord(words + std::size_t{w} * g.bytesPerWord, g.bytesPerWord, g.wordBits),
                   g.wordBits, text);
        out << QString::fromLatin1(text);
    }
    return out;
}

void CBcdTableWnd::SetFirstWord(std::uint32_t w) {
    const std::uint32_t words = snap_->geometry.wordsPerMinor;
    firstWord_ = words == 0 ? 0 : std::min(w, words - 1);
    update();
}

std::uint32_t CBcdTableWnd::PageColumns() const {
    const int cell = CodeDigits(snap_->geometry.wordBits == 0 ? 8 : snap_->geometry.wordBits) + 1;
    return static_cast<std::uint32_t>(
        std::max((width() - 2 * kMargin) / charW_ - kTagColumnChars, cell) / cell);
}

QMenu* CBcdTableWnd::CreateMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->addAction(QString::fromUtf8("向左移动一页"), this, [this] {
        const std::uint32_t page = PageColumns();
        SetFirstWord(firstWord_ > page ? firstWord_ - page : 0);
    });
    menu->addAction(QString::fromUtf8("向右移动一页"), this,
                    [this] { SetFirstWord(firstWord_ + PageColumns()); });
    menu->addAction(QString::fromUtf8("回到第一字"), this, [this] { SetFirstWord(0); });
    return menu;
}

void CBcdTableWnd::Render(QPainter& p, const QRect& area) {
    p.fillRect(area, QColor(255, 255, 255));
    p.setFont(font_);
    const PcmGeometry& g = snap_->geometry;
    const int digits = CodeDigits(g.wordBits == 0 ? 8 : g.wordBits);
    const int cell = digits + 1;
    const int columns = std::max((area.width() - 2 * kMargin) / charW_ - kTagColumnChars, 0) / cell;
    const std::uint32_t first = std::min(firstWord_, g.wordsPerMinor);
    const std::uint32_t last =
        std::min<std::uint32_t>(g.wordsPerMinor, first + static_cast<std::uint32_t>(columns));

    // Heading: the tag column and the word positions.
    p.fillRect(QRect(area.left(), area.top(), area.width(), lineH_), QColor(220, 228, 240));
    p.setPen(QColor(0, 0, 96));
    p.drawText(area.left() + kMargin, area.top() + ascent_, QString::fromUtf8(kTagHeading));
    // Word positions right-aligned over their cells; with narrow cells only
    // every few columns get a heading.
    const int wordsX = area.left() + kMargin + kTagColumnChars * charW_;
    const std::uint32_t step = static_cast<std::uint32_t>((4 + cell - 1) / cell);
    char text[16];
    for (std::uint32_t w = first; w < last; w += step) {
        const int n = std::snprintf(text, sizeof text, "%3d", static_cast<int>(w + 1));
        const int right = wordsX + static_cast<int>(w - first + 1) * cell * charW_;
        p.drawText(right - n * charW_, area.top() + ascent_, QString::fromLatin1(text, n));
    }
    // The cells go to the painter as one run of glyphs at fixed places:
    // no text layout per cell, which keeps a full page cheap.
    p.setPen(QColor(0, 0, 0));
    glyphs_.clear();
    positions_.clear();
    const std::uint32_t rows = Rows();
    const int maxRows = std::max((area.height() - lineH_) / lineH_, 0);
    const std::uint8_t* major = rows ? snap_->Major(snap_->frames - 1) : nullptr;
    char tag[kTagTextBytes];
    for (std::uint32_t r = 0; r < rows && static_cast<int>(r) < maxRows; ++r) {
        const int y = area.top() + lineH_ * (static_cast<int>(r) + 1);
        if (r % 2) p.fillRect(QRect(area.left(), y, area.width(), lineH_), QColor(244, 246, 250));
        const std::uint8_t* minor = major + std::size_t{r} * g.minorBytes;
        if (g.tagBytes != 0) {
            if (g.hostTags)
                FormatHostTag(minor, tag);
            else
                FormatCardTag(minor, tag);
            AddGlyphs(tag, area.left() + kMargin, y + ascent_);
        }
        const std::uint8_t* words = minor + g.tagBytes;
        int x = wordsX + charW_;
        for (std::uint32_t w = first; w < last; ++w, x += cell * charW_) {
            FormatCode(
                ReadWord(words + std::size_t{w} * g.bytesPerWord, g.bytesPerWord, g.wordBits),
                g.wordBits, text);
            AddGlyphs(text, x, y + ascent_);
        }
    }
    if (glyphs_.isEmpty()) return;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs_);
    run.setPositions(positions_);
    p.drawGlyphRun(QPointF(0, 0), run);
}

}  // namespace pcmplot

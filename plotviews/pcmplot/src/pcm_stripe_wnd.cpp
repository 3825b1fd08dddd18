// The histogram: one word position's codes over the buffered minor frames,
// in at most 256 bins over the word's code range.
#include <pcmplot/pcm_format.h>
#include <pcmplot/pcm_plot_wnd.h>

#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cstdio>

namespace pcmplot {
namespace {

constexpr int kLeft = 50, kTop = 24, kRight = 12, kBottom = 24;

// Bits dropped from a code so that its bin index fits kMaxBins.
std::uint32_t BinShift(std::uint32_t wordBits) {
    return wordBits > 8 ? wordBits - 8 : 0;
}

}  // namespace

CBcdStripeWnd::CBcdStripeWnd(std::uint32_t card, std::uint32_t value,
                             std::shared_ptr<PcmFrameStore> store, QWidget* parent)
    : CBcdPlotWnd(card, kStripe, value, std::move(store), parent), position_(value) {
    counts_.reserve(kMaxBins);
}

void CBcdStripeWnd::SetPosition(std::uint32_t p) {
    position_ = p;
    Count();
    update();
}

void CBcdStripeWnd::Count() {
    const PcmGeometry& g = snap_->geometry;
    samples_ = 0;
    mean_ = 0;
    if (g.wordBits == 0) {
        counts_.clear();
        return;
    }
    const std::uint32_t shift = BinShift(g.wordBits);
    counts_.assign(std::size_t{1} << (g.wordBits - shift), 0);
    if (position_ >= g.wordsPerMinor) return;
    const std::size_t at = g.tagBytes + std::size_t{position_} * g.bytesPerWord;
    const std::uint32_t n = snap_->Minors();
    double sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t v = ReadWord(snap_->Minor(i) + at, g.bytesPerWord, g.wordBits);
        ++counts_[v >> shift];
        sum += v;
    }
    samples_ = n;
    mean_ = n ? sum / n : 0;
}

QMenu* CBcdStripeWnd::CreateMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const std::uint32_t words = std::max<std::uint32_t>(snap_->geometry.wordsPerMinor, 1);
    menu->addAction(QString::fromUtf8("前一字"), this,
                    [this, words] { SetPosition((position_ % words + words - 1) % words); });
    menu->addAction(QString::fromUtf8("后一字"), this,
                    [this, words] { SetPosition((position_ + 1) % words); });
    return menu;
}

void CBcdStripeWnd::Render(QPainter& p, const QRect& area) {
    p.fillRect(area, QColor(0, 0, 0));
    const QRect plot = Inset(area, kLeft, kTop, kRight, kBottom);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(plot.adjusted(-1, -1, 0, 0));
    p.setFont(font_);
    p.setPen(QColor(200, 200, 200));
    char text[48];
    std::snprintf(text, sizeof text, "%3d", static_cast<int>(position_ + 1));
    p.drawText(area.left() + 6, area.top() + 16, QString::fromLatin1(text));
    if (samples_ == 0 || counts_.empty() || plot.width() <= 0 || plot.height() <= 0) return;
    std::snprintf(text, sizeof text, "%.2f", mean_);
    p.drawText(area.left() + 60, area.top() + 16, QString::fromLatin1(text));

    const std::uint32_t peak = *std::max_element(counts_.begin(), counts_.end());
    const int peakShare = static_cast<int>(std::uint64_t{peak} * 100 / samples_);
    std::snprintf(text, sizeof text, "%d%%", peakShare);
    p.drawText(QRect(area.left(), plot.top() - 6, kLeft - 6, 14), Qt::AlignRight,
               QString::fromLatin1(text));
    std::snprintf(text, sizeof text, "%d%%", 0);
    p.drawText(QRect(area.left(), plot.bottom() - 8, kLeft - 6, 14), Qt::AlignRight,
               QString::fromLatin1(text));

    const std::size_t bins = counts_.size();
    const PcmGeometry& g = snap_->geometry;
    FormatCode(0, g.wordBits, text);
    p.drawText(plot.left(), plot.bottom() + 16, QString::fromLatin1(text));
    FormatCode(g.wordBits >= 32 ? UINT32_MAX : (1u << g.wordBits) - 1, g.wordBits, text);
    p.drawText(QRect(plot.right() - 80, plot.bottom() + 4, 80, 16), Qt::AlignRight,
               QString::fromLatin1(text));
    const QColor bar(60, 200, 255);
    for (std::size_t b = 0; b < bins; ++b) {
        if (counts_[b] == 0) continue;
        const int x0 = plot.left() + static_cast<int>(b * plot.width() / bins);
        const int x1 = plot.left() + static_cast<int>((b + 1) * plot.width() / bins);
        const int h = std::max(
            static_cast<int>(std::uint64_t{counts_[b]} * plot.height() / std::max(peak, 1u)), 1);
        p.fillRect(QRect(x0, plot.bottom() - h + 1, std::max(x1 - x0 - 1, 1), h), bar);
    }
}

}  // namespace pcmplot

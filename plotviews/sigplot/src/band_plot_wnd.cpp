// One spectrum: the instantaneous curve and the window's own maximum,
// average and minimum of the blocks it fetched, with the marker, channel
// power and the unit's labels. With the mouse, in the mode chosen from the
// menu: 功率测量 drags a channel (a click alone gives the density at that
// bin), Marker调整 puts the marker on the clicked bin, Span宽度调整 drags
// right to narrow and left to widen the shown span, Span起始调整 drags the
// shown span along the band.
#include <bbdevice/bbdevice.h>
#include <sigplot/signal_plot_wnd.h>

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace sigplot {
namespace {

constexpr double kTopDbm = 0, kBottomDbm = -100;
constexpr int kLeft = 36, kRight = 8, kTop = 20, kBottom = 32;
// Read-out type: 12 pixels, smaller down to 8 where a pane is narrow.
constexpr int kLabelPixels = 12, kSmallestLabelPixels = 8, kLabelGap = 8;

const char* UnitTag(std::uint32_t unit) {
    switch (unit) {
        case 0:
            return "Input L";
        case 1:
            return "Input R";
        case 2:
            return "Sim";
        default:
            return "Dem";
    }
}

double Linear(double dBm) {
    return std::pow(10.0, dBm / 10.0);
}

QFont LabelFont() {
    QFont f("Times New Roman");
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(kLabelPixels);
    return f;
}

}  // namespace

CSpectrumWnd::CSpectrumWnd(std::uint32_t card, std::uint32_t unit, QString title, QWidget* parent)
    : CSignalPlotWnd(card, unit, std::move(title), parent) {
    std::uint32_t innate[BB_SPECTRUM_INNATE_WORDS] = {};
    if (BB_GetSpectrumInnateAttrib(card, unit, innate)) SetInnate(innate);
    setMouseTracking(false);
    RequestRedraw();
}

bool CSpectrumWnd::Poll() {
    std::uint32_t block[BB_SPECTRUM_PLOT_WORDS];
    if (!BB_GetSpectrumPlotData(card_, unit_, block)) return false;
    return Feed(block);
}

bool CSpectrumWnd::Feed(const std::uint32_t* words) {
    if (!words) return false;
    const std::uint64_t hash = BlockHash(words, words_.size());
    if (hasBlock_ && words[0] == frame_.counter && hash == hash_) return false;
    hash_ = hash;
    std::copy(words, words + words_.size(), words_.begin());
    DecodeSpectrum(words_.data(), frame_);
    amass_.Add(frame_);
    hasBlock_ = true;
    return true;
}

void CSpectrumWnd::SetCurveVisible(int c, bool on) {
    if (c < 0 || c > 3) return;
    curves_[static_cast<std::size_t>(c)] = on;
    update();
}

void CSpectrumWnd::SetCurveColour(std::uint32_t v) {
    colour_ = v;
    update();
}

void CSpectrumWnd::ResetStatistics() {
    BB_ResetAmassResult(card_, unit_);
    amass_.Reset();
    update();
}

void CSpectrumWnd::RestoreDefaults() {
    curves_ = {true, true, true, true};
    colour_ = 255;
    mode_ = MeasureMode::Marker;
    markerBin_ = -1;
    viewStart_ = 0;
    viewWidth_ = 1;
    channelFrom_ = channelTo_ = -1;
    update();
}

std::size_t CSpectrumWnd::FirstBin() const {
    return std::min(frame_.bins, static_cast<std::size_t>(viewStart_ * frame_.bins));
}

std::size_t CSpectrumWnd::LastBin() const {
    const std::size_t last =
        static_cast<std::size_t>(std::ceil((viewStart_ + viewWidth_) * frame_.bins));
    return std::clamp(last, FirstBin(), frame_.bins);
}

QRect CSpectrumWnd::PlotRect() const {
    const int w = width() - kLeft - kRight, h = height() - kTop - kBottom;
    return QRect(kLeft, kTop, std::max(w, 0), std::max(h, 0));
}

int CSpectrumWnd::BinAt(int x) const {
    const QRect r = PlotRect();
    const std::size_t first = FirstBin(), n = LastBin() - first;
    if (n == 0 || r.width() <= 0) return -1;
    const double t = std::clamp((x - r.left()) / static_cast<double>(r.width()), 0.0, 0.999999);
    return static_cast<int>(first + static_cast<std::size_t>(t * n));
}

double CSpectrumWnd::ShownCentreHz() const {
    return override_.centreHz > 0 ? override_.centreHz : frame_.centreHz;
}

double CSpectrumWnd::ShownSpanHz() const {
    if (override_.spanHz > 0) return override_.spanHz;
    if (frame_.SpanHz() > 0) return frame_.SpanHz();
    return innate_.valid ? innate_.upperHz - innate_.lowerHz : 0;
}

double CSpectrumWnd::BinHz(double bin) const {
    const double span = ShownSpanHz();
    const double lower = ShownCentreHz() - span / 2;
    return frame_.bins ? lower + (bin + 0.5) * span / frame_.bins : lower;
}

int CSpectrumWnd::MarkerBin() const {
    if (markerBin_ >= 0 && static_cast<std::size_t>(markerBin_) < frame_.bins) return markerBin_;
    int peak = -1;
    for (std::size_t b = 0; b < frame_.bins; ++b)
        if (frame_.valid[b] && (peak < 0 || frame_.dBm[b] > frame_.dBm[peak]))
            peak = static_cast<int>(b);
    return peak;
}

CSpectrumWnd::Labels CSpectrumWnd::LabelTexts() const {
    Labels l;
    l.tag = QString::fromLatin1(UnitTag(unit_));
    // The shown part of the band.
    const double span = ShownSpanHz();
    const double shownSpan =
        span * (frame_.bins ? double(LastBin() - FirstBin()) / frame_.bins : viewWidth_);
    const double shownCentre =
        ShownCentreHz() - span / 2 +
        span * (frame_.bins ? (FirstBin() + LastBin()) / 2.0 / frame_.bins : 0.5);
    l.centre = QString::asprintf("Center %5.2f MHz", shownCentre / 1e6);
    l.span = QString::asprintf("Span %5.2f MHz", shownSpan / 1e6);
    if (!hasBlock_) return l;
    const int m = MarkerBin();
    if (m >= 0)
        l.marker = QString::asprintf("Mkr ( %5.2f MHz,  %6.1f dBm )", BinHz(m) / 1e6,
                                     frame_.dBm[static_cast<std::size_t>(m)]);
    // Ratio of the power above the noise floor (the median bin) to the
    // noise across the band.
    std::array<float, kMaxBins> sorted{};
    std::size_t n = 0;
    for (std::size_t b = 0; b < frame_.bins; ++b)
        if (frame_.valid[b]) sorted[n++] = frame_.dBm[b];
    if (n > 0) {
        std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.begin() + n);
        const double noise = Linear(sorted[n / 2]);
        double above = 0;
        for (std::size_t b = 0; b < frame_.bins; ++b)
            if (frame_.valid[b]) above += std::max(Linear(frame_.dBm[b]) - noise, 0.0);
        const double snr = above > 0 ? 10 * std::log10(above / (noise * n)) : 0.0;
        l.snr = QString::asprintf("SNR %5.1f dB", snr);
    }
    if (mode_ == MeasureMode::Power && frame_.spacingHz > 0) {
        const int a = std::min(channelFrom_, channelTo_), b = std::max(channelFrom_, channelTo_);
        if (a >= 0 && b > a && static_cast<std::size_t>(b) < frame_.bins) {
            double sum = 0;
            for (int k = a; k <= b; ++k)
                if (frame_.valid[k]) sum += Linear(frame_.dBm[static_cast<std::size_t>(k)]);
            const double bw = (b - a + 1) * ShownSpanHz() / frame_.bins;
            l.power = QString::asprintf("Channel Power\n%5.2f dBm / %7.4f MHz",
                                        sum > 0 ? 10 * std::log10(sum) : kBottomDbm, bw / 1e6);
        } else if (m >= 0) {
            const double binHz = ShownSpanHz() / frame_.bins;
            l.power = QString::asprintf(
                "Power Spectral Density\n%5.2f dBm / Hz",
                frame_.dBm[static_cast<std::size_t>(m)] - 10 * std::log10(std::max(binHz, 1.0)));
        }
    }
    return l;
}

void CSpectrumWnd::Render(QPainter& p, const QRect& area) {
    const QRect plot = PlotRect();
    const std::size_t first = FirstBin(), n = LastBin() - first;
    const double span = ShownSpanHz(), lower = ShownCentreHz() - span / 2;
    const double lowHz = frame_.bins ? lower + span * first / frame_.bins : lower;
    const double highHz = frame_.bins ? lower + span * (first + n) / frame_.bins : lower + span;
    p.drawImage(0, 0, grid_.Get(area.size(), plot, lowHz, highHz, kBottomDbm, kTopDbm));
    if (plot.width() > 0 && plot.height() > 0 && hasBlock_ && n > 0) {
        p.save();
        p.setClipRect(plot);
        for (std::size_t b = 0; b < frame_.bins; ++b) {
            tmpHas_[b] = amass_.Has(b);
            tmpMax_[b] = tmpHas_[b] ? amass_.Max(b) : 0;
            tmpAvg_[b] = tmpHas_[b] ? amass_.Average(b) : 0;
            tmpMin_[b] = tmpHas_[b] ? amass_.Min(b) : 0;
        }
        if (curves_[kMaximum])
            painter_.Draw(p, plot, tmpMax_.data() + first, tmpHas_.data() + first, n, kBottomDbm,
                          kTopDbm, QColor(255, 255, 0));
        if (curves_[kAverage])
            painter_.Draw(p, plot, tmpAvg_.data() + first, tmpHas_.data() + first, n, kBottomDbm,
                          kTopDbm, QColor(0, 255, 0));
        if (curves_[kMinimum])
            painter_.Draw(p, plot, tmpMin_.data() + first, tmpHas_.data() + first, n, kBottomDbm,
                          kTopDbm, QColor(0, 200, 255));
        if (curves_[kInstant])
            painter_.Draw(p, plot, frame_.dBm.data() + first, frame_.valid.data() + first, n,
                          kBottomDbm, kTopDbm, ColorOfRef(colour_));
        const int m = MarkerBin();
        if (m >= static_cast<int>(first) && m < static_cast<int>(first + n)) {
            const double x = plot.left() + (m - first + 0.5) * plot.width() / n;
            const double t = std::clamp((kTopDbm - frame_.dBm[m]) / (kTopDbm - kBottomDbm), 0., 1.);
            const double y = plot.top() + t * (plot.height() - 1);
            p.setPen(Qt::white);
            p.drawLine(QPointF(x - 4, y - 8), QPointF(x, y - 2));
            p.drawLine(QPointF(x + 4, y - 8), QPointF(x, y - 2));
        }
        if (mode_ == MeasureMode::Power && channelFrom_ >= 0 && channelTo_ >= 0) {
            const int a = std::min(channelFrom_, channelTo_),
                      b = std::max(channelFrom_, channelTo_);
            const double xa = plot.left() + (a - double(first)) * plot.width() / n;
            const double xb = plot.left() + (b + 1 - double(first)) * plot.width() / n;
            p.fillRect(QRectF(xa, plot.top(), xb - xa, plot.height()), QColor(255, 255, 255, 40));
        }
        p.restore();
    }
    const Labels l = LabelTexts();
    p.setPen(Qt::white);
    labelCount_ = 0;
    const int inner = std::max(area.width() - 8, 0);
    DrawLabelRow(p, QRect(4, 2, inner, kTop - 2), Qt::AlignVCenter, l.tag + "  " + l.snr, l.marker);
    DrawLabelRow(p, QRect(4, area.height() - 16, inner, 16), Qt::AlignTop, l.centre, l.span);
    if (!l.power.isEmpty() && plot.width() > 12) {
        const QRect box = plot.adjusted(6, 6, -6, -6);
        QFont f = LabelFont();
        for (int px = kLabelPixels; px >= kSmallestLabelPixels; --px) {
            f.setPixelSize(px);
            if (QFontMetrics(f).boundingRect(box, Qt::AlignLeft, l.power).width() <= box.width())
                break;
        }
        p.setFont(f);
        QRect drawn;
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop, l.power, &drawn);
        RecordLabel(drawn);
    }
}

void CSpectrumWnd::DrawLabelRow(QPainter& p, const QRect& row, int vertical, const QString& left,
                                const QString& right) {
    // A narrow pane (five side by side on a small screen) gets smaller type
    // rather than a read-out cut at its edge.
    QFont f = LabelFont();
    for (int px = kLabelPixels; px >= kSmallestLabelPixels; --px) {
        f.setPixelSize(px);
        const QFontMetrics m(f);
        if (m.horizontalAdvance(left) + kLabelGap + m.horizontalAdvance(right) <= row.width())
            break;
    }
    p.setFont(f);
    QRect drawn;
    p.drawText(row, Qt::AlignLeft | vertical, left, &drawn);
    RecordLabel(drawn);
    p.drawText(row, Qt::AlignRight | vertical, right, &drawn);
    RecordLabel(drawn);
}

void CSpectrumWnd::RecordLabel(const QRect& r) {
    if (labelCount_ < static_cast<int>(labels_.size())) labels_[labelCount_++] = r;
}

std::vector<QRect> CSpectrumWnd::PaintedLabelRects() const {
    return {labels_.begin(), labels_.begin() + labelCount_};
}

void CSpectrumWnd::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8("显示频谱图"), this, [this] {
        Poll();
        update();
    });
    menu.addSeparator();
    auto* group = new QActionGroup(&menu);
    const std::pair<const char*, MeasureMode> modes[] = {{"功率测量", MeasureMode::Power},
                                                         {"Marker调整", MeasureMode::Marker},
                                                         {"Span宽度调整", MeasureMode::SpanWidth},
                                                         {"Span起始调整", MeasureMode::SpanStart}};
    for (const auto& [text, m] : modes) {
        QAction* a = menu.addAction(QString::fromUtf8(text), this, [this, m] { SetMode(m); });
        a->setCheckable(true);
        a->setChecked(mode_ == m);
        group->addAction(a);
    }
    menu.addSeparator();
    menu.addAction(QString::fromUtf8("清零频谱统计量"), this, [this] { ResetStatistics(); });
    menu.addSeparator();
    const char* curves[] = {"瞬时值曲线", "最大值曲线", "平均值曲线", "最小值曲线"};
    for (int c = 0; c < 4; ++c) {
        QAction* a = menu.addAction(QString::fromUtf8(curves[c]), this,
                                    [this, c] { SetCurveVisible(c, !CurveVisible(c)); });
        a->setCheckable(true);
        a->setChecked(CurveVisible(c));
    }
    menu.addSeparator();
    menu.addAction(QString::fromUtf8("恢复默认参数"), this, [this] { RestoreDefaults(); });
    menu.exec(e->globalPos());
}

void CSpectrumWnd::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const int x = static_cast<int>(e->position().x());
    dragX_ = x;
    dragStart_ = viewStart_;
    dragWidth_ = viewWidth_;
    const int bin = BinAt(x);
    if (mode_ == MeasureMode::Marker && bin >= 0) markerBin_ = bin;
    if (mode_ == MeasureMode::Power) channelFrom_ = channelTo_ = bin;
    update();
}

void CSpectrumWnd::mouseMoveEvent(QMouseEvent* e) {
    if (dragX_ < 0) return;
    const int x = static_cast<int>(e->position().x());
    const double w = std::max(PlotRect().width(), 1);
    const double dx = (x - dragX_) / w;
    switch (mode_) {
        case MeasureMode::Power:
            channelTo_ = BinAt(x);
            break;
        case MeasureMode::Marker:
            if (BinAt(x) >= 0) markerBin_ = BinAt(x);
            break;
        case MeasureMode::SpanWidth: {
            const double centre = dragStart_ + dragWidth_ / 2;
            viewWidth_ = std::clamp(dragWidth_ * (1 - dx), 0.02, 1.0);
            viewStart_ = std::clamp(centre - viewWidth_ / 2, 0.0, 1.0 - viewWidth_);
            break;
        }
        case MeasureMode::SpanStart:
            viewStart_ = std::clamp(dragStart_ - dx * dragWidth_, 0.0, 1.0 - viewWidth_);
            break;
    }
    update();
}

void CSpectrumWnd::mouseReleaseEvent(QMouseEvent*) {
    dragX_ = -1;
}

}  // namespace sigplot

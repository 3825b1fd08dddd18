// The windows of the signal plot: a spectrum plot per spectrum unit, the
// vector plot of the demodulator, and the MDI child that tiles the five in
// its own MDI area.
#pragma once

#include <plotviews/plot_view_wnd.h>
#include <sigplot/image_lines.h>
#include <sigplot/plot_words.h>

#include <QMdiArea>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace sigplot {

// Timer identifiers of the plots.
inline constexpr int kRefreshTimerId = 123;
inline constexpr int kRedrawTimerId = 3141;

// COLORREF value (0x00BBGGRR) to a colour.
QColor ColorOfRef(std::uint32_t value);

// Draws one curve of n values into a plot rectangle; more values than pixel
// columns are reduced to the minimum and maximum of each column. Its point
// buffer grows only when a larger curve comes, so drawing allocates nothing
// in the steady state.
class CCurvePainter {
public:
    void Draw(QPainter& p, const QRect& plot, const float* values, const bool* valid, std::size_t n,
              double bottom, double top, const QColor& colour);

private:
    // The column spans straight into the painter's image.
    bool DrawColumnsIntoImage(QPainter& p, const QRect& plot, const float* values,
                              const bool* valid, std::size_t n, double bottom, double top,
                              const QColor& colour);
    std::vector<QPointF> points_;
};

// Grid and axes drawn once per size and axis range and kept as an image.
class CGridOverlay {
public:
    const QImage& Get(const QSize& size, const QRect& plot, double lowHz, double highHz,
                      double bottom, double top);
    // Where the level labels (left) and the frequency labels (below) of the
    // kept image were drawn.
    std::vector<QRect> LevelLabelRects() const {
        return {levels_.begin(), levels_.begin() + levelCount_};
    }
    std::vector<QRect> FrequencyLabelRects() const {
        return {frequencies_.begin(), frequencies_.begin() + frequencyCount_};
    }

private:
    std::array<QRect, 9> levels_{};
    std::array<QRect, 11> frequencies_{};
    int levelCount_ = 0, frequencyCount_ = 0;
    QImage image_;
    QRect plot_;
    double low_ = 0, high_ = 0, bottom_ = 0, top_ = 0;
};

// A plot that polls the device library: the refresh timer and the one-shot
// redraw, the card and unit, and the count of new blocks it painted.
class CSignalPlotWnd : public CPlotViewWnd {
    Q_OBJECT
public:
    CSignalPlotWnd(std::uint32_t card, std::uint32_t unit, QString title, QWidget* parent);
    std::uint32_t Unit() const { return unit_; }
    const QString& Title() const { return title_; }
    // Starts the refresh timer; false when it did not start.
    bool SetElapse(int periodMs);
    int TimerInterval() const { return refresh_.interval(); }
    bool TimerActive() const { return refresh_.isActive(); }
    void StopTimers();
    // Redraws once, soon.
    void RequestRedraw();
    // Fetches from the library now; true when a new block came.
    virtual bool Poll() = 0;
    // Distinct blocks (by counter or by content) that reached the screen.
    unsigned PaintedBlocks() const { return paintedBlocks_; }
    std::uint32_t LastPaintedCounter() const { return lastPainted_; }

    struct Override {
        double centreHz = 0, spanHz = 0;
        std::int32_t mode = -1;
    };
    void SetOverride(const Override& o) {
        override_ = o;
        update();
    }

protected:
    virtual std::uint32_t ShownCounter() const = 0;
    virtual std::uint64_t ShownHash() const = 0;
    virtual bool HasBlock() const = 0;
    void Rendered() override;

    std::uint32_t card_, unit_;
    QString title_;
    Override override_;

private:
    QTimer refresh_, redraw_;
    unsigned paintedBlocks_ = 0;
    std::uint32_t lastPainted_ = 0;
    std::uint64_t lastPaintedHash_ = 0;
    bool paintedAny_ = false;
};

enum class MeasureMode { Power, Marker, SpanWidth, SpanStart };
enum Curve { kInstant = 0, kMaximum, kAverage, kMinimum };

class CSpectrumWnd : public CSignalPlotWnd {
    Q_OBJECT
public:
    CSpectrumWnd(std::uint32_t card, std::uint32_t unit, QString title, QWidget* parent);

    bool Poll() override;
    // Takes a 336-word block as the library gives it; false for a block
    // already shown (the same counter and the same words).
    bool Feed(const std::uint32_t* words);
    void SetInnate(const std::uint32_t* words) { innate_ = DecodeInnate(words); }

    bool CurveVisible(int c) const { return curves_[static_cast<std::size_t>(c)]; }
    void SetCurveVisible(int c, bool on);
    std::uint32_t CurveColour() const { return colour_; }
    void SetCurveColour(std::uint32_t v);
    MeasureMode Mode() const { return mode_; }
    void SetMode(MeasureMode m) { mode_ = m; }
    // Clears the library's and the window's statistics.
    void ResetStatistics();
    void RestoreDefaults();
    const SpectrumAmass& Statistics() const { return amass_; }

    struct Labels {
        QString tag, centre, span, marker, snr, power;
    };
    Labels LabelTexts() const;
    // Where the last paint drew the read-out (tag and SNR, marker, centre,
    // span, power), each the whole text's box.
    std::vector<QRect> PaintedLabelRects() const;
    const CGridOverlay& Grid() const { return grid_; }
    QRect PlotRect() const;
    // Bin under the marker: the peak until the operator moves it.
    int MarkerBin() const;

protected:
    void Render(QPainter& p, const QRect& area) override;
    std::uint32_t ShownCounter() const override { return frame_.counter; }
    std::uint64_t ShownHash() const override { return hash_; }
    bool HasBlock() const override { return hasBlock_; }
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    // Displayed bins [first, last), within the block's bins.
    std::size_t FirstBin() const;
    std::size_t LastBin() const;
    int BinAt(int x) const;
    double BinHz(double bin) const;
    double ShownCentreHz() const;
    double ShownSpanHz() const;

    std::array<std::uint32_t, 336> words_{};
    SpectrumFrame frame_;
    SpectrumAmass amass_;
    InnateAttrib innate_;
    bool hasBlock_ = false;
    std::uint64_t hash_ = 0;  // of words_
    std::array<bool, 4> curves_{true, true, true, true};
    std::uint32_t colour_ = 255;
    MeasureMode mode_ = MeasureMode::Marker;
    int markerBin_ = -1;  // -1: at the peak
    // Displayed part as fractions of the block's bins.
    double viewStart_ = 0, viewWidth_ = 1;
    int channelFrom_ = -1, channelTo_ = -1;  // power channel, bins
    int dragX_ = -1;
    double dragStart_ = 0, dragWidth_ = 1;
    // Draws `left` and `right` in one row, in the largest type that lets both
    // fit side by side.
    void DrawLabelRow(QPainter& p, const QRect& row, int vertical, const QString& left,
                      const QString& right);
    void RecordLabel(const QRect& r);
    CCurvePainter painter_;
    CGridOverlay grid_;
    std::array<QRect, 6> labels_{};
    int labelCount_ = 0;
    std::array<float, kMaxBins> tmpMax_{}, tmpAvg_{}, tmpMin_{};
    std::array<bool, kMaxBins> tmpHas_{};
};

enum class VectorMode { Vector, Constellation, Density };

class CVectorWnd : public CSignalPlotWnd {
    Q_OBJECT
public:
    CVectorWnd(std::uint32_t card, QString title, QWidget* parent);
    bool Poll() override;
    bool Feed(const std::uint32_t* words);
    VectorMode Mode() const { return mode_; }
    void SetMode(VectorMode m) {
        mode_ = m;
        update();
    }
    QString ModulationText() const;

protected:
    void Render(QPainter& p, const QRect& area) override;
    std::uint32_t ShownCounter() const override { return frame_->counter; }
    std::uint64_t ShownHash() const override { return hash_; }
    bool HasBlock() const override { return hasBlock_; }
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    std::unique_ptr<std::uint32_t[]> words_;
    std::unique_ptr<VectorFrame> frame_;
    bool hasBlock_ = false;
    std::uint64_t hash_ = 0;  // of the block frame_ was decoded from
    // Decodes words_ unless it is the block already shown.
    bool TakeFetched();
    VectorMode mode_ = VectorMode::Constellation;
    std::vector<QPointF> points_;
    CLineMask mask_;
    static constexpr int kDensitySide = 200;
    std::unique_ptr<std::uint32_t[]> density_;
    QImage densityImage_;
};

class CMdiClientWnd : public QMdiArea {
    Q_OBJECT
public:
    using QMdiArea::QMdiArea;
};

class CMdiSignalPlotWnd : public QWidget {
    Q_OBJECT
public:
    CMdiSignalPlotWnd(std::uint32_t card, const QString& title);
    ~CMdiSignalPlotWnd() override;
    std::uint32_t Card() const { return card_; }
    // 0 信号源频谱, 1 左旋频谱, 2 右旋频谱, 3 解调频谱.
    CSpectrumWnd* Spectrum(int i) const { return spectra_[static_cast<std::size_t>(i)]; }
    CVectorWnd* Vector() const { return vector_; }
    CMdiClientWnd* Client() const { return client_; }
    CSignalPlotWnd* Plot(int i) const {
        return i < 4 ? static_cast<CSignalPlotWnd*>(Spectrum(i)) : vector_;
    }
    void StopTimers();
    void TilePlots();
    void SetMaxSize(int w, int h) {
        maxW_ = w;
        maxH_ = h;
    }
    QSize MaxSize() const { return {maxW_, maxH_}; }

signals:
    // The window was closed (not merely deleted); its slot is empty by now.
    void Closed();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    std::uint32_t card_;
    CMdiClientWnd* client_;
    std::array<CSpectrumWnd*, 4> spectra_{};
    CVectorWnd* vector_ = nullptr;
    int maxW_ = 0, maxH_ = 0;
};

// Empties the table slot that holds `w` (called by the window when it closes).
void ReleaseSlot(CMdiSignalPlotWnd* w);

}  // namespace sigplot

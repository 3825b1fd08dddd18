// The PCM plot windows: a common base that pulls the frame store on its
// timer, and the table, curve and histogram drawn from the copy it took.
#pragma once

#include <pcmplot/pcm_store.h>
#include <plotviews/plot_view_wnd.h>

#include <QFont>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

class QMenu;

namespace pcmplot {

enum Kind : std::uint32_t { kTable = 0, kCurve = 1, kStripe = 2, kKinds = 3 };
inline constexpr int kDefaultPeriodMs = 250;

class CBcdPlotWnd : public CPlotViewWnd {
    Q_OBJECT
public:
    CBcdPlotWnd(std::uint32_t card, std::uint32_t kind, std::uint32_t value,
                std::shared_ptr<PcmFrameStore> store, QWidget* parent);
    ~CBcdPlotWnd() override;

    std::uint32_t Card() const { return card_; }
    std::uint32_t Kind() const { return kind_; }
    std::uint32_t Value() const { return value_; }
    const std::shared_ptr<PcmFrameStore>& Store() const { return store_; }

    // (Re)starts the refresh timer; false when it did not start.
    bool SetElapse(int periodMs);
    int TimerInterval() const { return timer_.interval(); }
    bool TimerActive() const { return timer_.isActive(); }
    void StopTimer() { timer_.stop(); }
    // Takes the store's frames when they changed and schedules a repaint;
    // true when they had changed.
    bool Pull();
    const PcmSnapshot& Shown() const { return *snap_; }
    // Builds the context menu; null when it could not be made.
    virtual QMenu* CreateMenu(QWidget* parent) = 0;

signals:
    // The window was closed; its slot is empty by now.
    void Closed();

protected:
    void closeEvent(QCloseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    // After a new copy was taken, before the repaint.
    virtual void Taken() {}
    // Plot rectangle inside the margins, never negative.
    static QRect Inset(const QRect& area, int left, int top, int right, int bottom);

    std::uint32_t card_, kind_, value_;
    std::shared_ptr<PcmFrameStore> store_;
    std::unique_ptr<PcmSnapshot> snap_;  // GUI thread only
    QFont font_;

private:
    QTimer timer_;
};

// The newest major frame, one row per minor frame: its tag under
// "子  帧  配  时" and its words in hexadecimal.
class CBcdTableWnd : public CBcdPlotWnd {
    Q_OBJECT
public:
    CBcdTableWnd(std::uint32_t card, std::uint32_t value, std::shared_ptr<PcmFrameStore> store,
                 QWidget* parent);
    // Texts of one row: the tag (empty without tags), then the words.
    QStringList RowTexts(std::uint32_t row) const;
    std::uint32_t Rows() const;
    QMenu* CreateMenu(QWidget* parent) override;
    // First word column shown (scrolled by the menu).
    std::uint32_t FirstWord() const { return firstWord_; }
    void SetFirstWord(std::uint32_t w);

protected:
    void Render(QPainter& p, const QRect& area) override;

private:
    void AddGlyphs(const char* text, int x, int y);
    // Word columns that fit the window's width, at least 1.
    std::uint32_t PageColumns() const;

    std::uint32_t firstWord_ = 0;
    int charW_ = 8, lineH_ = 16, ascent_ = 12;
    QRawFont raw_;
    quint32 glyphOf_[128] = {};  // glyph of each ASCII character drawn in cells
    QList<quint32> glyphs_;      // reused by each paint
    QList<QPointF> positions_;
};

// Chosen word positions of the minor frame over all buffered minor frames.
class CBcdCurveWnd : public CBcdPlotWnd {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxCurves = 4;
    CBcdCurveWnd(std::uint32_t card, std::uint32_t value, std::shared_ptr<PcmFrameStore> store,
                 QWidget* parent);
    // 0-based word positions, one curve each.
    const std::vector<std::uint32_t>& Positions() const { return positions_; }
    void SetPositions(std::vector<std::uint32_t> p);
    QMenu* CreateMenu(QWidget* parent) override;
    QRect PlotRect() const;

protected:
    void Render(QPainter& p, const QRect& area) override;

private:
    std::vector<std::uint32_t> positions_;
    std::vector<std::uint32_t> low_, high_;  // per pixel column, reused
    std::vector<QPoint> points_;
};

// How one word position's values are spread over the buffered minor frames.
class CBcdStripeWnd : public CBcdPlotWnd {
    Q_OBJECT
public:
    static constexpr std::uint32_t kMaxBins = 256;
    CBcdStripeWnd(std::uint32_t card, std::uint32_t value, std::shared_ptr<PcmFrameStore> store,
                  QWidget* parent);
    std::uint32_t Position() const { return position_; }
    void SetPosition(std::uint32_t p);
    // Counts per bin of the copy shown; the bins split the code range evenly.
    const std::vector<std::uint32_t>& Counts() const { return counts_; }
    std::uint32_t Samples() const { return samples_; }
    double Mean() const { return mean_; }
    QMenu* CreateMenu(QWidget* parent) override;

protected:
    void Render(QPainter& p, const QRect& area) override;
    void Taken() override { Count(); }

private:
    void Count();
    std::uint32_t position_ = 0;
    std::vector<std::uint32_t> counts_;
    std::uint32_t samples_ = 0;
    double mean_ = 0;
};

// Empties the table slot that holds `w` (called by the window when it closes).
void ReleaseSlot(CBcdPlotWnd* w);

}  // namespace pcmplot

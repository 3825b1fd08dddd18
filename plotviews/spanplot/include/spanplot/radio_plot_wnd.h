// The frequency-scan plot window: a refresh timer that polls the device
// library, a one-shot redraw, four scan panels over the client width and
// the context menu with the scroll bar and the display settings.
#pragma once

#include <plotviews/plot_view_wnd.h>

#include <QImage>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

class QDialog;
class QMenu;
class QScrollBar;

namespace spanplot {

inline constexpr int kRefreshTimerId = 123;
inline constexpr int kRedrawTimerId = 3141;
inline constexpr int kLeftMargin = 30;
inline constexpr int kPanels = 4;
// Words of the scan data area handed to the device library on each poll.
inline constexpr std::size_t kDataWords = 4096;
// Refresh period until one is set.
inline constexpr int kDefaultPeriodMs = 1000;

// Width of one scan plot for a client width: a quarter of the width less
// the frame, less the left margin, never below 0.
int PlotWidthFor(int clientWidth);

// The device calls the window makes; tests replace them.
struct DeviceCalls {
    std::int32_t (*getData)(std::uint32_t card, std::uint32_t value);
    std::int32_t (*stopSpan)(std::uint32_t card, std::uint32_t low, std::uint32_t high);
};
// Replaces the calls; null restores the device library's own.
void SetDeviceCallsForTest(const DeviceCalls* calls);

class CRadioPlotWnd : public CPlotViewWnd {
    Q_OBJECT
public:
    CRadioPlotWnd(std::uint32_t card, const QString& title, QWidget* parent = nullptr);
    ~CRadioPlotWnd() override;

    std::uint32_t Card() const { return card_; }
    // Starts the refresh timer at `periodMs` (at least 1); false when it
    // did not start.
    bool SetElapse(int periodMs);
    int Period() const { return period_; }
    bool TimerActive() const { return refresh_.isActive(); }
    void StopTimers();
    void RequestRedraw();
    void EnableGradualCurve() { gradual_ = true; }
    bool GradualCurve() const { return gradual_; }

    // Polls the device library once; true when it gave data and a redraw
    // was asked for.
    bool Poll();
    const std::array<std::uint32_t, kDataWords>& DataArea() const { return data_; }
    std::array<std::uint32_t, kDataWords>& DataArea() { return data_; }

    bool ScrollBarShown() const { return scrollShown_; }
    void SetScrollBarShown(bool on);
    QScrollBar* ScrollBar() const { return scroll_; }
    int PlotWidth() const { return PlotWidthFor(width()); }
    // The scan panel `i` (0 to 3); empty when the window is too narrow.
    QRect PanelRect(int i) const;

    // The context menu as it would open now; null when it cannot be made.
    std::unique_ptr<QMenu> MakeContextMenu();
    // The display settings dialog (refresh period, gradual curve); it
    // applies its values when accepted. The caller owns it.
    QDialog* MakeSettingsDialog();

protected:
    void Render(QPainter& p, const QRect& area) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Stops the timers, stops the card's scan and empties the slot, once.
    void Shutdown();
    const QImage& Background(const QSize& size);
    void PlaceScrollBar();

    std::uint32_t card_;
    QTimer refresh_, redraw_;
    int period_ = kDefaultPeriodMs;
    bool gradual_ = false;
    bool scrollShown_ = false;
    bool shutDown_ = false;
    QScrollBar* scroll_;
    std::array<std::uint32_t, kDataWords> data_{};
    QImage background_;
    bool backgroundScroll_ = false;
};

// Empties the table slot that holds `w` (called by the window when it closes).
void ReleaseSlot(CRadioPlotWnd* w);

}  // namespace spanplot

// One raw curve window: an MDI child without a title bar (its caption line is
// painted at the top) that owns the data side of its stream, redraws from the
// prepared points on its own timer, keeps its settings in the profile file and
// tells the main frame (message 1155) when the operator closes it. Closing
// stops and joins the worker before anything is freed.
#pragma once

#include <rawcurve/curve_engine.h>
#include <rawcurve/curve_plot.h>

#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

namespace rawcurve {

inline constexpr unsigned kCurveClosedMessage = 1155;
// Points drawn per curve: the newest ones.
inline constexpr std::size_t kShownPoints = 10000;

// Colour of curve k (0..7).
QRgb CurveColor(int k);

// The painted face of the window: caption, frame code, labels and the plot.
class CurveView : public QWidget {
    Q_OBJECT
public:
    explicit CurveView(QWidget* parent = nullptr);

    // GUI thread: what the next paint shows.
    void SetCaption(const QString& caption) { caption_ = caption; }
    // Takes the points by exchange; `s` gets the old ones back for reuse.
    void SwapSnapshot(CurveSnapshot& s);
    const CurveSnapshot& Snapshot() const { return snapshot_; }
    const QString& Caption() const { return caption_; }
    // "P%04d" of curve k as painted.
    QString Label(int k) const;

signals:
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    QString caption_;
    CurveSnapshot snapshot_;
    CurvePlotter plotter_;
};

// "显示配置(&C)": channels, whole frame, bit masking.
class CurveSettingsMenu : public QMenu {
    Q_OBJECT
public:
    explicit CurveSettingsMenu(QWidget* parent = nullptr);
    void ShowSettings(const CurverSettings& s);
    QAction* ChannelsAction() const { return channels_; }
    QAction* WholeFrameAction() const { return wholeFrame_; }
    QAction* BitsLimitAction() const { return bitsLimit_; }

signals:
    void channelsRequested();
    void wholeFrameToggled(bool on);
    void bitsLimitToggled(bool on);

private:
    QAction* channels_ = nullptr;
    QAction* wholeFrame_ = nullptr;
    QAction* bitsLimit_ = nullptr;
};

class CCurverWnd : public QMdiSubWindow {
    Q_OBJECT
public:
    // `stream` is -1..2; `frameHandle` and `areaHandle` receive the closing message.
    CCurverWnd(int stream, const _FRAME_STRUCT_PARAM_EX* frame, void* frameHandle, void* areaHandle,
               QWidget* parent = nullptr);
    ~CCurverWnd() override;

    // Starts the worker and the redraw timer; false (after telling the
    // operator) when the timer did not start.
    bool Start(unsigned periodMs);
    // The timer's work: caption and points from the data side, then a repaint.
    void Refresh();
    void ApplySettings(const CurverSettings& s);
    // Stores the bit-error figures for the caption (null keeps the last ones).
    void SetErrorCode(const _ERROR_CODE_STATISTIC* statistic, bool show);

    int Stream() const { return stream_; }
    const std::shared_ptr<CurveEngine>& Engine() const { return engine_; }
    CurveView* View() const { return view_; }
    CurveSettingsMenu* SettingsMenu() const { return menu_; }
    const CurverSettings& Settings() const { return settings_; }
    QString Title() const;

signals:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void AskChannels();

    const int stream_;
    void* const frameHandle_;
    void* const areaHandle_;
    const std::string iniFile_;
    CurverSettings settings_;  // GUI thread
    std::shared_ptr<CurveEngine> engine_;
    CurveView* view_ = nullptr;
    CurveSettingsMenu* menu_ = nullptr;
    QTimer timer_;
    CurveSnapshot spare_;  // buffers for the next read
    bool forceCaption_ = false;
    bool shown_ = false;  // the first refresh has drawn the caption
    bool showErrors_ = false;
    _ERROR_CODE_STATISTIC errors_{};
};

}  // namespace rawcurve

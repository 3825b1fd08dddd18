// The raw histogram window: an MDI child, shown maximised, that draws for
// every subframe row one bar per channel (the newest value of its word
// position), repaints on its own timer, keeps its channels in the profile
// file and tells the main frame (message 1135) when the operator closes it.
#pragma once

#include <histview/hist_data.h>

#include <QAbstractScrollArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>
#include <memory>
#include <string>

namespace histview {

inline constexpr unsigned kHistogramClosedMessage = 1135;

// The painted bars with their labels, scrolled by pixels.
class HistView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kHeaderHeight = 44;
    static constexpr int kRowHeight = 230;
    static constexpr int kFullBarHeight = 150;
    static constexpr int kBarPitch = 48;
    static constexpr int kBarWidth = 30;
    static constexpr int kLeft = 50;

    explicit HistView(QWidget* parent = nullptr);

    void SetCaption(const QString& caption) { caption_ = caption; }
    void SetSnapshot(HistSnapshot&& s);
    const HistSnapshot& Snapshot() const { return snapshot_; }
    const QString& Caption() const { return caption_; }

    // Height in pixels of bar k of a row as painted; -1 when it has no bar.
    int BarPixels(int row, int k) const;
    // Its labels; empty when it has no bar.
    QString HexText(int row, int k) const;
    QString PercentText(int row, int k) const;

signals:
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void UpdateScrollBars();
    const HistSnapshot::Bar* BarAt(int row, int k) const;

    QString caption_;
    HistSnapshot snapshot_;
};

class CHistogramWnd : public QMdiSubWindow {
    Q_OBJECT
public:
    CHistogramWnd(const _FRAME_STRUCT_PARAM* frame, void* frameHandle, void* areaHandle,
                  QWidget* parent = nullptr);
    ~CHistogramWnd() override;

    // Starts the repaint timer; false (after telling the operator) when it did not start.
    bool StartRefresh(unsigned periodMs);
    void Refresh();
    void ApplySettings(const HistogramSettings& s);
    void SetErrorCode(const _ERROR_CODE_STATISTIC* statistic, bool show);
    // The channel dialog; its OK writes the channels to the profile.
    void AskChannels();

    const std::shared_ptr<HistStore>& Store() const { return store_; }
    HistView* View() const { return view_; }
    QMenu* SettingsMenu() const { return menu_; }
    const HistogramSettings& Settings() const { return settings_; }

signals:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void* const frameHandle_;
    void* const areaHandle_;
    const std::string iniFile_;
    HistogramSettings settings_;
    std::shared_ptr<HistStore> store_;
    HistView* view_ = nullptr;
    QMenu* menu_ = nullptr;
    QTimer timer_;
    std::uint64_t shownVersion_ = ~std::uint64_t{0};
    bool showErrors_ = false;
    _ERROR_CODE_STATISTIC errors_{};
};

}  // namespace histview

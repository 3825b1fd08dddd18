// CViewDlg: the status view, page "状态查看" of the status display bar. Ten
// times a second it shows the card's demodulator and time-code state, the
// replay progress, the recording sizes, the output lamps and the counters,
// and keeps the sync-loss counter and the day of the year that the data path
// reads. Its refresh runs whether the bar is shown or hidden.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <map>

#include "link_watch.h"
#include "lock_watch.h"
#include "status_snapshot.h"
#include "status_texts.h"

class CMainFrame;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QTimer;
struct DemParam;
namespace datapath {
class DataPath;
}

// A lock lamp: one of the images 171 (not in lock), 172 (not applicable),
// 173 (in lock).
class StatusLamp : public QWidget {
public:
    explicit StatusLamp(QWidget* parent);
    void SetImage(mainframe::LampImage image);
    mainframe::LampImage Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    mainframe::LampImage m_image = mainframe::kLampNotApplicable;
};

// A coloured lamp: green when on, red when off; a bright border when its
// output is also switched on.
class ColourLamp : public QWidget {
public:
    explicit ColourLamp(QWidget* parent);
    void Set(bool on, bool highlighted);
    bool IsOn() const { return m_on; }
    bool IsHighlighted() const { return m_highlighted; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_on = false;
    bool m_highlighted = false;
};

class CViewDlg : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDialogId = 170;
    static constexpr int kRefreshTimerId = 25;
    static constexpr int kRefreshMs = 100;
    static constexpr int kFormWidthDlu = 1010;
    static constexpr int kFormHeightDlu = 427;

    CViewDlg(CMainFrame& frame, QWidget* parent);
    ~CViewDlg() override;

    // Timer 25 (GUI thread).
    void Refresh();

    // The control with this identifier (1001 ...), or null.
    QWidget* Control(int id) const;
    mainframe::LampImage LampImageOf(int id) const;
    const ColourLamp* ColourLampOf(int id) const;
    QString TextOf(int id) const;
    // Refreshes run since creation.
    std::uint64_t RefreshCount() const { return m_refreshes; }
    const mainframe::LockFlags& LastLockFlags() const { return m_lockFlags; }
    QScrollArea* ScrollArea() const { return m_scroll; }
    // A card replay restart waits for its pause; the controls do nothing then.
    bool RestartPending() const { return m_restarting; }
    // The engine link as last read (the card must be open for Up or Down).
    mainframe::LinkState LinkState() const { return m_linkWatch.State(); }
    // The state line at the top of the form: link, recording, replay.
    QString LinkStateText() const;
    QString RecordingStateText() const;
    QString ReplayStateText() const;
    // A software replay whose feed has had no tick for a while.
    bool ReplayFeedStalled() const { return m_feedStalled; }

    // Slider released and "跳转" (also reachable for tests).
    void OnSliderReleased();
    void OnJump();

private:
    // One value control and what it shows now. A control is rewritten only
    // when its inputs change.
    struct TextCell {
        QLabel* label = nullptr;
        enum class State { Unknown, Empty, Shown } state = State::Unknown;
        std::array<double, 6> key{};
        mainframe::StatusText text;
    };
    template <class Format>
    void ShowKeyed(TextCell& cell, const std::array<double, 6>& key, Format&& format);
    void ShowText(TextCell& cell, const mainframe::StatusText& text);
    void ShowEmpty(TextCell& cell);
    TextCell& Cell(int id);

    void BuildForm();
    void ShowNetworkPackets();
    void ShowCardState();
    // The link just read is down: no-lock lamps, the card time marked as
    // stale, the card's values waiting for the card.
    void ShowLinkDown(const DemParam& dem, datapath::DataPath& path);
    void ApplyLockReading(const mainframe::LockReading& r, datapath::DataPath& path);
    // A text in place of the cell's value; the next value is written anew.
    void ShowInPlace(TextCell& cell, const mainframe::StatusText& text);
    void ShowStateLine();
    void WatchReplayFeed();
    void ShowReplay();
    void ShowRecording();
    void ShowOutputLamps();
    void ShowBitErrors();
    void ShowStatistics();
    void ShowPacketHeader(const mainframe::PacketHeaderFields& h, int version, int source,
                          int destination, int time, int sequence);
    void ShowReceivedPacket(const mainframe::ReceivedPacketFields& p, const int ids[7]);

    // The card replay of the last start again from `startRecord`; sets or
    // clears the replay running flag by its success.
    bool StartCardReplayAt(std::uint64_t startRecord);
    // Restart of a card replay at a new place: stop now, start after `delayMs`.
    void RestartCardReplay(std::uint64_t startRecord, int delayMs);
    void FinishCardReplay();
    void ShowReplaySpeed();
    void SetReplayControlsEnabled(bool enabled);

    CMainFrame& m_frame;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_form = nullptr;
    QTimer* m_timer = nullptr;
    std::map<int, QWidget*> m_controls;
    std::map<int, TextCell> m_cells;
    std::map<int, StatusLamp*> m_lamps;
    std::map<int, ColourLamp*> m_colourLamps;
    QSlider* m_slider = nullptr;
    QLineEdit* m_jump[4] = {};
    QPushButton* m_jumpButton = nullptr;
    QComboBox* m_replaySpeed = nullptr;  // software replay only

    mainframe::LockWatch m_lockWatch;
    mainframe::LinkWatch m_linkWatch;
    QLabel* m_linkState = nullptr;
    QLabel* m_recordingState = nullptr;
    QLabel* m_replayState = nullptr;
    mainframe::StatusText m_shownLink, m_shownRecording, m_shownReplay;
    bool m_cardTimeStale = false;
    std::uint64_t m_lastFeedTicks = 0;
    int m_refreshesWithoutFeed = 0;
    bool m_feedStalled = false;
    mainframe::LockFlags m_lockFlags;
    mainframe::StatusSnapshot m_snapshot;  // refilled by the frame each refresh
    bool m_restarting = false;             // a card replay restart is pending
    int m_replayControlsEnabled = -1;
    std::uint64_t m_refreshes = 0;
};

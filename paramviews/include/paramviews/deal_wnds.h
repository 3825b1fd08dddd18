// The three window classes. Each redraws from the groups every 150 ms and
// offers a popup of the three levels, a separator and the alarm switch.
#pragma once

#include <paramviews/param_groups.h>

#include <QAbstractTableModel>
#include <QMdiSubWindow>
#include <QPointF>
#include <array>
#include <string>
#include <vector>

class QMenu;
class QAction;
class QPainter;
class QTableView;

namespace paramviews {

class CDealWnd : public QMdiSubWindow {
    Q_OBJECT
public:
    struct Kind {
        int kind;                 // kKindStripe, kKindCurve or kKindTable
        const char* title;        // default title
        const char* settingsKey;  // level key in the settings file
        const char* timerCaption;
        unsigned closeMessage;
    };
    CDealWnd(const Kind& k, void* frameHandle, QWidget* parent = nullptr);

    // Starts the 150 ms redraw; false (after the message) when no timer is left.
    bool Start();
    QMenu* Popup() const { return popup_; }
    int Level() const { return level_; }
    bool Alarm() const { return alarm_; }
    // The popup's actions, callable by tests.
    void ChooseLevel(int level);
    void ToggleAlarm();
    void SetPar(const char* const texts[5], unsigned number);
    // One redraw step (the timer tick).
    void Tick();

signals:
    void windowClosed();

protected:
    virtual void Refresh() = 0;
    // Tones for the values outside their limits, with the alarm on.
    virtual void SoundAlarm() = 0;
    void timerEvent(QTimerEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    QMenu* popup_ = nullptr;

private:
    Kind kind_;
    void* frameHandle_;
    int level_ = 0;
    bool alarm_ = false;
    int timerId_ = 0;
    QAction* levels_[kLevels] = {};
    QAction* alarmItem_ = nullptr;
    std::array<std::string, 5> texts_;
    unsigned number_ = 0;
};

// The curve panels of the selected parameters of all groups, drawn into
// `area`. `scratch` holds the points and is reused between calls.
void PaintCurvePanels(QPainter& p, const QRect& area, const ParamGroups& groups, bool alarm,
                      std::vector<QPointF>& scratch);
// The bars of the stripe-selected parameters.
void PaintStripes(QPainter& p, const QRect& area, const ParamGroups& groups);
// Rectangle of stripe `k` of `n` in `area` and the length of its bar
// (-1: no bar) for a value; exposed for tests.
struct StripeGeometry {
    QRect track;    // the full length
    int barLength;  // pixels, -1 when nothing can be drawn
};
StripeGeometry StripeAt(const QRect& area, int k, int n, const ParStructEx& p, double value);

class CDealCurveWnd : public CDealWnd {
    Q_OBJECT
public:
    explicit CDealCurveWnd(void* frameHandle, QWidget* parent = nullptr);
    // Panels as last drawn.
    int PanelCount() const;

protected:
    void Refresh() override;
    void SoundAlarm() override;
};

class CDealStripeWnd : public CDealWnd {
    Q_OBJECT
public:
    explicit CDealStripeWnd(void* frameHandle, QWidget* parent = nullptr);

protected:
    void Refresh() override;
    void SoundAlarm() override;
};

// The table's rows: list style (one row per parameter) or detail style
// (per parameter its basic information and its newest samples).
class DealTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kDetailSamples = 10;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    void SetStyle(int style);
    int Style() const { return style_; }
    void SetAlarm(bool on) { alarm_ = on; }
    // Re-reads the selection and the newest values.
    void Update();

private:
    struct Entry {
        int level, index;
    };
    const ParStructEx& Param(const Entry& e) const;
    const DealResult& Result(const Entry& e) const;
    int style_ = 0;
    bool alarm_ = false;
    std::vector<Entry> entries_;
};

class CDealTableWndB : public CDealWnd {
    Q_OBJECT
public:
    explicit CDealTableWndB(void* frameHandle, QWidget* parent = nullptr);
    DealTableModel* Model() const { return model_; }
    QTableView* View() const { return view_; }
    void ChooseStyle(int style);

protected:
    void Refresh() override;
    void SoundAlarm() override;

private:
    DealTableModel* model_;
    QTableView* view_;
};

}  // namespace paramviews

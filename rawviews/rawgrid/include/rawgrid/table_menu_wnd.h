// The table window's settings menu "显示配置(&C)": view mode, whole frame,
// bit masking, time column and the full-scale voltage. It only reports the
// operator's choices; the window applies and stores them.
#pragma once

#include <rawgrid/table_settings.h>

#include <QMenu>

class QAction;

namespace rawgrid {

class TableSettingsMenu : public QMenu {
    Q_OBJECT
public:
    explicit TableSettingsMenu(QWidget* parent = nullptr);

    // Sets the check marks from the settings without emitting anything.
    void ShowSettings(const TableSettings& s);

    QAction* ViewModeAction(int mode) const { return modes_[mode & 3]; }
    QAction* WholeFrameAction() const { return wholeFrame_; }
    QAction* BitsLimitAction() const { return bitsLimit_; }
    QAction* TimeColumnAction() const { return timeColumn_; }
    QAction* VoltageAction() const { return voltage_; }

signals:
    void viewModeChosen(int mode);
    void wholeFrameToggled(bool on);
    void bitsLimitToggled(bool on);
    void timeColumnToggled(bool on);
    void voltageRequested();

private:
    QAction* modes_[4] = {};
    QAction* wholeFrame_ = nullptr;
    QAction* bitsLimit_ = nullptr;
    QAction* timeColumn_ = nullptr;
    QAction* voltage_ = nullptr;
};

}  // namespace rawgrid

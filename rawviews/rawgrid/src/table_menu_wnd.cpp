#include <rawgrid/table_menu_wnd.h>

#include <QActionGroup>

namespace rawgrid {

TableSettingsMenu::TableSettingsMenu(QWidget* parent)
    : QMenu(QStringLiteral("显示配置(&C)"), parent) {
    auto* group = new QActionGroup(this);
    const QString names[4] = {QStringLiteral("十六进制显示(&H)"), QStringLiteral("十进制显示(&D)"),
                              QStringLiteral("百分比显示(&P)"), QStringLiteral("电压值显示(&V)")};
    for (int mode = 0; mode < 4; ++mode) {
        modes_[mode] = addAction(names[mode]);
        modes_[mode]->setCheckable(true);
        group->addAction(modes_[mode]);
        connect(modes_[mode], &QAction::triggered, this,
                [this, mode] { emit viewModeChosen(mode); });
    }
    addSeparator();
    wholeFrame_ = addAction(QStringLiteral("整帧显示(&W)"));
    wholeFrame_->setCheckable(true);
    connect(wholeFrame_, &QAction::toggled, this, &TableSettingsMenu::wholeFrameToggled);
    bitsLimit_ = addAction(QStringLiteral("按字长屏蔽高位(&M)"));
    bitsLimit_->setCheckable(true);
    connect(bitsLimit_, &QAction::toggled, this, &TableSettingsMenu::bitsLimitToggled);
    timeColumn_ = addAction(QStringLiteral("显示数据配时时间(&T)"));
    timeColumn_->setCheckable(true);
    connect(timeColumn_, &QAction::toggled, this, &TableSettingsMenu::timeColumnToggled);
    addSeparator();
    voltage_ = addAction(QStringLiteral("满量程电压设置(&S)..."));
    connect(voltage_, &QAction::triggered, this, &TableSettingsMenu::voltageRequested);
}

void TableSettingsMenu::ShowSettings(const TableSettings& s) {
    for (QAction* a : {wholeFrame_, bitsLimit_, timeColumn_}) a->blockSignals(true);
    modes_[s.nDataViewMode & 3]->setChecked(true);
    wholeFrame_->setChecked(s.nShowWfMode != 0);
    bitsLimit_->setChecked(s.nDataBitsLimit != 0);
    timeColumn_->setChecked(s.nShowTbType != 0);
    for (QAction* a : {wholeFrame_, bitsLimit_, timeColumn_}) a->blockSignals(false);
}

}  // namespace rawgrid

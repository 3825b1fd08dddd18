// The settings dialogs of the three frame checks, shown when a check starts.
#pragma once

#include <config/para_config.h>

#include <QDialog>

class QCheckBox;
class QSpinBox;

// "帧计数统计设置": the counter's high word (optional) and low word.
class CFrameCountStatDlg : public QDialog {
    Q_OBJECT
public:
    CFrameCountStatDlg(QWidget* parent, const cfg::FrameCountConfig& settings);
    cfg::FrameCountConfig Settings() const;
    void accept() override;

private:
    QCheckBox* m_highEnable;
    QSpinBox* m_highPos;
    QSpinBox* m_lowPos;
};

// "ID统计": the position of the subframe ID word.
class CIdStatDlg : public QDialog {
    Q_OBJECT
public:
    CIdStatDlg(QWidget* parent, const cfg::IdCountConfig& settings);
    cfg::IdCountConfig Settings() const;

private:
    QSpinBox* m_idPos;
};

// "时间连续性检查": the bit rate of a replayed file.
class CTimeContinuityDlg : public QDialog {
    Q_OBJECT
public:
    CTimeContinuityDlg(QWidget* parent, const cfg::TimeContinuityConfig& settings);
    cfg::TimeContinuityConfig Settings() const;

private:
    QSpinBox* m_bitRate;
};

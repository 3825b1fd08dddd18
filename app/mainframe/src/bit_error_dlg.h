// "误码统计参数配置对话框": the display mode, the channels excluded from the
// bit-error comparison (a continuous range or a manual list) and the
// derivation of a full-frame list from the first sub-frame. OK builds the
// exclusion list and refuses what cannot be compared.
#pragma once

#include <config/para_config.h>
#include <stats/bit_error_lists.h>

#include <QDialog>

class QPlainTextEdit;
class QRadioButton;
class QSpinBox;

class CBitErrorDlg : public QDialog {
    Q_OBJECT
public:
    CBitErrorDlg(QWidget* parent, const cfg::BitErrorConfig& settings,
                 const stats::ChannelGeometry& geometry);
    // The settings as confirmed, with the list built on OK.
    cfg::BitErrorConfig Settings() const { return m_settings; }
    void accept() override;
    void OnDerive();

private:
    cfg::BitErrorConfig m_settings;
    stats::ChannelGeometry m_geometry;
    QRadioButton* m_rate;
    QRadioButton* m_count;
    QRadioButton* m_range;
    QRadioButton* m_auto;
    QRadioButton* m_manual;
    QSpinBox* m_start;
    QSpinBox* m_end;
    QPlainTextEdit* m_text;
};

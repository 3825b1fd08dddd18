// "存盘设置": the directories of the before- and after-decryption recordings
// and whether each file starts with a header.
#pragma once

#include <config/para_config.h>

#include <QDialog>

class QLineEdit;
class QRadioButton;

class CStorageDlg : public QDialog {
    Q_OBJECT
public:
    CStorageDlg(QWidget* parent, const cfg::StorageConfig& settings);
    // The settings as confirmed (the recording flags pass through unchanged).
    cfg::StorageConfig Settings() const;
    // "浏览...": a chosen directory that does not exist is not taken.
    void TakeChosenDirectory(QLineEdit* edit, const QString& chosen);

private:
    void Browse(QLineEdit* edit);

    cfg::StorageConfig m_settings;
    QLineEdit* m_beforeDir;
    QLineEdit* m_afterDir;
    QRadioButton* m_beforeWithHeader;
    QRadioButton* m_beforeWithout;
    QRadioButton* m_afterWithHeader;
    QRadioButton* m_afterWithout;
};
